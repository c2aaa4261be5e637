// The page's picture of one frame as indexed triangles and lines: lines wider than a pixel
// become screen-space quads (four vertices, two triangles) that the vertex shader widens, since
// WebGL draws lines one pixel wide only; one-pixel lines stay lines (under a software renderer a
// line costs half of a quad's two triangles); cones and the marker ball are solid triangles.
// Display-free; the page's renderer uploads the vertices and draws them in one call, in the
// order the desktop window draws them: grids, axes with cones, q marker, drop lines, figure.
#pragma once

#include <cstdint>
#include <vector>

#include "viewer/viewer_state.h"

// One vertex: its end of the primitive, the other end, the corner, the colour and the width in
// view pixels (the renderer multiplies it by the pixel ratio). width 0: a triangle vertex, drawn
// where it is. corner (0, +-1): a line quad's side; corner (+-1, +-1): a point's square.
struct MeshVertex {
    float position[3];
    float other[3];
    float corner[2];
    float colour[3];
    float width;
};

enum MeshMode : std::uint32_t {
    kMeshTriangles = 0,  // three indices per triangle
    kMeshLines = 1,      // two indices per one-pixel line
};

// A run of indices drawn in one mode; the runs are drawn in order.
struct MeshBatch {
    std::uint32_t mode;   // a MeshMode
    std::uint32_t first;  // the run's first index
    std::uint32_t count;  // its number of indices
};

struct FrameMesh {
    std::vector<MeshVertex> vertices;
    std::vector<std::uint32_t> indices;  // into vertices
    std::vector<MeshBatch> batches;      // the indices in drawing order
    float viewProjection[16];            // column-major, as uniformMatrix4fv takes it
    // Device pixels per view pixel, set by the caller: the renderer widens every line and point
    // by it, and a one-pixel line stays a line only at 1.
    float pixelRatio = 1.0f;
};

// Fills mesh with the frame the desktop window would draw for state in an 800x600 viewport: the
// camera's look-at under the 50-degree perspective, then what the flags show. Prints nothing.
void buildFrameMesh(const ViewerState& state, FrameMesh& mesh);
