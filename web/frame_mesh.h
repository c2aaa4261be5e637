// The page's picture of one frame as plain triangles: lines become screen-space quads (six
// vertices each) that the vertex shader widens, cones and the marker ball are solid triangles.
// Display-free; the page's renderer uploads the vertices and draws them in one call, in the
// order the desktop window draws them: grids, axes with cones, q marker, drop lines, figure.
#pragma once

#include <vector>

#include "viewer/viewer_state.h"

// One vertex: its end of the primitive, the other end, the corner, the colour and the width in
// pixels. width 0: a triangle vertex, drawn where it is. corner (0, +-1): a line quad's side;
// corner (+-1, +-1): a point's square.
struct MeshVertex {
    float position[3];
    float other[3];
    float corner[2];
    float colour[3];
    float width;
};

struct FrameMesh {
    std::vector<MeshVertex> vertices;
    float viewProjection[16];  // column-major, as uniformMatrix4fv takes it
};

// Fills mesh with the frame the desktop window would draw for state in an 800x600 viewport: the
// camera's look-at under the 50-degree perspective, then what the flags show. Prints nothing.
void buildFrameMesh(const ViewerState& state, FrameMesh& mesh);
