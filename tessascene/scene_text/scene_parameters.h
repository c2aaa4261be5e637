// What shapes a scene beyond its figure: the parameter record that the command line fills (one
// field an option) and that any other program can fill as well.
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "scene/scene_format.h"
#include "tessascene/cut/slice.h"
#include "tessascene/figures/geometry.h"
#include "tessascene/import/table_import.h"
#include "tessascene/scene_text/scene_writer.h"

namespace tessascene {

// A rotation in one coordinate plane; plane indexes the weights xy, xz, xq, yz, yq, zq.
struct PlaneTurn {
    int plane = 0;
    double degrees = 0.0;  // a reversed plane name (qx) is stored as its plane, turned back
};

// Where to cut: one hyperplane, or a sweep of cuts along its normal.
struct SliceOptions {
    int given = 0;     // how many hyperplanes were given (--at and --hyperplane)
    Hyperplane plane;  // the normal defaults to the q axis
    bool offsetGiven = false;
    int axis = 3;      // the axis of an AXIS=C hyperplane (0 x, 1 y, 2 z, 3 q), or -1 for N.P = C
    int sweep = 0;     // the number of cuts of a sweep; 0: one cut
    bool any = false;  // any of the slice options was given
};

// How project views the figure in 3D: from the eye at (0, 0, 0, eye), or stereographically.
struct ProjectOptions {
    bool perspective = false;
    double eye = 0.0;  // above 0
    bool stereographic = false;
};

struct SceneParameters {
    std::optional<double> size;  // circumradius; 0: keep the coordinates; unset: the figure's own
    std::optional<std::array<double, 3>> colour;  // unset: the figure's own
    int lineLoop = kLineLoopOpen;
    Vertex4 projection = {0.4, -0.3, 0.2, 1.0};
    std::optional<double> scale;
    std::vector<PlaneTurn> rotations;
    std::optional<std::vector<PlaneTurn>> spins;  // unset: xq by 15 degrees
    bool center = false;                          // move the bounding box's centre to the origin
    bool noSimplify = false;                      // refuse a table that does not fit
    TableOptions table;
    SliceOptions slice;
    ProjectOptions project;
};

// The affine file's records for the parameters: --scale, each rotation, each spin, in order.
SceneAffines affinesFor(const SceneParameters& parameters);

}  // namespace tessascene
