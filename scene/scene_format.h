// The scene files as the viewer reads them and the tools write them: the two file names, the
// capacities, the transform types with their parameter counts, the figure's drawing modes and
// the way every number is written. Nothing here needs GL or the process-wide records.
#pragma once

#include <string>

// Both files are read from the working folder at start-up.
constexpr const char* kFigureFileName = "kvoTessa1F.txt";  // line-loop value, colour, polylines
constexpr const char* kAffineFileName = "kvoTessa1A.txt";  // projection vector, transform list

constexpr int kMaxVertices = 90;   // vertices in one polyline
constexpr int kMaxPolylines = 90;  // polylines in one figure
constexpr int kMaxAffines = 90;    // records in one transform list

// The number that opens each record of the affine file. The step forms take the global step
// into their factor: scale by step + p0, translate by step * p0, rotate by step * p0.
enum TransformType : int {
    kTransformEmpty = 0,  // an unused record; any number outside 1..6 is skipped as well
    kTransformScale = 1,
    kTransformTranslate = 2,
    kTransformRotate = 3,
    kTransformStepScale = 4,
    kTransformStepTranslate = 5,
    kTransformStepRotate = 6,
};

// The figure file's first number: how every polyline is drawn. Any other value draws nothing.
enum LineLoopMode : int {
    kLineLoopOpen = 0,    // a strip: the last vertex is not joined back to the first
    kLineLoopClosed = 1,  // a loop: the last vertex is joined back to the first
    kLineLoopPoints = 3,  // every vertex a point, nothing joined
};

// How many parameters follow a record's type in the affine file: 5 for the scalings and
// translations (factor, then x y z q), 7 for the rotations (angle in degrees, then the weights
// of the planes xy xz xq yz yq zq), 0 for a type the composition does not know.
constexpr int affineParameterCount(int type) {
    switch (type) {
        case kTransformScale:
        case kTransformTranslate:
        case kTransformStepScale:
        case kTransformStepTranslate:
            return 5;
        case kTransformRotate:
        case kTransformStepRotate:
            return 7;
        default:
            return 0;
    }
}

// A float as the scene files hold it and the loader echoes it: general notation with six
// significant digits, as printf's "%.6g" in the C locale ("1", "0.7", "-1.5e-07", "inf").
std::string sceneNumberText(float value);
