#include "math4d/matrix5.h"

#include <iostream>

#include "math4d/scalar_helpers.h"

void Matrix5::print(const char* title) const {
    std::cout << title << std::endl;
    std::cout << "--------" << std::endl;
    for (int row = 1; row <= 5; ++row) {
        for (int col = 1; col <= 5; ++col) {
            if (col > 1) {
                std::cout << '\t';
            }
            std::cout << consoleFloat(truncateDecimals(get(row, col), 2));
        }
        std::cout << std::endl;
    }
    std::cout << "--------" << std::endl;
    std::cout << " " << std::endl;
}

Matrix5 multiply(Matrix5 a, Matrix5 b) {
    // Element (i, j) sums a(i, k) * b(k, j) over ascending k from 0, rounding to float after
    // every product and every addition. The sums of columns 1 to 4 of a row advance side by side
    // (one vector operation each step), which changes no rounding.
    // Unrolled completely, every element of r is visibly written once, so it is not zeroed first.
    Matrix5 r;
#pragma GCC unroll 5
    for (int i = 0; i < 5; ++i) {
        const float* row = a.elements + 5 * i;
        float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        float last = 0.0f;
#pragma GCC unroll 5
        for (int k = 0; k < 5; ++k) {
            const float f = row[k];
            const float* across = b.elements + 5 * k;
            for (int j = 0; j < 4; ++j) {
                sum[j] = sum[j] + f * across[j];
            }
            last = last + f * across[4];
        }
        float* out = r.elements + 5 * i;
        for (int j = 0; j < 4; ++j) {
            out[j] = sum[j];
        }
        out[4] = last;
    }
    return r;
}
