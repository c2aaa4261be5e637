// Cost of the steps of a cross-section of the 120-cell, without start-up and writing: making
// the figure with its 720 faces, one cut through the middle, and the cut laid out as polylines.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "tessascene/cut/slice.h"
#include "tessascene/figures/polytopes.h"
#include "tessascene/figures/trails.h"

namespace tessascene {

namespace {

void makeFigure(benchmark::State& state) {
    for (auto _ : state) {
        EdgeGraph graph = makeOneTwentyCell();
        benchmark::DoNotOptimize(graph.faces.data());
    }
}
BENCHMARK(makeFigure)->Unit(benchmark::kMillisecond);

void cutMiddle(benchmark::State& state) {
    EdgeGraph graph = makeOneTwentyCell();
    scaleToCircumradius(graph, 2.2);
    for (auto _ : state) {
        EdgeGraph cut = cutFigure(graph, Hyperplane{{0, 0, 0, 1}, 0.0});
        benchmark::DoNotOptimize(cut.edges.data());
    }
}
BENCHMARK(cutMiddle)->Unit(benchmark::kMicrosecond);

void layOutCut(benchmark::State& state) {
    EdgeGraph graph = makeOneTwentyCell();
    scaleToCircumradius(graph, 2.2);
    const EdgeGraph cut = cutFigure(graph, Hyperplane{{0, 0, 0, 1}, 0.0});
    std::vector<std::vector<int>> layout;
    std::string error;
    for (auto _ : state) {
        benchmark::DoNotOptimize(layoutPolylines(cut, 0, FigureCapacity{}, layout, error));
    }
}
BENCHMARK(layOutCut)->Unit(benchmark::kMicrosecond);

}  // namespace

}  // namespace tessascene

BENCHMARK_MAIN();
