// The control for upward_include.cpp: the same include context with only math4d's own headers
// compiles, so the other probe fails for its upward include alone.
#include "math4d/affine_transform.h"
#include "math4d/point.h"

AffineTransform probeSameLayer() {
    AffineTransform t;
    t.translateBy(1.0f, 2.0f, 3.0f, 4.0f);
    return t;
}
