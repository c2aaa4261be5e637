#include "tessascene/project_command.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "tessascene/figure_output.h"
#include "tessascene/polytopes.h"
#include "tessascene/projection4d.h"
#include "tessascene/report.h"
#include "tessascene/simplify.h"
#include "tessascene/slice_command.h"
#include "tessascene/trails.h"
#include "toolkit/shown_name.h"

namespace {

std::string shown(double v, int digits = 6) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*g", digits, v);
    return text;
}

// Vertices of the view that land on the written point of an earlier vertex, and edges whose
// two ends land on one point: what the viewer would show as less than the figure has.
struct Coincidences {
    std::size_t vertices = 0;
    std::size_t edges = 0;
};

Coincidences coincidences(const EdgeGraph& view) {
    // The text each vertex is written as (x, y and z; q is 0), with the figure text's rule that
    // a coordinate 1e-9 of the largest one is 0. Six significant digits write two coordinates
    // alike only when they differ by less than 1e-5 of the larger, so only vertices that close
    // in x (in order of x), y and z are compared by their text.
    const double negligible = largestMagnitude(view.vertices) * 1e-9;
    const double close = 1e5 * negligible + negligible;
    const std::size_t n = view.vertices.size();
    std::vector<std::string> texts(n);
    const auto text = [&](std::size_t v) -> const std::string& {
        if (texts[v].empty()) {
            for (int c = 0; c < 3; ++c) {
                const double x = view.vertices[v][c];
                texts[v] += formatFloat(std::fabs(x) <= negligible ? 0.0 : x) + " ";
            }
        }
        return texts[v];
    };
    std::vector<std::size_t> order(n), pointOf(n);
    for (std::size_t v = 0; v < n; ++v) {
        order[v] = pointOf[v] = v;
    }
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return view.vertices[a][0] < view.vertices[b][0];
    });
    Coincidences found;
    for (std::size_t i = 0; i < n; ++i) {
        const Vertex4& p = view.vertices[order[i]];
        for (std::size_t j = i + 1; j < n && view.vertices[order[j]][0] - p[0] <= close; ++j) {
            const std::size_t w = order[j];
            const Vertex4& o = view.vertices[w];
            if (pointOf[w] == w && std::fabs(o[1] - p[1]) <= close &&
                std::fabs(o[2] - p[2]) <= close && text(w) == text(order[i])) {
                pointOf[w] = pointOf[order[i]];
                ++found.vertices;
            }
        }
    }
    for (const auto& [a, b] : view.edges) {
        found.edges += pointOf[a] == pointOf[b] ? 1 : 0;
    }
    return found;
}

void warnCoincidences(const Coincidences& found, const char* why) {
    if (found.vertices > 0) {
        std::cerr << "tessascene: warning: " << found.vertices
                  << (found.vertices == 1 ? " vertex lands" : " vertices land")
                  << " on the point of another one in the view (" << why << ")";
        if (found.edges > 0) {
            std::cerr << ", and " << found.edges
                      << (found.edges == 1 ? " edge shrinks" : " edges shrink") << " to a point";
        }
        std::cerr << "\n";
    }
}

// The error of preparing a stereographic view, with the file and line of the vertex it names
// when the figure was read from a file.
std::string withPlace(const std::string& error, const EdgeGraph& graph, int vertex,
                      const Options& options) {
    if (vertex < 0 || static_cast<std::size_t>(vertex) >= graph.vertexLines.size()) {
        return error;
    }
    return shownName(options.operand) + ":" + std::to_string(graph.vertexLines[vertex]) + ": " +
           error;
}

// The line that says how the view was made.
void reportStereographic(const StereographicView& view, const std::vector<int>& pieces) {
    std::size_t total = 0;
    int most = 0;
    for (int p : pieces) {
        total += static_cast<std::size_t>(p);
        most = std::max(most, p);
    }
    std::cout << "Stereographic projection from the pole (0, 0, 0, " << shown(view.radius)
              << "): " << view.arcs.size() << " edges as arcs of " << total
              << " segments in all (at most " << most << " each)";
    if (view.turnDegrees != 0) {
        std::cout << "; the figure was first turned " << view.turnDegrees << " degrees in the "
                  << view.turnPlane << " plane, so that the pole keeps "
                  << shown(view.clearanceDegrees, 3) << " degrees from it";
    }
    std::cout << "\n";
}

// The polylines the view takes in its layout; for closed loops that cannot be cut to fit
// (arcs longer than a loop between two passes of a vertex), more than the capacity.
std::size_t polylinesNeeded(const EdgeGraph& view, int lineLoop, const FigureCapacity& capacity) {
    if (lineLoop == kLineLoopOpen) {
        return openPolylinesNeeded(view, capacity);
    }
    std::vector<std::vector<int>> layout;
    std::string unused;
    return layoutPolylines(view, lineLoop, {capacity.vertices, INT_MAX}, layout, unused)
               ? layout.size()
               : static_cast<std::size_t>(capacity.polylines) + 1;
}

// The stereographic view of the placed graph, its arcs as finely as the figure file allows:
// the segments are shared out for the capacity's edges, and fewer when the view then needs too
// many polylines: open, in proportion to the overshoot until it fits; closed, the most that fit
// by bisection. With one segment an arc, the final layout fits the view or says why not.
bool stereographicView(const EdgeGraph& graph, const Options& options, double size, EdgeGraph& view,
                       std::string& error) {
    StereographicView prepared;
    if (!prepareStereographic(graph, prepared, error)) {
        error = withPlace(error, graph, prepared.problemVertex, options);
        return false;
    }
    const FigureCapacity capacity;
    const std::size_t arcs = prepared.arcs.size();
    const std::size_t perPolyline =
        static_cast<std::size_t>(capacity.vertices) - (options.lineLoop == kLineLoopClosed ? 0 : 1);
    std::size_t budget = options.lineLoop == kLineLoopPoints
                             ? arcs
                             : std::max(arcs, perPolyline * capacity.polylines);
    std::vector<int> pieces;
    const auto needed = [&](std::size_t tried) {
        pieces = shareArcPieces(prepared, tried);
        view = stereographicFigure(prepared, pieces);
        return tried == arcs ? 0 : polylinesNeeded(view, options.lineLoop, capacity);
    };
    const std::size_t most = static_cast<std::size_t>(capacity.polylines);
    if (std::size_t count = needed(budget); count > most) {
        if (options.lineLoop == kLineLoopOpen) {
            for (; count > most; count = needed(budget)) {
                budget = std::max(arcs, std::min(budget * most / count, budget - 1));
            }
        } else {
            std::size_t fits = arcs, fails = budget;  // fits: known to fit or the last resort
            while (fails - fits > 1 + arcs / 100) {
                const std::size_t middle = fits + (fails - fits) / 2;
                (needed(middle) <= most ? fits : fails) = middle;
            }
            needed(fits);
        }
    }
    placeGraph(view, false, size);
    reportStereographic(prepared, pieces);
    return true;
}

// A point table: its points placed, projected one by one and fitted as import fits them.
int projectTable(const PointTable& table, const Options& options, double size,
                 const std::array<double, 3>& colour) {
    EdgeGraph points = graphFromPaths(table.paths, false);
    shiftPoints(points.vertices, tableShift(table, options, size));
    placeGraph(points, false, size);
    std::string error;
    EdgeGraph view;
    const ProjectOptions& project = options.project;
    if (project.perspective) {
        if (!projectPerspective(points, project.eye, view, error)) {
            return fail(kExitFailure, shownName(options.operand) + ": " + error);
        }
    } else {
        StereographicView prepared;
        if (!prepareStereographic(points, prepared, error)) {
            return fail(kExitFailure, shownName(options.operand) + ": " + error);
        }
        view = stereographicFigure(prepared, std::vector<int>(prepared.arcs.size(), 1));
    }
    placeGraph(view, false, size);
    PointTable projected;
    std::size_t next = 0;
    for (const std::vector<Vertex4>& path : table.paths) {
        projected.paths.emplace_back(view.vertices.begin() + next,
                                     view.vertices.begin() + next + path.size());
        next += path.size();
    }
    for (const Vertex4& p : view.vertices) {
        projected.box.add(p);
    }
    SceneFigure figure;
    figure.lineLoop = options.lineLoop;
    figure.colour = colour;
    FitReport fitted;
    if (!fitPaths(projected.paths, options.lineLoop, FigureCapacity{}, !options.noSimplify,
                  figure.polylines, fitted, error)) {
        return fail(kExitFailure, shownName(options.operand) + ": " + error);
    }
    if (fitted.simplified) {
        reportSimplified(fitted, projected);
    }
    if (!writeScene(figure, options, error)) {
        return fail(kExitFailure, error);
    }
    std::size_t vertices = 0;
    for (const auto& polyline : figure.polylines) {
        vertices += polyline.size();
    }
    reportTableWritten(options.output, table.points, vertices, figure.polylines.size(),
                       options.lineLoop);
    return kExitOk;
}

}  // namespace

int runProjectCommand(ImportedFigure& source, const Options& options, double size,
                      const std::array<double, 3>& colour) {
    if (source.isTable) {
        return projectTable(source.table, options, size, colour);
    }
    EdgeGraph& graph = source.graph;
    placeGraph(graph, options.center, size);
    if (graph.vertices.empty()) {
        return fail(kExitFailure, "the figure has no vertices to project");
    }
    std::string error;
    EdgeGraph view;
    if (options.project.perspective) {
        if (!projectPerspective(graph, options.project.eye, view, error)) {
            return fail(kExitFailure, error);
        }
        placeGraph(view, false, size);
        std::cout << "Perspective from the eye at (0, 0, 0, " << shown(options.project.eye)
                  << ")\n";
    } else if (!stereographicView(graph, options, size, view, error)) {
        return fail(kExitFailure, error);
    }
    std::vector<std::vector<int>> layout;
    if (!layoutGraph(view, options, size, layout, error)) {
        return fail(kExitFailure, error);
    }
    warnCoincidences(coincidences(view), options.project.perspective
                                             ? "they lie on one line through the eye"
                                             : "they lie on one ray from the centre");
    SceneFigure figure;
    figure.lineLoop = options.lineLoop;
    figure.colour = colour;
    for (const std::vector<int>& indices : layout) {
        figure.polylines.emplace_back();
        for (int v : indices) {
            figure.polylines.back().push_back(view.vertices[v]);
        }
    }
    if (!writeScene(figure, options, error)) {
        return fail(kExitFailure, error);
    }
    reportGraphWritten(options.output, view, layout.size(), options.lineLoop);
    return kExitOk;
}
