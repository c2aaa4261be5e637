// Scalar helpers and the parallel projection from 4D into 3D.
#pragma once

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

// Slides p along the direction e until its q is 0 and drops q. Intermediates are double; each
// coordinate is rounded to float once. e.q = 0 gives IEEE infinities or NaN, unchecked.
Point3 projectTo3D(Point4 p, Point4 e);
