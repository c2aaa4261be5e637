// The one rule for numbers written as text: what it takes and what it refuses, and a point table
// and an OFF-family file reading the same text as the same number.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <sstream>
#include <string>

#include "tessascene/figures/numbers.h"
#include "tessascene/import/geomview_import.h"
#include "tessascene/import/table_import.h"

namespace tessascene {

namespace {

TEST(Numbers, OneRuleTakesWhatStrtodTakesWholeAndNothingAround) {
    const struct {
        const char* text;
        NumberRead read;
        double value;  // when read is kNumber
    } cases[] = {
        {"1e-3", NumberRead::kNumber, 1e-3},     {".5", NumberRead::kNumber, 0.5},
        {"+2", NumberRead::kNumber, 2.0},        {"0x1p3", NumberRead::kNumber, 8.0},
        {"0x10", NumberRead::kNumber, 16.0},     {"-INF", NumberRead::kNumber, -HUGE_VAL},
        {"1e-310", NumberRead::kNumber, 1e-310}, {"1e999", NumberRead::kOverflow, 0},
        {"-1e999", NumberRead::kOverflow, 0},    {"1e-400", NumberRead::kUnderflow, 0},
        {" 1", NumberRead::kNotANumber, 0},      {"1 ", NumberRead::kNotANumber, 0},
        {"", NumberRead::kNotANumber, 0},        {"1,5", NumberRead::kNotANumber, 0},
        {"0x", NumberRead::kNotANumber, 0},      {"1e", NumberRead::kNotANumber, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        double value = 0.0;
        EXPECT_EQ(readNumber(c.text, value), c.read);
        if (c.read == NumberRead::kNumber) {
            EXPECT_EQ(value, c.value);
        }
    }
    double nan = 0.0;
    EXPECT_EQ(readNumber("nan", nan), NumberRead::kNumber);
    EXPECT_TRUE(std::isnan(nan));

    const struct {
        const char* text;
        NumberRead read;
        long long value;
    } whole[] = {
        {"7", NumberRead::kNumber, 7},
        {"7.0", NumberRead::kNumber, 7},
        {"1e1", NumberRead::kNumber, 10},
        {"-9223372036854775808", NumberRead::kNumber, LLONG_MIN},
        {"7.5", NumberRead::kNotANumber, 0},
        {"inf", NumberRead::kNotANumber, 0},
        {"1e-400", NumberRead::kNotANumber, 0},
        {"9223372036854775808", NumberRead::kOverflow, 0},
    };
    for (const auto& c : whole) {
        SCOPED_TRACE(c.text);
        long long value = 0;
        EXPECT_EQ(readWholeNumber(c.text, value), c.read);
        if (c.read == NumberRead::kNumber) {
            EXPECT_EQ(value, c.value);
        }
    }
}

// A table and an OFF file take the same numbers to the same values and refuse the same ones.
TEST(Numbers, LongDecimalsReadAsTheNearestDouble) {
    // Halfway cases, many digits and the smallest normal double, as the compiler reads the same
    // literals: every library that reads them (strtod, from_chars, fast_float) must agree.
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"9007199254740993", 9007199254740993.0},
        {"2.2250738585072011e-308", 2.2250738585072011e-308},
        {"-8.123456789012345678e+03", -8.123456789012345678e+03},
        {"0.000", 0.0},
    };
    for (const auto& c : cases) {
        double value = 1.0;
        EXPECT_EQ(readNumber(c.text, value), NumberRead::kNumber) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST(Numbers, TablesAndOffFilesReadTheSameText) {
    for (const char* text : {"0x1p3", "+2", ".5", "-0", "1e-310", "1e999", "1e-400", "inf", "1x"}) {
        SCOPED_TRACE(text);
        double expected = 0.0;
        const bool good =
            readNumber(text, expected) == NumberRead::kNumber && std::isfinite(expected);
        std::istringstream table(std::string("x,y,z,q\n") + text + ",0,0,0\n");
        PointTable points;
        std::string error;
        EXPECT_EQ(importTable(table, "t.csv", {}, points, error), good) << error;
        std::istringstream off(std::string("4OFF\n1 0 0\n") + text + " 0 0 0\n");
        EdgeGraph graph;
        EXPECT_EQ(importFigure(off, "t.off", graph, error), good) << error;
        if (good) {
            EXPECT_EQ(points.paths.at(0).at(0)[0], expected);
            EXPECT_EQ(graph.vertices.at(0)[0], expected);
        }
    }
}

}  // namespace

}  // namespace tessascene
