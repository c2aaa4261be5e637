// Point tables: the 4D data people keep as CSV, TSV, semicolon- or whitespace-separated text, as
// numpy, pandas, R and spreadsheets write it. Each row is a point; consecutive rows form a
// polyline, and a blank line, a row of NaN or a change in a grouping column starts the next one.
#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

#include "tessascene/placement.h"
#include "tessascene/scene_writer.h"

// Which columns hold the four coordinates and which one, if any, groups rows into polylines.
struct TableOptions {
    std::vector<std::string> columns;  // four names or 1-based numbers; empty: the first four
                                       // numeric columns
    std::string group;                 // a name or 1-based number; empty: no grouping column
};

// A table as polylines of data points, in file order.
struct PointTable {
    std::vector<std::vector<Vertex4>> paths;  // none empty
    std::size_t points = 0;                   // over all paths
    BoundingBox4 box;                         // of all points
};

// Files holding more points than this are refused rather than exhausting memory.
constexpr std::size_t kMaxTablePoints = 20'000'000;

enum class InputKind {
    kOffFamily,  // the first word is an OFF-family keyword (4OFF, nOFF, 4SKEL, 4VECT, ...)
    kTable,      // anything else is read as a point table
};

// Tells an OFF-family file from a point table by its first word that is not in a comment, then
// rewinds in to its start. False with error naming the file when the stream cannot be rewound
// (a pipe).
bool detectInputKind(std::istream& in, const std::string& name, InputKind& kind,
                     std::string& error);

// Reads a point table from in. The separator is told from the first row: a tab, else a
// semicolon, else a comma, else runs of blanks. An optional header row names the columns; a
// '#' comment directly above the first row names them when it splits into as many names (numpy's
// header). Lines starting with '#' are skipped. Values are read as strtod reads them in the C
// locale and must fit a 32-bit float. name is used in messages only. Returns false with error
// "NAME:LINE: what is wrong" for bad input, leaving table unspecified.
bool importTable(std::istream& in, const std::string& name, const TableOptions& options,
                 PointTable& table, std::string& error);
