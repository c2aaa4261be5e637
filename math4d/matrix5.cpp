#include "math4d/matrix5.h"

#include <iostream>

#include "math4d/scalar_helpers.h"

void Matrix5::clear() {
    for (float& e : elements) {
        e = 0.0f;
    }
}

void Matrix5::setIdentity() {
    clear();
    for (int i = 1; i <= 5; ++i) {
        set(i, i, 1.0f);
    }
}

float Matrix5::get(int row, int col) const {
    return elements[(row - 1) * 5 + (col - 1)];
}

void Matrix5::set(int row, int col, float value) {
    elements[(row - 1) * 5 + (col - 1)] = value;
}

void Matrix5::addTo(int row, int col, float value) {
    set(row, col, get(row, col) + value);
}

void Matrix5::print(const char* title) const {
    std::cout << title << std::endl;
    std::cout << "--------" << std::endl;
    for (int row = 1; row <= 5; ++row) {
        for (int col = 1; col <= 5; ++col) {
            if (col > 1) {
                std::cout << '\t';
            }
            std::cout << truncateDecimals(get(row, col), 2);
        }
        std::cout << std::endl;
    }
    std::cout << "--------" << std::endl;
    std::cout << " " << std::endl;
}

Matrix5 multiply(Matrix5 a, Matrix5 b) {
    Matrix5 r;
    r.clear();
    for (int i = 1; i <= 5; ++i) {
        for (int j = 1; j <= 5; ++j) {
            for (int k = 1; k <= 5; ++k) {
                const float term = a.get(i, k) * b.get(k, j);
                r.addTo(i, j, term);
            }
        }
    }
    return r;
}
