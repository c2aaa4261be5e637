#include "tessascene/figures/numbers.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <system_error>

#if !defined(__cpp_lib_to_chars) && __has_include(<fast_float/fast_float.h>)
#include <fast_float/fast_float.h>
#define TESSASCENE_FAST_FLOAT 1
#endif

namespace tessascene {

NumberRead readNumber(std::string_view text, double& value) {
    if (text.empty() || text[0] == ' ' || (text[0] >= '\t' && text[0] <= '\r')) {
        return NumberRead::kNotANumber;  // strtod would skip the blanks
    }
#if defined(__cpp_lib_to_chars)
    // from_chars reads a plain decimal number to the same nearest double as strtod, several
    // times faster; strtod takes what it leaves (a sign '+', hexadecimal, an out-of-range value).
    const char* const end = text.data() + text.size();
    const auto [last, status] = std::from_chars(text.data(), end, value);
    if (last == end && status == std::errc()) {
        return NumberRead::kNumber;
    }
#elif defined(TESSASCENE_FAST_FLOAT)
    // A standard library without floating-point from_chars (the web page's) has fast_float do
    // the same: the nearest double, as strtod finds it. It does not report a value out of
    // range, so zeros and infinities are left to strtod, which tells them from one.
    const char* const end = text.data() + text.size();
    const auto [last, status] = fast_float::from_chars(text.data(), end, value);
    if (last == end && status == std::errc() && std::isfinite(value) && value != 0.0) {
        return NumberRead::kNumber;
    }
#endif
    // strtod needs a terminated string; a short copy on the stack keeps it cheap.
    char shortCopy[64];
    std::string longCopy;
    const char* start = shortCopy;
    if (text.size() < sizeof shortCopy) {
        text.copy(shortCopy, text.size());
        shortCopy[text.size()] = '\0';
    } else {
        longCopy.assign(text);
        start = longCopy.c_str();
    }
    char* stop = nullptr;
    errno = 0;
    value = std::strtod(start, &stop);
    if (stop != start + text.size()) {
        return NumberRead::kNotANumber;
    }
    if (errno == ERANGE && std::isinf(value)) {
        return NumberRead::kOverflow;
    }
    // strtod also reports a subnormal result as out of range; only one it could not hold is.
    return errno == ERANGE && value == 0.0 ? NumberRead::kUnderflow : NumberRead::kNumber;
}

NumberRead readWholeNumber(std::string_view text, long long& value) {
    double number = 0.0;
    const NumberRead read = readNumber(text, number);
    if (read != NumberRead::kNumber) {
        return read == NumberRead::kUnderflow ? NumberRead::kNotANumber : read;
    }
    if (!std::isfinite(number) || number != std::floor(number)) {
        return NumberRead::kNotANumber;
    }
    // long long runs from -2^63 to just below 2^63.
    if (!(number >= -9223372036854775808.0 && number < 9223372036854775808.0)) {
        return NumberRead::kOverflow;
    }
    value = static_cast<long long>(number);
    return NumberRead::kNumber;
}

float readFloat(const char* text) {
#if defined(TESSASCENE_FAST_FLOAT)
    // fast_float gives the nearest float as strtof does; zeros and infinities are left to strtof
    // (fast_float does not report a value out of range).
    const char* const end = text + std::strlen(text);
    float value = 0.0f;
    const auto [last, status] = fast_float::from_chars(text, end, value);
    if (last == end && status == std::errc() && std::isfinite(value) && value != 0.0f) {
        return value;
    }
#endif
    return std::strtof(text, nullptr);
}

std::string numberText(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

}  // namespace tessascene
