// tessascene: writes the two scene files of the viewer for a generated or imported 4D figure,
// or for its cross-section by a hyperplane.

#include <array>
#include <iostream>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "tessascene/command_line.h"
#include "tessascene/figure_output.h"
#include "tessascene/generate_command.h"
#include "tessascene/import_command.h"
#include "tessascene/report.h"
#include "tessascene/slice_command.h"

namespace {

constexpr double kImportSize = 2.0;
const std::array<double, 3> kImportColour = {0.2, 0.2, 0.7};

// The slice command: the figure placed and scaled as generate and import would write it, then
// cut (tessascene/slice_command.cpp).
int runSliceCommand(ImportedFigure& source, const Options& options, double size,
                    const std::array<double, 3>& colour) {
    EdgeGraph& graph = source.graph;
    if (source.isTable) {
        graph = graphFromPaths(source.table.paths, options.lineLoop == kLineLoopClosed);
        shiftPoints(graph.vertices, tableShift(source.table, options, size));
        placeGraph(graph, false, size);
    } else {
        placeGraph(graph, options.center, size);
    }
    if (graph.vertices.empty()) {
        return fail(kExitFailure, "the figure has no vertices to cut");
    }
    const SliceOutput output{options.output, options.force, options.lineLoop, colour,
                             affinesFor(options)};
    std::string error;
    return runSlice(graph, options.slice, output, error) ? kExitOk : fail(kExitFailure, error);
}

int run(const Options& options) {
    ImportedFigure source;
    double size = kImportSize;  // 0: keep the coordinates
    std::array<double, 3> colour = kImportColour;
    std::string error;
    if (options.command == Command::kGenerate ||
        (options.command == Command::kSlice && namesGenerator(options.operand))) {
        GeneratedFigure generated = generateFigure(options.operand);
        source.graph = std::move(generated.graph);
        size = generated.size;
        colour = generated.colour;
    } else if (!importSource(options, source, error)) {
        return fail(kExitFailure, error);
    } else if (source.isTable) {
        reportTableRead(options.operand, source.table);
    }
    size = options.size.value_or(size);
    colour = options.colour.value_or(colour);
    if (options.command == Command::kSlice) {
        return runSliceCommand(source, options, size, colour);
    }

    SceneFigure figure;
    figure.lineLoop = options.lineLoop;
    figure.colour = colour;
    std::vector<std::vector<int>> layout;
    if (source.isTable) {
        FitReport fitted;
        if (!placeTable(source.table, options, size, figure, fitted, error)) {
            return fail(kExitFailure, error);
        }
        if (fitted.simplified) {
            reportSimplified(fitted, source.table);
        }
    } else {
        placeGraph(source.graph, options.center, size);
        if (!layoutGraph(source.graph, options, size, layout, error)) {
            return fail(kExitFailure, error);
        }
        for (const std::vector<int>& indices : layout) {
            figure.polylines.emplace_back();
            for (int v : indices) {
                figure.polylines.back().push_back(source.graph.vertices[v]);
            }
        }
    }
    if (!writeScene(figure, options, error)) {
        return fail(kExitFailure, error);
    }
    if (source.isTable) {
        std::size_t vertices = 0;
        for (const auto& polyline : figure.polylines) {
            vertices += polyline.size();
        }
        reportTableWritten(options.output, source.table.points, vertices, figure.polylines.size(),
                           options.lineLoop);
    } else {
        reportGraphWritten(options.output, source.graph, countWritten(figure), layout.size(),
                           options.lineLoop);
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const CommandLine line = readCommandLine(argc, argv);
        switch (line.outcome) {
            case Outcome::kRun:
                return run(line.options);
            case Outcome::kHelp:
            case Outcome::kVersion:
                std::cout << line.text;
                return line.exitCode;
            case Outcome::kUsageError:
                return fail(kExitUsage, line.text);
        }
        return kExitUsage;
    } catch (const std::bad_alloc&) {
        return fail(kExitFailure, "out of memory");
    }
}
