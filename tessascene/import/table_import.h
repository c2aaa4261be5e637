// Point tables: the 4D data people keep as CSV, TSV, semicolon- or whitespace-separated text, as
// numpy, pandas, R and spreadsheets write it. Each row is a point; consecutive rows form a
// polyline, and a blank line, a row of NaN or a change in a grouping column starts the next one.
#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tessascene/figures/geometry.h"
#include "tessascene/import/table_fields.h"

namespace tessascene {

// Which columns hold the four coordinates and which one, if any, groups rows into polylines.
struct TableOptions {
    std::vector<std::string> columns;  // four names or 1-based numbers; empty: the first four
                                       // numeric columns
    std::string group;                 // a name or 1-based number; empty: no grouping column
    std::string array;                 // the array of an .npz archive; empty: the only one,
                                       // or arr_0
};

// A table as polylines of data points, in file order.
struct PointTable {
    std::vector<std::vector<Vertex4>> paths;  // none empty
    std::size_t points = 0;                   // over all paths
    BoundingBox4 box;                         // of all points
    // What was read, e.g. "using columns x, y, z, w (3 to 6) as x, y, z, q".
    std::string description;
    // Where the points were read, for each path: runs of points on consecutive lines, each as
    // the index of its first point and that point's line. Empty for numpy's arrays.
    std::vector<std::vector<std::pair<std::size_t, long>>> lineRuns;
};

// How a table's description ends: the columns it names are the coordinates in this order.
constexpr const char* kAsCoordinates = " as x, y, z, q";

// The line of a text table where point index of path was read; 0 when unknown.
long pointLine(const PointTable& table, std::size_t path, std::size_t index);

// Files holding more points than this are refused rather than exhausting memory.
constexpr std::size_t kMaxTablePoints = 20'000'000;

// Reads a point table from in. The separator is told from the first row: a tab, else a
// semicolon, else a comma, else runs of blanks. Fields may be quoted as RFC 4180 quotes them
// (separators, doubled quotes and line breaks inside). An optional header row names the
// columns; a '#' comment directly above the first row names them when it splits into as many
// names (numpy's header). Lines starting with '#' are skipped. Header names x, y, z and q or w
// (any case; also x1..x4, x0..x3) choose the columns; a header that names some of them but no
// such set of four is refused (--columns chooses). Without any of these names the first four
// columns that hold numbers are the coordinates, after a leading index column (named "", index
// or "Unnamed: 0", holding whole numbers). In a tab-separated table a tab at either end of a
// row separates an empty value. In a semicolon-separated table a decimal comma is the decimal
// mark when the file uses no decimal point. Values are numbers by tessascene's number rule
// (figures/numbers.h) and must be finite and at most kMaxTableValue in size; NA, NaN and empty
// values are missing. name is the input as messages show it. Returns false with error
// "NAME:LINE: what is wrong" for bad input, LINE being where the record starts; table then holds
// the rows read before that record.
bool importTable(std::istream& in, const std::string& name, const TableOptions& options,
                 PointTable& table, std::string& error);

}  // namespace tessascene
