#include "tessascene/scene_text/scenes.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "tessascene/cut/slice.h"
#include "tessascene/figures/generators.h"
#include "tessascene/figures/numbers.h"
#include "tessascene/figures/trails.h"
#include "tessascene/import/data_import.h"
#include "tessascene/scene_text/figure_placement.h"
#include "tessascene/scene_text/table_placement.h"

namespace tessascene {

namespace {

// What an import is made into unless the parameters say otherwise.
constexpr double kImportSize = 2.0;
const std::array<double, 3> kImportColour = {0.2, 0.2, 0.7};

const char kAxes[] = "xyzq";

// The figure file's contents: the polylines of source as a figure with its line-loop mode and
// colour.
SceneFigure sceneFigure(int lineLoop, const std::array<double, 3>& colour) {
    SceneFigure figure;
    figure.lineLoop = lineLoop;
    figure.colour = colour;
    return figure;
}

// What the cut's value is called in messages: "q", or "N.P" for a general hyperplane.
std::string measure(const SliceOptions& slice) {
    return slice.axis >= 0 ? std::string(1, kAxes[slice.axis]) : std::string("N.P");
}

// "q = 0", or "N.P = 0.5 (N = 1,1,0,0)".
std::string planeText(const SliceOptions& slice, double offset) {
    std::string text = measure(slice) + " = " + numberText(offset);
    if (slice.axis < 0) {
        const Vertex4& n = slice.plane.normal;
        text += " (N = " + numberText(n[0]) + "," + numberText(n[1]) + "," + numberText(n[2]) +
                "," + numberText(n[3]) + ")";
    }
    return text;
}

// The scene texts of the cut of figure by plane; cut receives the cut, lineLoop how it is drawn
// (as points when it has no edges), polylines how many polylines it took and written what the
// figure file holds.
bool cutScene(const EdgeGraph& figure, const Hyperplane& plane, const SceneParameters& parameters,
              const std::array<double, 3>& colour, SceneTexts& texts, EdgeGraph& cut, int& lineLoop,
              std::size_t& polylines, WrittenFigure& written, std::string& error) {
    cut = cutFigure(figure, plane);
    lineLoop = cut.edges.empty() ? kLineLoopPoints : parameters.lineLoop;
    std::vector<std::vector<int>> layout;
    if (!cut.vertices.empty() && !layoutPolylines(cut, lineLoop, FigureCapacity{}, layout, error)) {
        return false;
    }
    SceneFigure scene = sceneFigure(lineLoop, colour);
    scene.polylines = polylinesOf(cut, layout);
    polylines = layout.size();
    written = countWritten(scene);
    return figureFileText(scene, texts.figure, error) &&
           affineFileText(affinesFor(parameters), texts.affine, error);
}

}  // namespace

bool generatedSource(const std::string& request, SceneSource& source, std::string& error) {
    GeneratedFigure generated;
    if (!generateFigure(request, generated, error)) {
        return false;
    }
    source = SceneSource{};
    source.graph = std::move(generated.graph);
    source.size = generated.size;
    source.colour = generated.colour;
    return true;
}

bool importedSource(Input& input, const std::string& name, const TableOptions& options,
                    SceneSource& source, std::string& error) {
    source = SceneSource{};
    source.name = name;
    source.size = kImportSize;
    source.colour = kImportColour;
    return importInput(input, name, options, source.graph, source.table, source.isTable, error);
}

std::string readNote(const SceneSource& source) {
    if (!source.isTable) {
        return "";
    }
    return "Read " + source.name + ": " + std::to_string(source.table.points) + " data points, " +
           source.table.description;
}

bool makeScene(SceneSource& source, const SceneParameters& parameters,
               std::vector<std::string>& notes, MadeScene& scene, std::string& error) {
    const double size = parameters.size.value_or(source.size);
    SceneFigure figure =
        sceneFigure(parameters.lineLoop, parameters.colour.value_or(source.colour));
    if (source.isTable) {
        FitReport fitted;
        if (!placeTable(source.table, parameters, size, source.name, figure, fitted, error)) {
            return false;
        }
        if (fitted.simplified) {
            notes.push_back(simplifiedNote(fitted, source.table));
        }
        scene.summary = tableSummary(source.table.points, figure);
    } else {
        placeGraph(source.graph, parameters.center, size);
        std::vector<std::vector<int>> layout;
        if (!layoutGraph(source.graph, parameters.lineLoop, size, source.name, layout, error)) {
            return false;
        }
        figure.polylines = polylinesOf(source.graph, layout);
        scene.summary =
            graphSummary(source.graph, countWritten(figure), layout.size(), parameters.lineLoop);
    }
    return figureFileText(figure, scene.texts.figure, error) &&
           affineFileText(affinesFor(parameters), scene.texts.affine, error);
}

bool makeCuts(SceneSource& source, const SceneParameters& parameters, MadeCuts& cuts,
              std::string& error) {
    return placeForCuts(source, parameters, error) && cutPlaced(source, parameters, cuts, error);
}

bool placeForCuts(SceneSource& source, const SceneParameters& parameters, std::string& error) {
    const double size = parameters.size.value_or(source.size);
    EdgeGraph& figure = source.graph;
    if (source.isTable) {
        figure = graphFromPaths(source.table.paths, parameters.lineLoop == kLineLoopClosed);
        shiftPoints(figure.vertices, tableShift(source.table, parameters.center, size));
        placeGraph(figure, false, size);
    } else {
        placeGraph(figure, parameters.center, size);
    }
    if (figure.vertices.empty()) {
        error = "the figure has no vertices to cut";
        return false;
    }
    return true;
}

bool cutPlaced(const SceneSource& placed, const SceneParameters& parameters, MadeCuts& cuts,
               std::string& error) {
    const EdgeGraph& figure = placed.graph;
    const std::array<double, 3> colour = parameters.colour.value_or(placed.colour);
    const SliceOptions& slice = parameters.slice;
    const Extent extent = extentAlong(figure, slice.plane.normal);
    const double tolerance = onPlaneTolerance(figure, slice.plane.normal);
    const std::string range = "its " + measure(slice) + " runs from " + numberText(extent.low) +
                              " to " + numberText(extent.high);
    EdgeGraph cut;
    int lineLoop = 0;
    std::size_t polylines = 0;
    WrittenFigure written;
    cuts = MadeCuts{};

    if (slice.sweep == 0) {
        const double offset = slice.plane.offset;
        if (offset < extent.low - tolerance || offset > extent.high + tolerance) {
            error = planeText(slice, offset) + " does not meet the figure; " + range;
            return false;
        }
        cuts.scenes.resize(1);
        if (!cutScene(figure, slice.plane, parameters, colour, cuts.scenes[0], cut, lineLoop,
                      polylines, written, error)) {
            error = "the cut at " + planeText(slice, offset) + ": " + error;
            return false;
        }
        if (cut.vertices.empty()) {
            error = planeText(slice, offset) + " meets no edge or vertex of the figure; " + range;
            return false;
        }
        cuts.summary = "the cut at " + planeText(slice, offset) + ", " +
                       counted(written.vertices, "vertex", "vertices") + ", " +
                       counted(written.edges, "edge", "edges") + ", " +
                       counted(polylines, "polyline", "polylines") + " (line-loop " +
                       std::to_string(lineLoop) + ")";
        return true;
    }

    if (!(extent.high - extent.low > tolerance)) {
        error = "the figure is flat across the sweep: " + range + "; choose another direction";
        return false;
    }
    cuts.sweep = true;
    cuts.scenes.resize(static_cast<std::size_t>(slice.sweep));
    Hyperplane plane = slice.plane;
    for (int k = 0; k < slice.sweep; ++k) {
        // Evenly spaced strictly inside the extent: the ends are left out.
        plane.offset = extent.low + (extent.high - extent.low) * (k + 1) / (slice.sweep + 1);
        if (!cutScene(figure, plane, parameters, colour, cuts.scenes[k], cut, lineLoop, polylines,
                      written, error)) {
            error = "cut " + sweepFolderName(k) + " at " + planeText(slice, plane.offset) + ": " +
                    error;
            return false;
        }
        cuts.largest = std::max(cuts.largest, written.vertices);
    }
    const double step = (extent.high - extent.low) / (slice.sweep + 1);
    cuts.summary = counted(cuts.scenes.size(), "cut", "cuts") + " at " + measure(slice) + " from " +
                   numberText(extent.low + step) + " to " + numberText(extent.high - step);
    return true;
}

std::string sweepFolderName(int index) {
    char name[16];  // room for any int
    std::snprintf(name, sizeof name, "%03d", index);
    return name;
}

std::string simplifiedNote(const FitReport& report, const PointTable& table) {
    const double diagonal = table.box.diagonal();
    const double percent = diagonal > 0.0 ? 100.0 * report.largestDistance / diagonal : 0.0;
    return "Simplified " + std::to_string(report.pointsIn) + " points to " +
           std::to_string(report.verticesKept) + " vertices: every point lies within " +
           numberText(report.largestDistance) + " of the drawn line (" + numberText(percent) +
           "% of the diagonal of the data's bounding box, " + numberText(diagonal) + ")";
}

std::string graphSummary(const EdgeGraph& graph, const WrittenFigure& written,
                         std::size_t polylines, int lineLoop) {
    std::size_t isolated = graph.vertices.size();
    std::vector<char> touched(graph.vertices.size(), 0);
    for (const auto& e : graph.edges) {
        isolated -= (touched[e.first] == 0 ? 1 : 0) + (touched[e.second] == 0 ? 1 : 0);
        touched[e.first] = touched[e.second] = 1;
    }
    std::string summary = std::to_string(written.vertices) + " vertices, " +
                          std::to_string(written.edges) + " edges, " +
                          counted(polylines, "polyline", "polylines") + " (line-loop " +
                          std::to_string(lineLoop) + ")";
    if (lineLoop != kLineLoopPoints && isolated > 0) {
        summary += "; " + std::to_string(isolated) + " vertices without edges left out";
    }
    return summary;
}

std::string tableSummary(std::size_t points, const SceneFigure& figure) {
    std::size_t vertices = 0;
    for (const auto& polyline : figure.polylines) {
        vertices += polyline.size();
    }
    return std::to_string(points) + " data points, " + std::to_string(vertices) + " vertices in " +
           counted(figure.polylines.size(), "polyline", "polylines") + " (line-loop " +
           std::to_string(figure.lineLoop) + ")";
}

std::string counted(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace tessascene
