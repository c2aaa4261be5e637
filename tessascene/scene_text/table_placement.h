// Fitting and placing a point table as the figure file's polylines, or as a figure of edges.
#pragma once

#include <string>
#include <vector>

#include "tessascene/figures/edge_graph.h"
#include "tessascene/figures/geometry.h"
#include "tessascene/figures/simplify.h"
#include "tessascene/import/table_import.h"
#include "tessascene/scene_text/scene_parameters.h"
#include "tessascene/scene_text/scene_writer.h"

namespace tessascene {

// The move that places a point table: its bounding box's centre comes to the origin when it is
// centred or scaled (size > 0), else no move.
Vertex4 tableShift(const PointTable& table, bool center, double size);

// Fits a point table into the figure's polylines as parameters say (report says how), then
// centres it on its bounding box and scales it as asked (size 0: the coordinates as read). A
// data point that would not fit a float once placed is refused with its input (name, as messages
// show it) and line.
bool placeTable(const PointTable& table, const SceneParameters& parameters, double size,
                const std::string& name, SceneFigure& figure, FitReport& report,
                std::string& error);

// A table's polylines as an edge graph: consecutive points joined, each polyline of three or
// more points closed when closed is set. The vertices are the points in order.
EdgeGraph graphFromPaths(const std::vector<std::vector<Vertex4>>& paths, bool closed);

}  // namespace tessascene
