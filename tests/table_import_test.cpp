// Point tables and fitting them into a figure: the forms of table people save, the errors that
// name file and line, bounded line reading across its chunks, and simplification that keeps only
// data points, stays within the reported distance and never joins two polylines.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tessascene/data_import.h"
#include "tessascene/simplify.h"
#include "tessascene/table_import.h"
#include "tessascene/text_input.h"

namespace {

bool readTable(const std::string& text, const TableOptions& options, PointTable& table,
               std::string& error) {
    std::istringstream in(text);
    return importTable(in, "t.csv", options, table, error);
}

TEST(PointTable, ReadsTheFormsDataToolsWrite) {
    const struct {
        const char* what;
        std::string text;
        TableOptions options;
        std::vector<std::size_t> pathSizes;
        Vertex4 firstPoint;
    } cases[] = {
        {"numpy header and exponents",
         "# x,y,z,q\n1.5e+00,2e0,3,4\n5,6,7,8\n",
         {},
         {2},
         {1.5, 2, 3, 4}},
        {"TSV with a header and a text column skipped",
         "id\tx\ty\tz\tq\nA\t1\t2\t3\t4\n",
         {},
         {1},
         {1, 2, 3, 4}},
        {"blank lines separate",
         "1 2 3 4\n5 6 7 8\n\n9 9 9 9\n\n\n1 1 1 1\n2 2 2 2\n",
         {},
         {2, 1, 2},
         {1, 2, 3, 4}},
        {"rows of NaN or empty values separate",
         "1,2,3,4\nnan,NaN,nan,nan\n5,6,7,8\n,,,\n9,9,9,9\n",
         {},
         {1, 1, 1},
         {1, 2, 3, 4}},
        {"comments do not separate", "1 2 3 4\n# note\n5 6 7 8\n", {}, {2}, {1, 2, 3, 4}},
        {"columns by name",
         "t,x,y,z,q\n0,1,2,3,4\n",
         {{"q", "z", "y", "x"}, "", ""},
         {1},
         {4, 3, 2, 1}},
        {"columns by number", "9 1 2 3 4\n", {{"5", "1", "2", "3"}, "", ""}, {1}, {4, 9, 1, 2}},
        {"a group column",
         "x,y,z,q,run\n1,1,1,1,a\n2,2,2,2,a\n3,3,3,3,b\n4,4,4,4,a\n",
         {{}, "run", ""},
         {2, 1, 1},
         {1, 1, 1, 1}},
        {"what strtod reads", "1e-3 -0 .5 +2\n0x1p3 1E2 -.25 7.\n", {}, {2}, {1e-3, -0.0, 0.5, 2}},
        {"CRLF, byte order mark, semicolons, quotes",
         "\xEF\xBB\xBF\"x\";\"y\";\"z\";\"q\"\r\n"
         "\"1\";2;3;4\r\n",
         {},
         {1},
         {1, 2, 3, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PointTable table;
        std::string error;
        ASSERT_TRUE(readTable(c.text, c.options, table, error)) << error;
        std::vector<std::size_t> sizes;
        for (const auto& path : table.paths) {
            sizes.push_back(path.size());
        }
        EXPECT_EQ(sizes, c.pathSizes);
        EXPECT_EQ(table.paths[0][0], c.firstPoint);
    }
}

TEST(PointTable, BadInputNamesTheFileAndLine) {
    const struct {
        std::string text;
        TableOptions options;
        const char* error;
    } cases[] = {
        {"1,2,3,4\n1,2,3\n", {}, "t.csv:2: a ragged row: 3 values where the first row has 4"},
        {"x,y,z,q\n1,2,3,4,5\n", {}, "t.csv:2: a ragged row: 5 values where the header has 4"},
        {"1,2,3,4\n1,2,abc,4\n", {}, "t.csv:2: 'abc' in column 3 is not a number"},
        {"1,2,3,4\n1,nan,3,4\n",
         {},
         "t.csv:2: column 2 is NA, NaN or empty in a row that has numbers"},
        {"1 2 3 4\n1 2 inf 4\n", {}, "t.csv:2: 'inf' in column 3 is infinite"},
        {"1 2 3 4\n1 2 1e39 4\n", {}, "beyond the range of 32-bit floats"},
        {"", {}, "t.csv:1: the file is empty"},
        {"# x,y,z,q\n\n", {}, "t.csv:2: no rows of numbers"},
        {"1,2,3\n", {}, "t.csv:1: 3 columns; a point table needs four"},
        {"a,b,c,d,e\n1,2,3,x,5\n",
         {{"a", "b", "c", "w"}, "", ""},
         "t.csv:1: --columns: no column is named 'w'"},
        {"1 2 3 4\n",
         {{"x", "y", "z", "q"}, "", ""},
         "t.csv:1: --columns names column 'x', but the table has no header"},
        {"1 2 3 4\n",
         {{"1", "2", "3", "5"}, "", ""},
         "t.csv:1: --columns names column 5, but the table has 4"},
        {"1,5 2,5 3,5 4,5\n", {}, "t.csv:1: '1,5' in column 1 has a decimal comma"},
        {"1;2;3;4\n1;2,5;3;4\n1;2.5;3;4\n",
         {},
         "t.csv:3: '2.5' in column 2 has a decimal point, but line 2 has numbers with a decimal "
         "comma"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        PointTable table;
        std::string error;
        EXPECT_FALSE(readTable(c.text, c.options, table, error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

TEST(PointTable, OffFamilyFilesAreToldFromTablesByContent) {
    const struct {
        const char* text;
        InputKind kind;
    } cases[] = {
        {"# a comment\n\n4OFF\n", InputKind::kOffFamily},
        {"CN4OFF 1 0 0\n", InputKind::kOffFamily},
        {"4SKEL\n", InputKind::kOffFamily},
        {"nOFF\n4\n", InputKind::kOffFamily},
        {"4VECT\n", InputKind::kOffFamily},
        {"# x,y,z,q\n1,2,3,4\n", InputKind::kTable},
        {"x y z q\n", InputKind::kTable},
        {"OFFSET,x,y,z\n", InputKind::kTable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(kindOfInput(c.text), c.kind);
    }
}

TEST(BoundedLines, LinesAcrossReadChunksComeBackWhole) {
    const std::string longLine(9000, 'a');
    const std::string nul(
        "1\0"
        "2",
        3);
    const struct {
        std::string text;
        std::size_t maxBytes;
        std::vector<std::string> lines;
        LineStatus last;
    } cases[] = {
        {std::string(4095, 'b') + "\n" + std::string(4096, 'c') + "\nd",
         10000,
         {std::string(4095, 'b'), std::string(4096, 'c'), "d"},
         LineStatus::kEnd},
        {longLine + "\n\n", 9000, {longLine, ""}, LineStatus::kEnd},
        {longLine + "\n", 8999, {}, LineStatus::kTooLong},
        {"abc\n", 2, {}, LineStatus::kTooLong},
        {"ab\n", 2, {"ab"}, LineStatus::kEnd},
        {nul + "\n", 10, {nul}, LineStatus::kEnd},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.size());
        std::istringstream in(c.text);
        std::string line;
        for (const std::string& expected : c.lines) {
            ASSERT_EQ(readBoundedLine(in, line, c.maxBytes), LineStatus::kLine);
            EXPECT_EQ(line, expected);
        }
        EXPECT_EQ(readBoundedLine(in, line, c.maxBytes), c.last);
        if (c.last == LineStatus::kTooLong) {
            EXPECT_EQ(line.size(), c.maxBytes);
        }
    }
}

// A smooth closed 4D Lissajous curve of n points.
std::vector<Vertex4> lissajous(int n, double phase) {
    std::vector<Vertex4> points;
    for (int i = 0; i < n; ++i) {
        const double t = 2 * M_PI * i / (n - 1);
        points.push_back({std::sin(3 * t + phase), std::sin(4 * t + 0.5), std::cos(5 * t),
                          std::sin(7 * t + 1.5) + 10});
    }
    return points;
}

// n distinct points on a straight line.
std::vector<Vertex4> line(int n) {
    std::vector<Vertex4> points;
    for (int i = 0; i < n; ++i) {
        points.push_back({i * 1e-3, i * 2e-3, -i * 1e-3, 0});
    }
    return points;
}

// Checks the fitted polylines against the data: each vertex a data point of one path in order,
// and every data point within the reported distance of the segment drawn around it. Returns the
// largest distance found.
double checkFaithful(const std::vector<std::vector<Vertex4>>& paths,
                     const std::vector<std::vector<Vertex4>>& polylines) {
    // Walk the paths in order; polylines come path by path, sharing the vertex at each cut.
    double largest = 0.0;
    std::size_t line = 0, vertex = 0;
    for (const auto& path : paths) {
        std::size_t previous = 0;
        EXPECT_EQ(polylines[line][vertex], path[0]);
        for (std::size_t i = 1; i < path.size(); ++i) {
            if (++vertex == polylines[line].size()) {
                ++line, vertex = 1;  // the next piece starts where this one ended
            }
            const Vertex4& drawn = polylines.at(line).at(vertex);
            std::size_t next = i;
            while (next < path.size() && path[next] != drawn) {
                ++next;
            }
            EXPECT_LT(next, path.size()) << "a vertex that is not a later point of its path";
            if (next == path.size()) {
                return INFINITY;
            }
            for (std::size_t j = previous + 1; j < next; ++j) {
                largest = std::max(largest, distanceToSegment(path[j], path[previous], drawn));
            }
            previous = i = next;
        }
        EXPECT_EQ(vertex + 1, polylines[line].size()) << "a polyline joins two paths";
        ++line, vertex = 0;
    }
    EXPECT_EQ(line, polylines.size());
    return largest;
}

TEST(FitPaths, SimplifiesFaithfullyWithinTheCapacity) {
    const struct {
        const char* what;
        std::vector<std::vector<Vertex4>> paths;
        double limit;  // of the largest distance
    } cases[] = {
        {"a 10000-point curve", {lissajous(10000, 0)}, 0.01},
        {"three curves", {lissajous(5000, 0), lissajous(3000, 1), lissajous(2000, 2)}, 0.01},
        {"a curve and a straight line", {lissajous(20000, 0), line(5000)}, 0.01},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::vector<Vertex4>> polylines;
        FitReport report;
        std::string error;
        ASSERT_TRUE(
            fitPaths(c.paths, kLineLoopOpen, FigureCapacity{}, true, polylines, report, error))
            << error;
        EXPECT_TRUE(report.simplified);
        EXPECT_LE(polylines.size(), std::size_t(kMaxPolylines));
        for (const auto& p : polylines) {
            EXPECT_LE(p.size(), std::size_t(kMaxVertices));
        }
        // The capacity is used: only the polylines' shared cut vertices are not new points.
        EXPECT_GE(report.verticesKept + polylines.size(), std::size_t(kMaxVertices * 89));
        const double found = checkFaithful(c.paths, polylines);
        EXPECT_LE(found, report.largestDistance * (1 + 1e-12));
        EXPECT_LT(report.largestDistance, c.limit);  // the curves span a box of diagonal > 4
    }
}

TEST(FitPaths, RefusesWhatCannotFit) {
    const std::vector<Vertex4> curve = lissajous(200, 0);
    const struct {
        std::vector<std::vector<Vertex4>> paths;
        int lineLoop;
        bool simplify;
        const char* error;
    } cases[] = {
        {{curve, curve, curve},
         kLineLoopOpen,
         false,
         "the data needs 69 polylines; a figure holds at most 5"},
        {{curve}, kLineLoopClosed, false, "a closed polyline of 200 points does not fit"},
        {std::vector<std::vector<Vertex4>>(6, curve), kLineLoopOpen, true,
         "the data has 6 polylines"},
        {{curve}, kLineLoopPoints, true, "line-loop 3 shows at most 50 points"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        std::vector<std::vector<Vertex4>> polylines;
        FitReport report;
        std::string error;
        EXPECT_FALSE(fitPaths(c.paths, c.lineLoop, FigureCapacity{10, 5}, c.simplify, polylines,
                              report, error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
    // Closed polylines are simplified each into one polyline, never cut.
    std::vector<std::vector<Vertex4>> polylines;
    FitReport report;
    std::string error;
    ASSERT_TRUE(fitPaths({curve, curve}, kLineLoopClosed, FigureCapacity{10, 5}, true, polylines,
                         report, error));
    ASSERT_EQ(polylines.size(), 2u);
    EXPECT_EQ(polylines[0].size(), 10u);
}

}  // namespace
