// Reading one float of a scene file the same way on every platform.
#pragma once

#include <istream>

// Reads one float at the stream's position exactly as GNU libstdc++'s `in >> f` does in the C
// locale: an optional sign, digits with at most one decimal point, then an exponent (e or E, an
// optional sign, digits) once a digit was seen; the text taken is converted by strtof. Returns
// false, out unchanged, when that text is not a whole number or overflows to an infinity; the
// stream is left after the text taken either way, with eofbit when it reached the end. "nan",
// "inf" and hexadecimal floats are not numbers here, as they are not for libstdc++ (other C++
// libraries read them).
bool readSceneFloat(std::istream& in, float& out);
