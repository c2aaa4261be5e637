// Fuzz entry for the scene loader and the frame's printed arithmetic. One input holds both
// scene files, split at the first NUL byte (figure file before it, affine file after it). After
// every load the stored counts must lie within the fixed capacities; anything else aborts. The
// loaded list is then composed and its matrix printed (every element cut to two decimals), and
// the q-axis marker is projected and cut as the status lines do, so every value a file can
// produce meets the float-to-int cutting.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "fuzz/split_input.h"
#include "math4d/scalar_helpers.h"
#include "pipeline/composition.h"
#include "scene/scene_loader.h"
#include "scene/scene_records.h"

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "loader invariant broken: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto [figureText, affineText] = splitAtFirstNul(data, size);
    std::istringstream figure(figureText);
    std::istringstream affine(affineText);

    // Kept between inputs like the program's records; only the counts matter, since nothing past
    // them is ever read.
    static FigureCollection loadedFigure;
    static AffineCollection loadedAffines;
    static Point4 projectionVector;
    loadedFigure.count = 0;
    loadedFigure.lineLoop = 0;
    loadedAffines.count = 0;
    projectionVector = Point4{};

    // The echo goes nowhere: a stream in a failed state formats nothing, which keeps the runs
    // fast. Every value is still read, checked and cut as in a real run.
    std::cout.setstate(std::ios::badbit);
    readSceneStreams(&figure, "figure.txt", &affine, "affine.txt", loadedFigure, loadedAffines,
                     projectionVector);
    check(loadedFigure.count <= kMaxPolylines, "figure count above capacity");
    for (int i = 0; i < loadedFigure.count; ++i) {
        check(loadedFigure.polylines[i].count <= kMaxVertices, "vertex count above capacity");
    }
    check(loadedAffines.count <= kMaxAffines, "record count above capacity");

    // The start frame and one a few step presses later.
    for (const float step : {0.0f, 3.0f}) {
        composeAffineCollection(loadedAffines, step).composite.print("Matrix of Affine");
    }
    Point4 marker;
    marker.set(0.0f, 0.0f, 0.0f, 3.0f);
    const Point3 image = projectTo3D(marker, projectionVector);
    std::cout << truncateDecimals(image.x, 2) << truncateDecimals(image.y, 2)
              << truncateDecimals(image.z, 2) << truncateDecimals(projectionVector.q, 2)
              << std::endl;
    std::cout.clear();

    return 0;
}
