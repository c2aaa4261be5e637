#include "math4d/point.h"

#include "math4d/matrix5.h"

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
