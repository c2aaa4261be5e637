// The 5x5 homogeneous matrix of 4D space: rows and columns 1-4 act on (x, y, z, q), column 5
// holds the translation, and a point is the column (x, y, z, q, 1) multiplied from the left.
#pragma once

struct Matrix5 {
    // Row-major: element (row, col) lives at (row - 1) * 5 + (col - 1).
    float elements[25] = {};

    // Sets all 25 elements to 0.
    void clear();
    // The identity: clear(), then 1 on the diagonal.
    void setIdentity();
    // row and col run from 1 to 5; neither is checked.
    float get(int row, int col) const;
    void set(int row, int col, float value);
    // element <- element + value, rounded to float.
    void addTo(int row, int col, float value);

    // Writes nine lines to standard output: the title, "--------", the five rows (each element
    // cut to two decimals, tab-separated), "--------" and a single space. Each line is flushed.
    void print(const char* title) const;
};

// a x b, a on the left. Every term and every partial sum is a float, summed over ascending k.
Matrix5 multiply(Matrix5 a, Matrix5 b);
