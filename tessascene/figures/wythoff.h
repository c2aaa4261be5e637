// Wythoff's construction: the uniform polytopes of the finite reflection groups of rank 4 (A4,
// B4, D4, F4, H4) and of rank 3 (A3, B3, H3, in the 3-space q = 0), and the snub polyhedra of
// B3 and H3. Vertices, edges, 2-faces and cells all come from the group, so no distance or
// tolerance decides what is an edge or a face.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "tessascene/figures/edge_graph.h"

namespace tessascene {

// The rank-4 groups, by their Coxeter diagrams, nodes numbered left to right:
//   A4 [3,3,3], B4 [4,3,3], F4 [3,4,3], H4 [5,3,3]: a chain 0 - 1 - 2 - 3;
//   D4 [3,3^1,1]: the chain 0 - 1 - 2 through the centre node 1, and node 3 on the centre.
enum class CoxeterGroup { kA4, kB4, kD4, kF4, kH4 };

// The rank-3 groups of the polyhedra: A3 [3,3], B3 [4,3], H3 [5,3], a chain 0 - 1 - 2.
enum class PolyhedralGroup { kA3, kB3, kH3 };

// A Wythoff figure of a rank-4 group: which of the four mirrors are ringed (at least one).
struct WythoffSymbol {
    CoxeterGroup group = CoxeterGroup::kA4;
    std::array<bool, 4> rings = {true, false, false, false};
};

// Reads GROUP:RINGS, e.g. "F4:1001": GROUP one of A4 B4 D4 F4 H4, RINGS four digits 0 or 1, not
// all 0. false with a one-line error naming what is wrong.
bool parseWythoffSymbol(const std::string& text, WythoffSymbol& symbol, std::string& error);

// The Wythoff figure of symbol, circumradius 1: the orbit of the seed point (on every unringed
// mirror, at one distance from every ringed one), the orbits of the edges from the seed to its
// images in the ringed mirrors, the 2-faces as orbits of the seed's polygons under the rank-2
// subgroups, and the cells as orbits of its polyhedra under the rank-3 subgroups.
Polychoron makeWythoffPolytope(const WythoffSymbol& symbol);

// The uniform polyhedron of a rank-3 group with the given rings (at least one), in q = 0, with
// its faces, circumradius 1.
EdgeGraph makeWythoffPolyhedron(PolyhedralGroup group, const std::array<bool, 3>& rings);

// The snub polyhedron of B3 (the snub cube) or H3 (the snub dodecahedron), in q = 0, with its
// faces, circumradius 1: the orbit under the rotations of the group of the point whose five
// neighbours are all at one distance.
EdgeGraph makeSnubPolyhedron(PolyhedralGroup group);

}  // namespace tessascene
