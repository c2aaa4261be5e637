// Point records: plain values of 32-bit floats, copied whole everywhere.
#pragma once

#include <cmath>

struct Matrix5;

// A point or direction in 4D space; q is the fourth axis.
struct Point4 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float q = 0.0f;

    // Stores the four coordinates unchanged, in member order.
    void set(float newX, float newY, float newZ, float newQ) {
        x = newX;
        y = newY;
        z = newZ;
        q = newQ;
    }

    // Column 1 of the result is (x, y, z, q, 1); every other element is 0.
    Matrix5 toMatrix() const;
    // Takes x, y, z, q from rows 1 to 4 of column 1; row 5 is ignored (no division).
    void fromMatrix(const Matrix5& m);
};

// A point or direction in 3D space.
struct Point3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    // Stores the three coordinates unchanged, in member order.
    void set(float newX, float newY, float newZ) {
        x = newX;
        y = newY;
        z = newZ;
    }
};

// True when none of the three coordinates is an infinity or NaN.
inline bool isFinite(const Point3& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}
