#include "tessascene/scene_text/views.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <map>

#include "tessascene/figures/geometry.h"
#include "tessascene/figures/numbers.h"
#include "tessascene/figures/projection4d.h"
#include "tessascene/figures/simplify.h"
#include "tessascene/figures/trails.h"
#include "tessascene/scene_text/figure_placement.h"
#include "tessascene/scene_text/table_placement.h"

namespace tessascene {

namespace {

// Vertices of the view that land on the written point of an earlier vertex, and edges whose
// two ends land on one point: what the viewer would show as less than the figure has.
struct Coincidences {
    std::size_t vertices = 0;
    std::size_t edges = 0;
};

Coincidences coincidences(const EdgeGraph& view) {
    // Each vertex as the figure file writes it: x, y and z as floats (q is 0).
    std::map<std::array<float, 3>, std::size_t> first;  // the first vertex written at each point
    std::vector<std::size_t> pointOf(view.vertices.size());
    Coincidences found;
    for (std::size_t v = 0; v < view.vertices.size(); ++v) {
        const Vertex4& p = view.vertices[v];
        const auto [at, added] = first.emplace(
            std::array<float, 3>{writtenFloat(p[0]), writtenFloat(p[1]), writtenFloat(p[2])}, v);
        pointOf[v] = at->second;
        found.vertices += added ? 0 : 1;
    }
    for (const auto& [a, b] : view.edges) {
        found.edges += pointOf[a] == pointOf[b] ? 1 : 0;
    }
    return found;
}

// "warning: N vertices land on the point of another one in the view (why)", with the edges that
// shrink to a point; "" when no vertex does.
std::string coincidenceWarning(const Coincidences& found, const char* why) {
    if (found.vertices == 0) {
        return "";
    }
    std::string warning = "warning: " + std::to_string(found.vertices) +
                          (found.vertices == 1 ? " vertex lands" : " vertices land") +
                          " on the point of another one in the view (" + why + ")";
    if (found.edges > 0) {
        warning += ", and " + std::to_string(found.edges) +
                   (found.edges == 1 ? " edge shrinks" : " edges shrink") + " to a point";
    }
    return warning;
}

// The error of preparing a stereographic view, with the input's name and the line of the
// vertex it names when the figure was read from a file.
std::string withPlace(const std::string& error, const EdgeGraph& graph, int vertex,
                      const std::string& name) {
    if (vertex < 0 || static_cast<std::size_t>(vertex) >= graph.vertexLines.size()) {
        return error;
    }
    return name + ":" + std::to_string(graph.vertexLines[vertex]) + ": " + error;
}

// The line that says how the stereographic view was made.
std::string stereographicNote(const StereographicView& view, const std::vector<int>& pieces) {
    std::size_t total = 0;
    int most = 0;
    for (int p : pieces) {
        total += static_cast<std::size_t>(p);
        most = std::max(most, p);
    }
    std::string note = "Stereographic projection from the pole (0, 0, 0, " +
                       numberText(view.radius) + "): " + std::to_string(view.arcs.size()) +
                       " edges as arcs of " + std::to_string(total) + " segments in all (at most " +
                       std::to_string(most) + " each)";
    if (view.turnDegrees != 0) {
        char clearance[32];
        std::snprintf(clearance, sizeof clearance, "%.3g", view.clearanceDegrees);
        note += "; the figure was first turned " + std::to_string(view.turnDegrees) +
                " degrees in the " + view.turnPlane + " plane, so that the pole keeps " +
                clearance + " degrees from it";
    }
    return note;
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
bool stereographicView(const EdgeGraph& graph, int lineLoop, const std::string& name,
                       EdgeGraph& view, std::string& note, std::string& error) {
    StereographicView prepared;
    if (!prepareStereographic(graph, prepared, error)) {
        error = withPlace(error, graph, prepared.problemVertex, name);
        return false;
    }
    const FigureCapacity capacity;
    const std::size_t arcs = prepared.arcs.size();
    const std::size_t perPolyline =
        static_cast<std::size_t>(capacity.vertices) - (lineLoop == kLineLoopClosed ? 0 : 1);
    std::size_t budget =
        lineLoop == kLineLoopPoints ? arcs : std::max(arcs, perPolyline * capacity.polylines);
    std::vector<int> pieces;
    const auto needed = [&](std::size_t tried) {
        pieces = shareArcPieces(prepared, tried);
        view = stereographicFigure(prepared, pieces);
        return tried == arcs ? 0 : polylinesNeeded(view, lineLoop, capacity);
    };
    const std::size_t most = static_cast<std::size_t>(capacity.polylines);
    if (std::size_t count = needed(budget); count > most) {
        if (lineLoop == kLineLoopOpen) {
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
    note = stereographicNote(prepared, pieces);
    return true;
}

// The view of the placed points as parameters.project asks, every vertex on its own: the
// perspective, or the stereographic image of each vertex with every edge one segment.
bool pointView(const EdgeGraph& points, const ProjectOptions& project, EdgeGraph& view,
               std::string& error) {
    if (project.perspective) {
        return projectPerspective(points, project.eye, view, error);
    }
    StereographicView prepared;
    if (!prepareStereographic(points, prepared, error)) {
        return false;
    }
    view = stereographicFigure(prepared, std::vector<int>(prepared.arcs.size(), 1));
    return true;
}

// A point table: its points placed, projected one by one, scaled and fitted as makeScene fits a
// table.
bool tableView(const SceneSource& source, const SceneParameters& parameters, double size,
               SceneFigure& figure, std::vector<std::string>& notes, std::string& error) {
    const PointTable& table = source.table;
    EdgeGraph points = graphFromPaths(table.paths, false);
    shiftPoints(points.vertices, tableShift(table, parameters.center, size));
    placeGraph(points, false, size);
    EdgeGraph view;
    if (!pointView(points, parameters.project, view, error)) {
        error = source.name + ": " + error;
        return false;
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
    FitReport fitted;
    if (!fitPaths(projected.paths, parameters.lineLoop, FigureCapacity{}, !parameters.noSimplify,
                  figure.polylines, fitted, error)) {
        error = source.name + ": " + error;
        return false;
    }
    if (fitted.simplified) {
        notes.push_back(simplifiedNote(fitted, projected));
    }
    return true;
}

}  // namespace

bool makeView(SceneSource& source, const SceneParameters& parameters,
              std::vector<std::string>& notes, MadeScene& scene, std::string& error) {
    const double size = parameters.size.value_or(source.size);
    SceneFigure figure{parameters.lineLoop, parameters.colour.value_or(source.colour), {}};
    SceneParameters shaping = parameters;
    if (!shaping.spins) {
        shaping.spins = std::vector<PlaneTurn>{{1, 15.0}};  // xz
    }
    if (source.isTable) {
        if (!tableView(source, parameters, size, figure, notes, error)) {
            return false;
        }
        scene.summary = tableSummary(source.table.points, figure);
    } else {
        EdgeGraph& graph = source.graph;
        placeGraph(graph, parameters.center, size);
        if (graph.vertices.empty()) {
            error = "the figure has no vertices to project";
            return false;
        }
        const ProjectOptions& project = parameters.project;
        EdgeGraph view;
        std::string note;
        if (project.perspective) {
            if (!projectPerspective(graph, project.eye, view, error)) {
                return false;
            }
            note = "Perspective from the eye at (0, 0, 0, " + numberText(project.eye) + ")";
        } else if (!stereographicView(graph, parameters.lineLoop, source.name, view, note, error)) {
            return false;
        }
        placeGraph(view, false, size);
        if (source.name.empty()) {
            clearRoundingNoise(view.vertices);  // as a generated figure's is cleared
        }
        notes.push_back(note);
        std::vector<std::vector<int>> layout;
        if (!layoutGraph(view, parameters.lineLoop, size, source.name, layout, error)) {
            return false;
        }
        scene.warning = coincidenceWarning(
            coincidences(view), project.perspective ? "they lie on one line through the eye"
                                                    : "they lie on one ray from the centre");
        figure.polylines = polylinesOf(view, layout);
        scene.summary =
            graphSummary(view, countWritten(figure), layout.size(), parameters.lineLoop);
    }
    return figureFileText(figure, scene.texts.figure, error) &&
           affineFileText(affinesFor(shaping), scene.texts.affine, error);
}

}  // namespace tessascene
