// Scalar helpers and the parallel projection from 4D into 3D.
#pragma once

#include <ostream>

#include "math4d/point.h"

// The float pi, 3.1415927: the one value of pi the program uses (degrees, camera limits).
constexpr float kPi = 3.14159265358979323846f;

// x * x in single precision.
float square(float x);

// base raised to n by repeated float multiplication (n > 0) or division (n < 0); n = 0 gives 1.
float intPower(float base, int n);

// x cut toward zero to n decimals: the exact hundredfold (for n = 2) truncated to an integer and
// divided back. NaN, infinities and values whose scaled form does not fit a 32-bit int come back
// unchanged, since converting them to an integer is undefined.
float truncateDecimals(float x, int n);

// A float to be written on the console: `out << consoleFloat(x)` writes exactly what `out << x`
// writes in the stream's default format (general notation, six significant digits, as printf's
// "%.6g" in the C locale, "inf" and "nan" with their signs), through snprintf rather than the
// stream's locale-aware formatting, which costs several times as much. The frame pass writes
// some forty numbers per frame this way. snprintf rather than std::to_chars: the WebAssembly
// build's C++ library has no floating-point to_chars. The programs never change the C locale.
struct ConsoleFloat {
    float value;
};
inline ConsoleFloat consoleFloat(float x) {
    return ConsoleFloat{x};
}
std::ostream& operator<<(std::ostream& out, ConsoleFloat x);

// Slides p along the direction e until its q is 0 and drops q. Intermediates are double; each
// coordinate is rounded to float once. e.q = 0 gives IEEE infinities or NaN, unchecked.
// Inline: the per-frame projection calls it for every vertex.
inline Point3 projectTo3D(Point4 p, Point4 e) {
    const double px = p.x, py = p.y, pz = p.z, pq = p.q;
    Point3 r;
    r.set(static_cast<float>(px - (pq * e.x) / e.q), static_cast<float>(py - (pq * e.y) / e.q),
          static_cast<float>(pz - (pq * e.z) / e.q));
    return r;
}
