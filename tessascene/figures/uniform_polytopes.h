// The uniform polychora that are no Wythoff figures of a rank-4 group: the prisms of the uniform
// polyhedra and of the antiprisms, the snub 24-cell and the grand antiprism, each with its
// 2-faces and, but for the antiprism, its cells.
#pragma once

#include "tessascene/figures/edge_graph.h"

namespace tessascene {

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

}  // namespace tessascene
