#include "tessascene/figure_output.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "tessascene/geometry.h"
#include "tessascene/polytopes.h"
#include "tessascene/report.h"
#include "tessascene/trails.h"
#include "toolkit/shown_name.h"

namespace {

// ", beyond the range" or ", below the normal range", of a 32-bit float.
std::string rangeSide(double c) {
    return fitsFloat(c) ? ", below the normal range" : ", beyond the range";
}

std::string shown(double c) {
    std::ostringstream out;
    out << c;
    return out.str();
}

}  // namespace

SceneAffines affinesFor(const Options& options) {
    SceneAffines affines;
    affines.projection = options.projection;
    if (options.scale) {
        affines.records.push_back({kTransformScale, {*options.scale, 1, 1, 1, 1}});
    }
    const auto turnRecord = [](int type, const PlaneTurn& turn) {
        AffineRecord record{type, {turn.degrees, 0, 0, 0, 0, 0, 0}};
        record.params[1 + turn.plane] = 1.0;
        return record;
    };
    for (const PlaneTurn& turn : options.rotations) {
        affines.records.push_back(turnRecord(kTransformRotate, turn));
    }
    for (const PlaneTurn& turn : options.spins) {
        affines.records.push_back(turnRecord(kTransformStepRotate, turn));
    }
    return affines;
}

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
    return where + ": a coordinate is " + shown(c) + (size > 0.0 ? " after scaling" : "") +
           rangeSide(c) + " of a 32-bit float; " +
           (size > 0.0 ? "choose another --size" : "scale it with --size");
}

bool layoutGraph(const EdgeGraph& graph, const Options& options, double size,
                 std::vector<std::vector<int>>& layout, std::string& error) {
    if (!layoutPolylines(graph, options.lineLoop, FigureCapacity{}, layout, error)) {
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
                        shownName(options.operand) + ":" + std::to_string(graph.vertexLines[v]), c,
                        size);
                } else {
                    error = "--size " + formatFloat(size) + " makes a coordinate " + shown(c) +
                            rangeSide(c) + " of a 32-bit float; choose a larger --size";
                }
                return false;
            }
        }
    }
    return true;
}

bool writeScene(const SceneFigure& figure, const Options& options, std::string& error) {
    std::string figureText, affineText, notice;
    SceneWrite how;
    how.replace = options.force;
    const bool written =
        figureFileText(figure, figureText, error) &&
        affineFileText(affinesFor(options), affineText, error) &&
        writeSceneFiles(options.output, figureText, affineText, how, notice, error);
    reportNotice(notice);
    return written;
}
