// Numbers on every platform. consoleFloat must print the digits std::to_chars printed (general
// notation, six significant digits) for every kind of float, specials included; readSceneFloat
// must read a scene file's floats exactly as GNU libstdc++'s stream does. The same file runs
// natively and compiled to WebAssembly, whose C++ library has no floating-point to_chars and
// reads "nan" and hexadecimal floats: there a digest of the text printed natively must come
// out unchanged, and the reading table must hold.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <vector>
#if defined(__cpp_lib_to_chars)
#include <charconv>
#endif

#include "math4d/scalar_helpers.h"
#include "scene/scene_number.h"

namespace {

// The floats under test, the same on every platform: specials, both neighbours of every power of
// ten and of every rounding edge 9.999995e(k), the readout's cut values -5000.00 to 5000.00, and
// a million bit patterns from a fixed xorshift sequence.
std::vector<float> testValues() {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> v = {0.0f,
                            -0.0f,
                            inf,
                            -inf,
                            nan,
                            -nan,
                            std::numeric_limits<float>::denorm_min(),
                            std::numeric_limits<float>::min(),
                            std::numeric_limits<float>::max(),
                            -std::numeric_limits<float>::max()};
    for (int e = -45; e <= 38; ++e) {
        for (const double edge : {1.0, 9.999995, 9.999985, 1.000005}) {
            const float f = static_cast<float>(edge * std::pow(10.0, e));
            v.push_back(f);
            v.push_back(std::nextafter(f, 0.0f));
            v.push_back(std::nextafter(f, inf));
            v.push_back(-f);
        }
    }
    for (int k = -500000; k <= 500000; ++k) {
        v.push_back(truncateDecimals(static_cast<float>(k) / 100.0f, 2));
    }
    std::uint32_t s = 2463534242u;
    for (int i = 0; i < 1000000; ++i) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        float f;
        std::memcpy(&f, &s, sizeof f);
        v.push_back(f);
    }
    return v;
}

std::string printed(float x) {
    std::ostringstream out;
    out << consoleFloat(x);
    return out.str();
}

// FNV-1a over the printed texts, each ended by a newline.
std::uint64_t digest(const std::vector<float>& values) {
    std::uint64_t h = 1469598103934665603ull;
    for (const float x : values) {
        for (const char c : printed(x) + "\n") {
            h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        }
    }
    return h;
}

TEST(ConsoleNumbers, KnownTextsOnEveryPlatform) {
    struct Case {
        float value;
        const char* text;
    };
    const Case cases[] = {
        {0.0f, "0"},
        {-0.0f, "-0"},
        {1.0f, "1"},
        {0.7f, "0.7"},
        {-1.5e-7f, "-1.5e-07"},
        {0.49f, "0.49"},
        {-0.99f, "-0.99"},
        {100000.0f, "100000"},
        {1e6f, "1e+06"},
        {1e-5f, "1e-05"},
        {0.0001f, "0.0001"},
        {123456.5f, "123456"},
        {3.4028235e38f, "3.40282e+38"},
        {1.4e-45f, "1.4013e-45"},
        {std::numeric_limits<float>::infinity(), "inf"},
        {-std::numeric_limits<float>::infinity(), "-inf"},
        {std::numeric_limits<float>::quiet_NaN(), "nan"},
        {-std::numeric_limits<float>::quiet_NaN(), "-nan"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(printed(c.value), c.text) << std::hexfloat << c.value;
    }
}

// The digest of every test value's text, taken natively from std::to_chars (the formatting this
// replaced); the WebAssembly build must print the very same bytes.
constexpr std::uint64_t kNativeDigest = 0x2df01b2045df5a9full;

TEST(ConsoleNumbers, SameTextsAsNativeToChars) {
    const std::vector<float> values = testValues();
#if defined(__cpp_lib_to_chars)
    for (const float x : values) {
        char text[32];
        const std::to_chars_result end = std::to_chars(
            text, text + sizeof text, static_cast<double>(x), std::chars_format::general, 6);
        ASSERT_EQ(printed(x), std::string(text, end.ptr)) << std::hexfloat << x;
    }
#endif
    EXPECT_EQ(digest(values), kNativeDigest) << std::hex << digest(values);
}

struct Reading {
    bool ok;
    float value;
    std::string rest;  // what the stream holds after the number
    bool ended;        // eofbit after the read
};

Reading readWith(const std::string& text, bool viaStream) {
    std::istringstream in(text);
    in >> std::ws;  // as the loader does before every value
    Reading r{false, 0.0f, "", false};
    float value = 0.0f;
    r.ok = viaStream ? static_cast<bool>(in >> value) : readSceneFloat(in, value);
    r.value = value;
    r.ended = in.eof();
    in.clear();
    std::getline(in, r.rest, '\0');
    return r;
}

TEST(SceneNumbers, ReadTheSameOnEveryPlatform) {
    struct Case {
        const char* text;
        bool ok;
        float value;
        const char* rest;
    };
    const Case cases[] = {
        {"1", true, 1.0f, ""},         {"-0", true, -0.0f, ""},
        {"0.7 1", true, 0.7f, " 1"},   {"000.5e1x", true, 5.0f, "x"},
        {"1.5.3", true, 1.5f, ".3"},   {"1e+5x", true, 1e5f, "x"},
        {"2.", true, 2.0f, ""},        {"1e-50", true, 0.0f, ""},
        {"0x1p3", true, 0.0f, "x1p3"}, {"3.4028235e38", true, 3.4028235e38f, ""},
        {"nan", false, 0.0f, ""},      {"-nan", false, 0.0f, ""},
        {"inf", false, 0.0f, ""},      {"infinity", false, 0.0f, ""},
        {"1e999", false, 0.0f, ""},    {"-1e39", false, 0.0f, ""},
        {"1.5e", false, 0.0f, ""},     {"1e+", false, 0.0f, ""},
        {".", false, 0.0f, ""},        {"-", false, 0.0f, ""},
        {"e5", false, 0.0f, ""},       {"abc", false, 0.0f, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const Reading r = readWith(c.text, false);
        EXPECT_EQ(r.ok, c.ok);
        if (c.ok) {
            EXPECT_EQ(std::memcmp(&r.value, &c.value, sizeof c.value), 0) << r.value;
            EXPECT_EQ(r.rest, c.rest);
        }
    }
}

#if defined(__GLIBCXX__)
// Random short texts of number characters, read by libstdc++'s stream and by readSceneFloat:
// the same verdict, and on success the same float and the same place in the text.
TEST(SceneNumbers, ReadExactlyAsLibstdcxxStreams) {
    const char alphabet[] = "0123456789+-.eE.eexpnaif 0190";
    std::uint32_t s = 12345u;
    for (int i = 0; i < 300000; ++i) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        std::string text;
        for (int n = 1 + static_cast<int>(s % 12); n > 0; --n) {
            s ^= s << 13;
            s ^= s >> 17;
            s ^= s << 5;
            text += alphabet[s % (sizeof alphabet - 1)];
        }
        SCOPED_TRACE(text);
        const Reading stream = readWith(text, true);
        const Reading ours = readWith(text, false);
        ASSERT_EQ(ours.ok, stream.ok);
        if (stream.ok) {
            ASSERT_EQ(std::memcmp(&ours.value, &stream.value, sizeof ours.value), 0);
            ASSERT_EQ(ours.rest, stream.rest);
            ASSERT_EQ(ours.ended, stream.ended);
        }
    }
}
#endif

}  // namespace
