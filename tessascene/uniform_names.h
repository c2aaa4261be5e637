// The convex uniform polychora by name: the 47 that are not prisms (the six regular ones are
// generate's own figures; the other 41 here, by OPERATION-BASE names, with both names where two
// give one figure), the snub 24-cell and the grand antiprism from their known constructions, the
// 17 prisms of the uniform polyhedra other than the cube, the antiprism prisms, and any Wythoff
// figure of a rank-4 group as wythoff:GROUP:RINGS. No file is read or written here.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "tessascene/wythoff.h"

// One figure of the name table: its names and the vertex and edge counts of the published
// tables of the uniform polychora.
struct UniformListing {
    std::vector<std::string> names;  // the first is the figure's usual name
    int vertices = 0;
    int edges = 0;
    bool fits = true;  // whether a figure file holds it (90 polylines of 90 vertices)
};

// Every named figure, in the order --help lists them.
const std::vector<UniformListing>& uniformListings();

// A figure made from a request, with the colour it is written in by default.
struct UniformFigure {
    Polychoron polytope;  // circumradius 1
    std::array<double, 3> colour = {1.0, 1.0, 1.0};
    double size = 2.0;  // the circumradius that suits the viewer
};

// Whether request (NAME or NAME:PARAMETERS) is for this table: a name of it, wythoff or
// antiprism-prism.
bool namesUniformFigure(const std::string& request);

// Checks a request namesUniformFigure took; false with a usage error saying what is wrong.
bool checkUniformRequest(const std::string& request, std::string& error);

// The figure of a request that checkUniformRequest took.
UniformFigure makeUniformFigure(const std::string& request);

// The lines --help gives the named figures: each with its names, vertices and edges, and
// whether it fits.
std::string uniformFigureHelp();

// The prism of a polyhedron in q = 0 with its faces: two copies at q = -L/2 and L/2 for edge
// length L, joined at every vertex; its faces are both copies' and a square on every edge, its
// cells the two copies and a prism on every face. Circumradius 1.
Polychoron makePrism(const EdgeGraph& polyhedron);

// The uniform n-gonal antiprism (n >= 3) in q = 0, edge length 1, with its faces.
EdgeGraph makeAntiprism(int n);

// The snub 24-cell: the 600-cell without the 24 vertices of an inscribed 24-cell; its cells are
// the 120 tetrahedra of the 600-cell left whole and an icosahedron where each vertex was.
Polychoron makeSnubTwentyFourCell();

// The grand antiprism: the 600-cell without the 20 vertices of two great decagons in
// completely orthogonal planes; its cells are the 300 tetrahedra of the 600-cell left whole and
// a pentagonal antiprism where each vertex was, its faces those triangles and a pentagon
// between each two antiprisms of one decagon.
Polychoron makeGrandAntiprism();
