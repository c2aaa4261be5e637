// Fuzz entry for tessascene's importers: the OFF family (4OFF, nOFF, 4SKEL, 4VECT), point tables
// (quoted fields, decimal commas), numpy's .npy and .npz, and all of them gzip-compressed, told
// apart as the tool tells them; then the layout, simplification, placement and figure-file text
// on what was imported. One input is a file, optionally followed by a NUL byte and words that
// set the options: columns=A,B,C,D group=COLUMN array=NAME loop=0|1|3 keep center nosimplify.
// Binary files hold NUL bytes themselves, so an input that starts with numpy's, zip's or gzip's
// magic bytes is taken whole as the file. Anything the code promises
// (capacities, kept points being data points, the reported distance bounding every point's
// distance from the drawn line, a writable figure) is checked; a broken promise aborts.

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/split_input.h"
#include "tessascene/figures/geometry.h"
#include "tessascene/figures/polytopes.h"
#include "tessascene/figures/simplify.h"
#include "tessascene/figures/trails.h"
#include "tessascene/import/compressed_input.h"
#include "tessascene/import/data_import.h"
#include "tessascene/import/table_import.h"
#include "tessascene/scene_text/table_placement.h"

namespace tessascene {

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "importer invariant broken: %s\n", what);
        std::abort();
    }
}

struct FuzzOptions {
    TableOptions table;
    int lineLoop = 0;
    bool keep = false;
    bool center = false;
    bool simplify = true;
};

FuzzOptions readOptions(const std::string& text) {
    FuzzOptions options;
    std::istringstream words(text);
    std::string word;
    while (words >> word) {
        if (word.rfind("columns=", 0) == 0) {
            std::stringstream list(word.substr(8));
            std::string item;
            options.table.columns.clear();
            while (std::getline(list, item, ',') && options.table.columns.size() < 4) {
                options.table.columns.push_back(item);
            }
            if (options.table.columns.size() != 4) {
                options.table.columns.clear();
            }
        } else if (word.rfind("array=", 0) == 0) {
            options.table.array = word.substr(6);
        } else if (word.rfind("group=", 0) == 0) {
            options.table.group = word.substr(6);
        } else if (word == "loop=1" || word == "loop=3") {
            options.lineLoop = word[5] - '0';
        } else {
            options.keep = options.keep || word == "keep";
            options.center = options.center || word == "center";
            options.simplify = options.simplify && word != "nosimplify";
        }
    }
    return options;
}

// Every point lies within the reported distance of the segment between the kept points around
// it, the kept points run in order from the first point to the last, and they fit the capacity.
void checkSimplification(const PointTable& table, int lineLoop) {
    const FigureCapacity small{6, 5};
    std::vector<std::vector<std::size_t>> kept;
    double largest = 0.0;
    std::string error;
    if (!choosePoints(table.paths, lineLoop, small, kept, largest, error)) {
        check(table.paths.size() > 5, "choosePoints failed with few enough paths");
        return;
    }
    check(std::isfinite(largest) && largest >= 0.0, "the largest distance is not a distance");
    std::size_t pieces = 0;
    for (std::size_t p = 0; p < table.paths.size(); ++p) {
        const auto& path = table.paths[p];
        const auto& indices = kept[p];
        check(!indices.empty() && indices.front() == 0 && indices.back() == path.size() - 1,
              "a path lost an end point");
        pieces += indices.size() <= 2 ? 1 : (indices.size() - 2) / 5 + 1;
        if (lineLoop == kLineLoopClosed) {
            check(indices.size() <= 6, "a closed path does not fit one polyline");
        }
        for (std::size_t j = 1; j < indices.size(); ++j) {
            check(indices[j - 1] < indices[j], "kept points out of order");
            for (std::size_t i = indices[j - 1] + 1; i < indices[j]; ++i) {
                const double d = distanceToSegment(path[i], path[indices[j - 1]], path[indices[j]]);
                check(d <= largest * (1 + 1e-12), "a point lies beyond the reported distance");
            }
        }
    }
    if (lineLoop == kLineLoopOpen) {
        check(pieces <= 5, "the kept points need more polylines than the capacity");
    }
}

void runTable(const PointTable& table, const FuzzOptions& options) {
    std::size_t points = 0;
    std::vector<Vertex4> data;
    for (const auto& path : table.paths) {
        check(!path.empty(), "an empty path");
        points += path.size();
        for (const Vertex4& v : path) {
            for (double c : v) {
                check(std::isfinite(c) && std::fabs(c) <= kMaxTableValue,
                      "a coordinate out of range");
            }
            data.push_back(v);
        }
    }
    check(points == table.points && points > 0, "the point count is wrong");
    std::sort(data.begin(), data.end());
    if (options.lineLoop != kLineLoopPoints) {
        checkSimplification(table, options.lineLoop);
    }

    SceneFigure figure;
    figure.lineLoop = options.lineLoop;
    FitReport report;
    std::string error;
    if (!fitPaths(table.paths, options.lineLoop, FigureCapacity{}, options.simplify,
                  figure.polylines, report, error)) {
        check(!error.empty(), "a failure without a message");
        return;
    }
    check(figure.polylines.size() <= kMaxPolylines, "too many polylines");
    check(report.pointsIn == points, "the report's point count is wrong");
    check(report.simplified || report.verticesKept == points, "points lost without simplifying");
    for (const auto& polyline : figure.polylines) {
        check(!polyline.empty() && polyline.size() <= kMaxVertices, "a polyline's size is wrong");
        for (const Vertex4& v : polyline) {
            check(std::binary_search(data.begin(), data.end(), v),
                  "a vertex that is no data point");
        }
    }

    // The tool's own placement: what it accepts can be written, and what it refuses is a
    // coordinate that would not fit, named with its place.
    SceneParameters placing;
    placing.lineLoop = options.lineLoop;
    placing.center = options.center;
    placing.noSimplify = !options.simplify;
    SceneFigure placed;
    placed.lineLoop = options.lineLoop;
    if (!placeTable(table, placing, options.keep ? 0.0 : 2.0, "fuzz", placed, report, error)) {
        check(error.find(": a coordinate is ") != std::string::npos,
              "placement refused a table without naming a coordinate");
        return;
    }
    std::string text;
    check(figureFileText(placed, text, error), "a placed table cannot be written");
}

void runFigure(EdgeGraph& graph, const FuzzOptions& options) {
    if (options.center) {
        BoundingBox4 box;
        for (const Vertex4& v : graph.vertices) {
            box.add(v);
        }
        shiftPoints(graph.vertices, box.centre());
    }
    if (!options.keep) {
        scaleToCircumradius(graph, 2.0);
    }
    std::vector<std::vector<int>> layout;
    std::string error;
    if (!layoutPolylines(graph, options.lineLoop, FigureCapacity{}, layout, error)) {
        return;
    }
    check(layout.size() <= kMaxPolylines, "too many polylines in a layout");
    SceneFigure figure;
    figure.lineLoop = options.lineLoop;
    for (const auto& indices : layout) {
        check(!indices.empty() && indices.size() <= kMaxVertices, "a laid-out polyline's size");
        figure.polylines.emplace_back();
        for (int v : indices) {
            check(v >= 0 && static_cast<std::size_t>(v) < graph.vertices.size(), "bad index");
            figure.polylines.back().push_back(graph.vertices[v]);
        }
    }
    std::string text;
    figureFileText(figure, text, error);  // may refuse coordinates beyond the float range
}

}  // namespace

// Imports one fuzz input as the tool imports a file, and checks what comes of it.
void fuzzImport(const uint8_t* data, size_t size) {
    const std::string_view whole(reinterpret_cast<const char*>(data), size);
    const bool binary = whole.rfind("\x93NUMPY", 0) == 0 || whole.rfind("PK", 0) == 0 ||
                        whole.rfind("\x1f\x8b", 0) == 0;
    auto [fileText, optionText] = splitAtFirstNul(data, size);
    if (binary) {
        fileText.assign(whole);
        optionText.clear();
    }
    const FuzzOptions options = readOptions(optionText);
    std::string error;
    const std::unique_ptr<Input> input =
        inputOf(memorySource(fileText), memoryAccess(fileText), error);
    if (input == nullptr) {
        return;
    }

    EdgeGraph graph;
    PointTable table;
    bool isTable = false;
    if (importInput(*input, "input", options.table, graph, table, isTable, error)) {
        if (isTable) {
            check(!table.description.empty(), "a table without a description");
            runTable(table, options);
        } else {
            runFigure(graph, options);
        }
    } else {
        check(error.rfind("input", 0) == 0, "an error does not name the file");
    }
}

}  // namespace tessascene

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tessascene::fuzzImport(data, size);
    return 0;
}
