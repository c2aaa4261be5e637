// Turns the edges of a figure into the polylines of the viewer's figure file: as few trails as
// the graph allows, cut into polylines that fit the figure's capacity.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "scene/scene_format.h"
#include "tessascene/figures/edge_graph.h"
#include "tessascene/figures/geometry.h"

namespace tessascene {

// A walk as vertex indices; consecutive vertices are joined by an edge of the graph. A closed
// walk lists its first vertex again at the end.
using Trail = std::vector<int>;

// Covers every edge of graph exactly once with the fewest trails: in each connected component
// that has edges, one closed trail when all its vertices have even degree, otherwise one open
// trail per pair of odd-degree vertices. Vertices without edges appear in no trail.
std::vector<Trail> decomposeIntoTrails(const EdgeGraph& graph);

// The longest path coverWithTrails draws a second time to join two odd vertices.
constexpr int kMaxRetrace = 16;

// Covers every edge of graph with trails, as decomposeIntoTrails does with maxRetrace 0. With
// maxRetrace > 0, odd-degree vertices are first joined in pairs along shortest paths of at most
// maxRetrace edges (each odd vertex in index order to the nearest one not yet joined), and those
// paths' edges are walked twice, so that far fewer trails begin and end: a trail then may pass
// an edge twice, in both directions.
std::vector<Trail> coverWithTrails(const EdgeGraph& graph, int maxRetrace);

// How splitClosedTrail ended.
enum class SplitResult {
    kDone,     // pieces holds the closed trails
    kNoCut,    // a remaining piece passes no vertex twice and is still too long
    kTooMany,  // more than maxPieces pieces would be needed
};

// Splits a closed trail of more than maxEdges edges into closed trails of at most maxEdges
// edges each, by cutting it where it passes a vertex twice: each step takes off the longest
// piece that fits, in O(k + n) for a trail of k edges and n vertices, and at most maxPieces
// steps are taken. maxEdges >= 3; pieces is empty unless the result is kDone.
SplitResult splitClosedTrail(const Trail& closed, int maxEdges, std::size_t maxPieces,
                             std::vector<Trail>& pieces);

// The trails of an open layout: those of decomposeIntoTrails, unless they need more polylines
// of capacity.vertices than capacity.polylines and those of coverWithTrails with kMaxRetrace
// need fewer (some edges are then drawn twice).
std::vector<Trail> openTrails(const EdgeGraph& graph, const FigureCapacity& capacity);

// The polylines an open layout of graph takes with openTrails, whether or not they fit.
std::size_t openPolylinesNeeded(const EdgeGraph& graph, const FigureCapacity& capacity);

// One polyline of a cut path: the points first to last of it, both included.
struct PathPiece {
    std::size_t first = 0;
    std::size_t last = 0;
};

// Cuts an open path of count points (count >= 1) into polylines of at most perPolyline points,
// where consecutive pieces share the point at the cut: one piece when the path fits, else
// (perPolyline >= 2) ceil((count - 1) / (perPolyline - 1)) pieces.
std::vector<PathPiece> cutOpenPath(std::size_t count, std::size_t perPolyline);

// Lays the graph out as polylines of vertex indices for the given LineLoopMode:
//   0  open strips: each trail of openTrails cut into pieces of at most capacity.vertices
//      vertices, where consecutive pieces share the vertex at the cut;
//   1  closed loops: every component must have only even-degree vertices; each closed trail is
//      split into loops that fit, and a loop does not repeat its first vertex;
//   3  points: every vertex once, isolated ones included, in runs of capacity.vertices.
// Vertices without edges are left out for 0 and 1. Returns false with a one-line error when the
// figure cannot be laid out, including when it needs more polylines than capacity.polylines.
bool layoutPolylines(const EdgeGraph& graph, int lineLoop, const FigureCapacity& capacity,
                     std::vector<std::vector<int>>& polylines, std::string& error);

}  // namespace tessascene
