#include "math4d/scalar_helpers.h"

#include <cmath>
#include <cstdio>

float square(float x) {
    return x * x;
}

float intPower(float base, int n) {
    float r = 1.0f;
    // Counted with a wider type so that n = INT_MIN does not overflow on negation.
    for (long long i = 0; i < -static_cast<long long>(n); ++i) {
        r = r / base;
    }
    for (int i = 0; i < n; ++i) {
        r = r * base;
    }
    return r;
}

float truncateDecimals(float x, int n) {
    // The product stays double: rounding it to float first would turn 28.999... into 29.
    const double scaled = static_cast<double>(x) * static_cast<double>(intPower(10.0f, n));
    // Written so that NaN fails the test too.
    if (!(scaled > -2147483649.0 && scaled < 2147483648.0)) {
        return x;
    }
    const int k = static_cast<int>(scaled);
    return static_cast<float>(k) / intPower(10.0f, n);
}

std::ostream& operator<<(std::ostream& out, ConsoleFloat x) {
    // "%.6g" of the widened float: at most 14 characters ("-1.17549e-38", "-nan"), and the same
    // digits from glibc (the desktop) and from musl (the page's WebAssembly build).
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%.6g", static_cast<double>(x.value));
    return out.write(text, length);
}
