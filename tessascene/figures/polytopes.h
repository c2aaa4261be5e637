// Generators of 4D wireframes: the six regular convex polytopes, duoprisms, a Clifford torus and
// Hopf circles on the 3-sphere. Every figure is centred on the origin with circumradius 1; scale
// it with scaleToCircumradius. The polytopes, duoprisms and the torus grid come with their
// 2-faces (EdgeGraph::faces); the Hopf circles are curves and have none.
#pragma once

#include <cmath>

#include "tessascene/figures/edge_graph.h"

namespace tessascene {

// The golden ratio, of which the coordinates of the 120-cell's family are made.
inline const double kPhi = (1.0 + std::sqrt(5.0)) / 2.0;

// Regular polytopes, with edges between the vertex pairs at the shortest distance.
EdgeGraph makeFiveCell();        // 5 vertices, 10 edges, 10 triangles
EdgeGraph makeTesseract();       // 16 vertices, 32 edges, 24 squares
EdgeGraph makeSixteenCell();     // 8 vertices, 24 edges, 32 triangles
EdgeGraph makeTwentyFourCell();  // 24 vertices, 96 edges, 96 triangles
EdgeGraph makeOneTwentyCell();   // 600 vertices, 1200 edges, 720 pentagons
EdgeGraph makeSixHundredCell();  // 120 vertices, 720 edges, 1200 triangles

// The uniform p,q-duoprism: a p-gon in the xy plane times a q-gon in the zq plane, all edges of
// one length. p, q >= 3; p * q vertices, 2 * p * q edges, p * q squares, q p-gons and p q-gons.
EdgeGraph makeDuoprism(int p, int q);

// An m x n grid on the Clifford torus (cos a, sin a, cos b, sin b) / sqrt 2, with m steps of a
// and n steps of b, each grid cell a quadrilateral. m, n >= 3; m * n vertices, 2 * m * n edges,
// m * n quadrilateral faces (a rectangle each).
EdgeGraph makeCliffordTorus(int m, int n);

// Great circles of the Hopf fibration of the 3-sphere: the fibres over `circles` points evenly
// spaced on each of `rings` circles of latitude of the 2-sphere, each fibre a closed polygon of
// `segments` edges. The rings avoid the poles and are placed symmetrically about the equator.
// rings >= 1, circles >= 1, segments >= 3.
EdgeGraph makeHopfCircles(int rings, int circles, int segments);

// Adds an edge between every pair of vertices whose distance is the smallest non-zero distance
// of the graph, within a relative tolerance of 1e-6. Fewer than two distinct vertices: no edges.
void connectNearestPairs(EdgeGraph& graph);

// Largest distance of a vertex from the origin; 0 for an empty graph.
double circumradius(const EdgeGraph& graph);

// Multiplies every coordinate so that circumradius(graph) becomes radius (radius > 0). A graph
// whose vertices all lie on the origin is left unchanged.
void scaleToCircumradius(EdgeGraph& graph, double radius);

// A coordinate c of a figure of circumradius current (finite, not 0) as scaleToCircumradius
// scales it to radius.
double scaledCoordinate(double c, double current, double radius);

}  // namespace tessascene
