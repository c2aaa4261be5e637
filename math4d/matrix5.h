// The 5x5 homogeneous matrix of 4D space: rows and columns 1-4 act on (x, y, z, q), column 5
// holds the translation, and a point is the column (x, y, z, q, 1) multiplied from the left.
#pragma once

#include <cstring>

// Element tables that clear and setIdentity copy: a fixed 100-byte copy compiles to a few vector
// stores, where a loop of stores becomes a string instruction that is slow to start.
inline constexpr float kZeroElements[25] = {};
inline constexpr float kIdentityElements[25] = {1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1,
                                                0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1};

// The small accessors are defined here: composition calls them for every record of every frame.
struct Matrix5 {
    // Row-major: element (row, col) lives at (row - 1) * 5 + (col - 1).
    float elements[25] = {};

    // Sets all 25 elements to 0.
    void clear() { std::memcpy(elements, kZeroElements, sizeof elements); }
    // The identity: 1 on the diagonal, 0 elsewhere.
    void setIdentity() { std::memcpy(elements, kIdentityElements, sizeof elements); }
    // row and col run from 1 to 5; neither is checked.
    float get(int row, int col) const { return elements[(row - 1) * 5 + (col - 1)]; }
    void set(int row, int col, float value) { elements[(row - 1) * 5 + (col - 1)] = value; }
    // element <- element + value, rounded to float.
    void addTo(int row, int col, float value) { set(row, col, get(row, col) + value); }

    // Writes nine lines to standard output: the title, "--------", the five rows (each element
    // cut to two decimals, tab-separated), "--------" and a single space. Each line is flushed.
    void print(const char* title) const;
};

// a x b, a on the left. Every term and every partial sum is a float, summed over ascending k.
Matrix5 multiply(Matrix5 a, Matrix5 b);
