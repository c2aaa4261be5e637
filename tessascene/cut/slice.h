// Cross-sections: the part of a 4D figure that lies in a hyperplane, the points P with
// normal . P = offset. The cut is again a figure, with its vertices in 4D on the hyperplane.
#pragma once

#include "tessascene/figures/edge_graph.h"
#include "tessascene/figures/geometry.h"

namespace tessascene {

// The points P with normal . P = offset; normal is not 0 and need not have length 1.
struct Hyperplane {
    Vertex4 normal = {0.0, 0.0, 0.0, 1.0};
    double offset = 0.0;
};

// The values normal . P takes over a figure's vertices.
struct Extent {
    double low = 0.0;
    double high = 0.0;
};

// The extent of graph (at least one vertex) along normal.
Extent extentAlong(const EdgeGraph& graph, const Vertex4& normal);

// How far from the hyperplane, in units of normal . P, a vertex still counts as lying on it:
// 1e-9 of the figure's size (its circumradius) times the length of normal.
double onPlaneTolerance(const EdgeGraph& graph, const Vertex4& normal);

// The cut of graph by plane.
// - A figure with faces: each face the plane crosses gives the segment where it does (a face
//   crossed more than twice, which a convex face never is, gives the segments between
//   successive crossings along the line), edges lying in the plane stay, and a vertex the plane
//   only touches stays as a vertex without edges.
// - A figure of curves (no faces): the points where its edges cross the plane and its vertices
//   on the plane, without edges.
// Which points coincide is decided by what they are, not by distance: a vertex of the figure on
// the plane, or the crossing on one edge; points that round to the same 32-bit floats are also
// one vertex. Every vertex of the result is projected onto the plane (a coordinate the plane
// fixes, as with --at q=C, is set exactly), and every edge appears once.
EdgeGraph cutFigure(const EdgeGraph& graph, const Hyperplane& plane);

}  // namespace tessascene
