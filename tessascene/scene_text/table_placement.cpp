#include "tessascene/scene_text/table_placement.h"

#include <algorithm>
#include <cmath>

#include "tessascene/figures/polytopes.h"
#include "tessascene/scene_text/figure_placement.h"

namespace tessascene {

namespace {

// Checks every data point as placement moves it (shift subtracted, then scaled from
// circumradius current to size when size > 0) against what the figure file can hold, whose
// largest written coordinate is largest.
bool checkPlacedPoints(const PointTable& table, const Vertex4& shift, double current, double size,
                       double largest, const std::string& file, std::string& error) {
    const bool scaled = size > 0.0 && current != 0.0 && std::isfinite(current);
    const auto placed = [&](double c, int axis) {
        const double moved = c - shift[axis];
        return scaled ? scaledCoordinate(moved, current, size) : moved;
    };
    for (std::size_t path = 0; path < table.paths.size(); ++path) {
        for (std::size_t index = 0; index < table.paths[path].size(); ++index) {
            for (int i = 0; i < 4; ++i) {
                const double c = placed(table.paths[path][index][i], i);
                if (writableCoordinate(c, largest)) {
                    continue;
                }
                const long line = pointLine(table, path, index);
                error = importedCoordinateProblem(
                    file + (line > 0 ? ":" + std::to_string(line) : ""), c, size);
                return false;
            }
        }
    }
    return true;
}

}  // namespace

Vertex4 tableShift(const PointTable& table, bool center, double size) {
    return center || size > 0.0 ? table.box.centre() : Vertex4{0.0, 0.0, 0.0, 0.0};
}

bool placeTable(const PointTable& table, const SceneParameters& parameters, double size,
                const std::string& name, SceneFigure& figure, FitReport& report,
                std::string& error) {
    if (!fitPaths(table.paths, parameters.lineLoop, FigureCapacity{}, !parameters.noSimplify,
                  figure.polylines, report, error)) {
        error = name + ": " + error;
        return false;
    }
    // One list of all vertices, so that the figure's own scaling applies.
    EdgeGraph all;
    for (const auto& polyline : figure.polylines) {
        all.vertices.insert(all.vertices.end(), polyline.begin(), polyline.end());
    }
    const Vertex4 shift = tableShift(table, parameters.center, size);
    shiftPoints(all.vertices, shift);
    const double current = circumradius(all);
    if (size > 0.0) {
        scaleToCircumradius(all, size);
    }
    if (!checkPlacedPoints(table, shift, current, size, largestMagnitude(all.vertices), name,
                           error)) {
        return false;
    }
    std::size_t next = 0;
    for (auto& polyline : figure.polylines) {
        for (Vertex4& v : polyline) {
            v = all.vertices[next++];
        }
    }
    return true;
}

EdgeGraph graphFromPaths(const std::vector<std::vector<Vertex4>>& paths, bool closed) {
    EdgeGraph graph;
    for (const std::vector<Vertex4>& path : paths) {
        const int first = static_cast<int>(graph.vertices.size());
        for (const Vertex4& p : path) {
            const int v = graph.addVertex(p[0], p[1], p[2], p[3]);
            if (v > first) {
                graph.edges.emplace_back(v - 1, v);  // new vertices: never a repeated edge
            }
        }
        const int last = static_cast<int>(graph.vertices.size()) - 1;
        if (closed && last - first >= 2) {
            graph.edges.emplace_back(first, last);
        }
    }
    return graph;
}

}  // namespace tessascene
