// Scenes from figures, without files: a generated or imported figure placed, laid out and turned
// into the text of the two scene files as the parameters ask, or cut by a hyperplane into one
// scene or a sweep of them, with the lines that tell the user what was made.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "tessascene/figures/edge_graph.h"
#include "tessascene/figures/simplify.h"
#include "tessascene/import/input_source.h"
#include "tessascene/import/table_import.h"
#include "tessascene/scene_text/scene_parameters.h"
#include "tessascene/scene_text/scene_writer.h"

namespace tessascene {

// A figure to make scenes of: generated, or imported as a figure of edges or a point table.
struct SceneSource {
    bool isTable = false;
    EdgeGraph graph;    // unless isTable
    PointTable table;   // if isTable
    std::string name;   // an imported input as messages show it; empty for a generated figure
    double size = 0.0;  // unless the parameters give one
    std::array<double, 3> colour = {1.0, 1.0, 1.0};  // unless the parameters give one
};

// The source of the figure a request NAME or NAME:A,B names (figures/generators.h); false with
// a usage error.
bool generatedSource(const std::string& request, SceneSource& source, std::string& error);

// The source input holds, as its content says (import/data_import.h); name is the input as
// messages show it. false with a one-line error naming it.
bool importedSource(Input& input, const std::string& name, const TableOptions& options,
                    SceneSource& source, std::string& error);

// "Read NAME: N data points, ..." for a point table; empty for a figure of edges.
std::string readNote(const SceneSource& source);

// One scene and what it holds, as the user reads it after "Wrote FILE and FILE: ".
struct MadeScene {
    SceneTexts texts;
    std::string summary;  // e.g. "16 vertices, 32 edges, 1 polyline (line-loop 0)"
    std::string warning;  // for standard error: what the scene shows as less than it has; or ""
};

// The scene of source as parameters ask (the slice options aside); source is placed in the
// process. notes receives the lines the user reads before the scene is written (what
// simplification did). false with a one-line error when the figure cannot be fitted or written.
bool makeScene(SceneSource& source, const SceneParameters& parameters,
               std::vector<std::string>& notes, MadeScene& scene, std::string& error);

// The cuts of a figure: one scene, or the scenes of a sweep in order.
struct MadeCuts {
    std::vector<SceneTexts> scenes;
    bool sweep = false;
    // One cut: "the cut at q = 0, 8 vertices, 12 edges, 4 polylines (line-loop 0)"; a sweep:
    // "5 cuts at q from -0.942809 to 0.942809".
    std::string summary;
    std::size_t largest = 0;  // of a sweep: the most vertices in one cut
};

// Cuts source, placed and scaled as makeScene would place it, by the hyperplane or the sweep of
// parameters.slice. false with a one-line error when the hyperplane misses the figure or a cut
// cannot be laid out or written. The same as placeForCuts, then cutPlaced.
bool makeCuts(SceneSource& source, const SceneParameters& parameters, MadeCuts& cuts,
              std::string& error);

// The first step of makeCuts: places source's figure in source.graph (a point table's polylines
// become its edges). A program that cuts one figure many times places it once. false with a
// one-line error when there is nothing to cut.
bool placeForCuts(SceneSource& source, const SceneParameters& parameters, std::string& error);

// The second step: the cuts of a source placed by placeForCuts with the same size, centring and
// line-loop mode (the other parameters may differ).
bool cutPlaced(const SceneSource& placed, const SceneParameters& parameters, MadeCuts& cuts,
               std::string& error);

// The name of sweep folder number index (from 0): three digits, "000" to "999".
std::string sweepFolderName(int index);

// "Simplified N points to K vertices: ..." after fitting a table, with the largest distance also
// as a share of the diagonal of the table's bounding box.
std::string simplifiedNote(const FitReport& report, const PointTable& table);

// "V vertices, E edges, P polylines (line-loop L)" for a figure of edges laid out in polylines,
// with the vertices and edges its figure file holds (written), and the vertices of graph without
// edges left out.
std::string graphSummary(const EdgeGraph& graph, const WrittenFigure& written,
                         std::size_t polylines, int lineLoop);

// "N data points, V vertices in P polylines (line-loop L)" for a table of points fitted into
// figure.
std::string tableSummary(std::size_t points, const SceneFigure& figure);

// "1 vertex", "2 vertices": n and the word for one or for many.
std::string counted(std::size_t n, const char* one, const char* many);

}  // namespace tessascene
