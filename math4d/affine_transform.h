// Elementary 4D affine transforms accumulated into one composite matrix.
#pragma once

#include "math4d/matrix5.h"

// Every operation builds its elementary matrix in `elementary` and multiplies it onto
// `composite` from the left, so a point undergoes the operations in the order they were called.
class AffineTransform {
public:
    Matrix5 elementary;  // scratch for the operation in progress; meaningless between calls
    Matrix5 composite;   // product of every elementary matrix so far, the newest on the left

    // composite (and elementary) start as the identity.
    AffineTransform();

    // Scales along x, y, z, q by factor * s, each product rounded to float; about the origin.
    void scale(float factor, float sx, float sy, float sz, float sq);
    void scaleBy(float sx, float sy, float sz, float sq);

    // Moves by factor * t, each product rounded to float.
    void translate(float factor, float tx, float ty, float tz, float tq);
    void translateBy(float tx, float ty, float tz, float tq);

    // Six plane rotations in the fixed order xy, xz, xq, yz, yq, zq, each by factor * weight
    // radians; in the plane i<j a positive angle turns +i toward +j.
    void rotate(float factor, float wxy, float wxz, float wxq, float wyz, float wyq, float wzq);
    // The animated rotation: identical to rotate.
    void rotateStep(float factor, float wxy, float wxz, float wxq, float wyz, float wyq, float wzq);

private:
    // One rotation in the plane of axes i < j (1-based) by factor * weight radians.
    void rotatePlane(int i, int j, float factor, float weight);
    // composite <- elementary x composite.
    void applyElementary();
};
