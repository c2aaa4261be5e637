// What tessascene tells its user: the console lines of every command, and its exit statuses.
#pragma once

#include <cstddef>
#include <string>

#include "tessascene/edge_graph.h"
#include "tessascene/scene_writer.h"
#include "tessascene/simplify.h"
#include "tessascene/table_import.h"
#include "toolkit/tool_exit.h"

// Prints "tessascene: MESSAGE" on standard error, for a usage error also the hint to --help;
// returns status (kExitFailure: the figure cannot be made, read, fitted or written).
int fail(int status, const std::string& message);

// Prints a notice of the writer (what an earlier run left and this one cleaned up), if any.
void reportNotice(const std::string& notice);

// "Read FILE: N data points, ..." for a point table; file as given ("-": standard input).
void reportTableRead(const std::string& file, const PointTable& table);

// What simplification did, with the largest distance also as a share of the data's diagonal.
void reportSimplified(const FitReport& report, const PointTable& table);

// "Wrote DIR/F and DIR/A: ..." for a point table of points data points.
void reportTableWritten(const std::string& folder, std::size_t points, std::size_t vertices,
                        std::size_t polylines, int lineLoop);

// "Wrote DIR/F and DIR/A: ..." for a figure of edges laid out as polylines, with the vertices
// and edges the figure file holds (written); graph tells the vertices left out.
void reportGraphWritten(const std::string& folder, const EdgeGraph& graph,
                        const WrittenFigure& written, std::size_t polylines, int lineLoop);
