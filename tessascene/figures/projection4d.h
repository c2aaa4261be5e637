// Two classic views of a 4D figure as a figure in the 3-space q = 0, which the viewer shows as it
// is: the perspective from an eye on the q axis, and the stereographic projection of the figure
// put on a 3-sphere, whose edges become circular arcs. No result holds an infinity or a NaN.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "tessascene/figures/edge_graph.h"

namespace tessascene {

// The point p seen from the eye at (0, 0, 0, eye): (x, y, z) eye / (eye - q), and q = 0.
// p's q must be below eye.
Vertex4 perspectivePoint(const Vertex4& p, double eye);

// The figure seen from the eye at (0, 0, 0, eye), eye above every vertex's q. Straight lines stay
// straight, so edges and faces are kept as they are. false with a one-line error when a vertex
// lies at or beyond the eye.
bool projectPerspective(const EdgeGraph& figure, double eye, EdgeGraph& projected,
                        std::string& error);

// The figure on the 3-sphere through its farthest vertex, turned so that the pole (0, 0, 0, 1)
// keeps clear of it.
//
// The pole rule: the pole is the point of the 3-sphere on the q axis when no vertex and no arc
// comes within kPoleClearanceDegrees of it. Otherwise the figure is first turned in the zq plane
// by the whole number of degrees (1 to 359) that keeps the pole farthest from it (ties: the
// smallest turn); when no turn there keeps kPoleClearanceDegrees, the yq and xq planes are
// tried as well. A vertex at the pole or an arc through it, whose image would be at infinity,
// is thus never projected.
struct StereographicView {
    double radius = 0.0;                    // of the 3-sphere: the farthest vertex's distance
    char turnPlane[3] = "zq";               // the plane of the turn
    int turnDegrees = 0;                    // 0: not turned
    double clearanceDegrees = 0.0;          // between the pole and the nearest vertex or arc
    std::vector<Vertex4> directions;        // each vertex's unit direction, turned
    std::vector<std::pair<int, int>> arcs;  // the figure's edges
    int problemVertex = -1;  // when preparing fails: the vertex at the centre, or an end of
                             // the edge that joins opposite points
};

constexpr double kPoleClearanceDegrees = 5.0;

// Prepares the stereographic view of figure. false with a one-line error when the figure has no
// vertex, a vertex lies at the centre (it has no direction), an edge joins two opposite points
// of the 3-sphere (no single arc joins them), or no turn keeps the pole off the figure.
bool prepareStereographic(const EdgeGraph& figure, StereographicView& view, std::string& error);

// The image of a unit direction (not the pole) projected from the pole onto q = 0, times radius:
// (x, y, z) radius / (1 - q), and q = 0.
Vertex4 stereographicPoint(const Vertex4& direction, double radius);

// The number of straight pieces each arc is drawn with when budget pieces in all are shared
// out: every arc has one, and each further piece goes to the arc whose drawing strays farthest
// from its true circle (pieces of equal angle on the 3-sphere). Arcs whose image is straight
// get no more than one; budget below the number of arcs counts as one per arc.
std::vector<int> shareArcPieces(const StereographicView& view, std::size_t budget);

// The stereographic figure: the images of the vertices (same indices), then the inner points of
// each arc, which is drawn as a path of its pieces. Every vertex has q = 0; there are no faces.
EdgeGraph stereographicFigure(const StereographicView& view, const std::vector<int>& pieces);

}  // namespace tessascene
