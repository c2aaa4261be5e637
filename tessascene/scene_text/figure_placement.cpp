#include "tessascene/scene_text/figure_placement.h"

#include <algorithm>
#include <cmath>

#include "tessascene/figures/geometry.h"
#include "tessascene/figures/numbers.h"
#include "tessascene/figures/polytopes.h"
#include "tessascene/figures/trails.h"
#include "tessascene/scene_text/scene_writer.h"

namespace tessascene {

namespace {

// ", beyond the range" or ", below the normal range", of a 32-bit float.
std::string rangeSide(double c) {
    return fitsFloat(c) ? ", below the normal range" : ", beyond the range";
}

}  // namespace

void placeGraph(EdgeGraph& graph, bool centre, double size) {
    if (centre) {
        BoundingBox4 box;
        for (const Vertex4& v : graph.vertices) {
            box.add(v);
        }
        shiftPoints(graph.vertices, box.centre());
    }
    if (size > 0.0) {
        scaleToCircumradius(graph, size);
    }
}

std::string importedCoordinateProblem(const std::string& where, double c, double size) {
    return where + ": a coordinate is " + numberText(c) + (size > 0.0 ? " after scaling" : "") +
           rangeSide(c) + " of a 32-bit float; " +
           (size > 0.0 ? "choose another --size" : "scale it with --size");
}

bool layoutGraph(const EdgeGraph& graph, int lineLoop, double size, const std::string& name,
                 std::vector<std::vector<int>>& layout, std::string& error) {
    if (!layoutPolylines(graph, lineLoop, FigureCapacity{}, layout, error)) {
        return false;
    }
    double largest = 0.0;
    for (const std::vector<int>& indices : layout) {
        for (int v : indices) {
            for (double c : graph.vertices[v]) {
                largest = std::max(largest, std::fabs(c));
            }
        }
    }
    for (const std::vector<int>& indices : layout) {
        for (int v : indices) {
            for (double c : graph.vertices[v]) {
                if (writableCoordinate(c, largest)) {
                    continue;
                }
                if (!graph.vertexLines.empty()) {
                    error = importedCoordinateProblem(
                        name + ":" + std::to_string(graph.vertexLines[v]), c, size);
                } else {
                    error = "--size " + formatFloat(size) + " makes a coordinate " + numberText(c) +
                            rangeSide(c) + " of a 32-bit float; choose a larger --size";
                }
                return false;
            }
        }
    }
    return true;
}

std::vector<std::vector<Vertex4>> polylinesOf(const EdgeGraph& graph,
                                              const std::vector<std::vector<int>>& layout) {
    std::vector<std::vector<Vertex4>> polylines;
    for (const std::vector<int>& indices : layout) {
        polylines.emplace_back();
        for (int v : indices) {
            polylines.back().push_back(graph.vertices[v]);
        }
    }
    return polylines;
}

}  // namespace tessascene
