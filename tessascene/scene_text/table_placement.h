// The import command's steps: reading a file as a figure or a point table, and fitting and
// placing a point table as the figure file's polylines.
#pragma once

#include <string>

#include "tessascene/command_line.h"
#include "tessascene/edge_graph.h"
#include "tessascene/scene_writer.h"
#include "tessascene/simplify.h"
#include "tessascene/table_import.h"

// What a file held: a figure of edges, or a table of points.
struct ImportedFigure {
    bool isTable = false;
    EdgeGraph graph;   // unless isTable
    PointTable table;  // if isTable
};

// Reads options.operand ("-": standard input) as its content says. false with a one-line error
// naming the file.
bool importSource(const Options& options, ImportedFigure& imported, std::string& error);

// The move that places a point table: its bounding box's centre comes to the origin when it is
// centred or scaled (size > 0), else no move.
Vertex4 tableShift(const PointTable& table, const Options& options, double size);

// Fits a point table into the figure's polylines (report says how), then centres it on its
// bounding box and scales it as asked (size 0: the coordinates as read). A data point that
// would not fit a float once placed is refused with its file and line.
bool placeTable(const PointTable& table, const Options& options, double size, SceneFigure& figure,
                FitReport& report, std::string& error);
