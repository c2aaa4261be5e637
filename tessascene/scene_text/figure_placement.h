// Placing a figure and writing it as a scene: the steps generate, import and slice share once
// the figure is made or read.
#pragma once

#include <string>
#include <vector>

#include "tessascene/command_line.h"
#include "tessascene/edge_graph.h"
#include "tessascene/scene_writer.h"

// The affine file's records for the options, in the documented order.
SceneAffines affinesFor(const Options& options);

// Moves the centre of the graph's bounding box to the origin when centre is set, then scales
// the graph to circumradius size (0: the coordinates as they are).
void placeGraph(EdgeGraph& graph, bool centre, double size);

// Why coordinate c cannot be written (not 0, yet beyond the range or below the normal range of
// a float); where is "FILE:LINE" of an imported value, size the circumradius it was scaled to
// (0: kept).
std::string importedCoordinateProblem(const std::string& where, double c, double size);

// Lays out the placed graph as polylines and checks that every coordinate can be written as a
// number the viewer reads back. The error names the file and line of an imported vertex, or
// --size for a generated figure.
bool layoutGraph(const EdgeGraph& graph, const Options& options, double size,
                 std::vector<std::vector<int>>& layout, std::string& error);

// Writes figure and the options' affine file into options.output; a notice of the writer is
// printed.
bool writeScene(const SceneFigure& figure, const Options& options, std::string& error);
