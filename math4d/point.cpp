#include "math4d/point.h"

#include <cmath>

#include "math4d/matrix5.h"

void Point4::set(float newX, float newY, float newZ, float newQ) {
    x = newX;
    y = newY;
    z = newZ;
    q = newQ;
}

Matrix5 Point4::toMatrix() const {
    Matrix5 m;
    m.clear();
    m.set(1, 1, x);
    m.set(2, 1, y);
    m.set(3, 1, z);
    m.set(4, 1, q);
    m.set(5, 1, 1.0f);
    return m;
}

void Point4::fromMatrix(const Matrix5& m) {
    set(m.get(1, 1), m.get(2, 1), m.get(3, 1), m.get(4, 1));
}

void Point3::set(float newX, float newY, float newZ) {
    x = newX;
    y = newY;
    z = newZ;
}

bool isFinite(const Point3& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}
