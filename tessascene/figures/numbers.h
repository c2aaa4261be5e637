// How tessascene reads a number written as text, wherever it reads one: a point table's values,
// the numbers of an OFF-family file and the numbers in option values. One rule for all of them:
// the whole text is one number as C's strtod reads it in the C locale, that is an optional sign,
// then decimal digits with an optional point and exponent (1e-3, -0, .5, +2), a hexadecimal
// number (0x10, 0x1p3), or inf, infinity or nan in any case. Nothing may stand before or after
// it, blanks included. A number too large for a 64-bit float (1e999) or too small for one to
// hold at all (1e-400, not 0 yet beyond the smallest subnormal) is out of range. A whole number
// is a number by that rule whose value is whole (7, 7.0, 1e1). What values a place takes beyond
// that is the place's business, not the rule's.
#pragma once

#include <string>
#include <string_view>

namespace tessascene {

// What reading a number came to.
enum class NumberRead {
    kNumber,      // value holds it: finite, an infinity or a NaN as the text says
    kNotANumber,  // the text is not one number by the rule
    kOverflow,    // a finite number too large for a double; value holds the infinity of its sign
    kUnderflow,   // a number not 0 but too small for a double to hold; value holds 0
};

// Reads text as one number by the rule above into value.
NumberRead readNumber(std::string_view text, double& value);

// Reads text as one whole number by the rule above. kOverflow for a number beyond the range of
// long long; kNotANumber for a fraction (kUnderflow among them), an infinity or a NaN.
NumberRead readWholeNumber(std::string_view text, long long& value);

// text, which strtof reads whole as a finite number, read as strtof reads it: the nearest
// 32-bit float. Faster than strtof where the C library's is slow (the web page's).
float readFloat(const char* text);

// A number as a message shows it: six significant digits, as a C++ stream writes a double.
std::string numberText(double value);

}  // namespace tessascene
