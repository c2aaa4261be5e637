#include "math4d/affine_transform.h"

#include <cmath>

AffineTransform::AffineTransform() {
    elementary.setIdentity();
    composite.setIdentity();
}

void AffineTransform::scale(float factor, float sx, float sy, float sz, float sq) {
    scaleBy(factor * sx, factor * sy, factor * sz, factor * sq);
}

void AffineTransform::scaleBy(float sx, float sy, float sz, float sq) {
    elementary.setIdentity();
    elementary.set(1, 1, sx);
    elementary.set(2, 2, sy);
    elementary.set(3, 3, sz);
    elementary.set(4, 4, sq);
    applyElementary();
}

void AffineTransform::translate(float factor, float tx, float ty, float tz, float tq) {
    translateBy(factor * tx, factor * ty, factor * tz, factor * tq);
}

void AffineTransform::translateBy(float tx, float ty, float tz, float tq) {
    elementary.setIdentity();
    elementary.set(1, 5, tx);
    elementary.set(2, 5, ty);
    elementary.set(3, 5, tz);
    elementary.set(4, 5, tq);
    applyElementary();
}

void AffineTransform::rotate(float factor, float wxy, float wxz, float wxq, float wyz, float wyq,
                             float wzq) {
    rotatePlane(1, 2, factor, wxy);
    rotatePlane(1, 3, factor, wxz);
    rotatePlane(1, 4, factor, wxq);
    rotatePlane(2, 3, factor, wyz);
    rotatePlane(2, 4, factor, wyq);
    rotatePlane(3, 4, factor, wzq);
}

void AffineTransform::rotateStep(float factor, float wxy, float wxz, float wxq, float wyz,
                                 float wyq, float wzq) {
    rotate(factor, wxy, wxz, wxq, wyz, wyq, wzq);
}

void AffineTransform::rotatePlane(int i, int j, float factor, float weight) {
    // The product of two floats is exact in double.
    const double theta = static_cast<double>(factor) * static_cast<double>(weight);
    // cos(+-0) is 1 and sin(+-0) is +-0 exactly: planes of weight 0, the common case, need no
    // call into the maths library.
    const bool still = theta == 0.0;
    const float c = still ? 1.0f : static_cast<float>(std::cos(theta));
    const float s = still ? static_cast<float>(theta) : static_cast<float>(std::sin(theta));
    elementary.setIdentity();
    elementary.set(i, i, c);
    elementary.set(i, j, -s);
    elementary.set(j, i, s);
    elementary.set(j, j, c);
    applyElementary();
}

void AffineTransform::applyElementary() {
    composite = multiply(elementary, composite);
}
