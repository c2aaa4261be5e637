// Placing a figure of edges and laying it out as the figure file's polylines: the steps generate,
// import and slice share once the figure is made or read.
#pragma once

#include <string>
#include <vector>

#include "tessascene/figures/edge_graph.h"

namespace tessascene {

// Moves the centre of the graph's bounding box to the origin when centre is set, then scales
// the graph to circumradius size (0: the coordinates as they are).
void placeGraph(EdgeGraph& graph, bool centre, double size);

// Why coordinate c cannot be written (not 0, yet beyond the range or below the normal range of
// a float); where is "FILE:LINE" of an imported value, size the circumradius it was scaled to
// (0: kept).
std::string importedCoordinateProblem(const std::string& where, double c, double size);

// Lays out the placed graph as polylines for lineLoop and checks that every coordinate can be
// written as a number the viewer reads back. The error names the input (name, as messages show
// it) and the line of an imported vertex, or --size (the circumradius size) for a generated
// figure.
bool layoutGraph(const EdgeGraph& graph, int lineLoop, double size, const std::string& name,
                 std::vector<std::vector<int>>& layout, std::string& error);

// The vertices of each polyline of a layout of graph.
std::vector<std::vector<Vertex4>> polylinesOf(const EdgeGraph& graph,
                                              const std::vector<std::vector<int>>& layout);

}  // namespace tessascene
