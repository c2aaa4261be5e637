// Cost of laying out the worst figure for the trail split: T triangles that share one vertex,
// whose closed trail passes that vertex T times, for every line-loop value. 2700 triangles
// (8100 edges) still fit 90 closed loops of 90 edges and are split in full; larger fans are
// refused. The raw split of the whole fan, without the figure's limit, is measured as well.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "tessascene/figures/edge_graph.h"
#include "tessascene/figures/trails.h"

namespace tessascene {

namespace {

// T triangles (0, 2i + 1, 2i + 2) around vertex 0.
EdgeGraph fan(int triangles) {
    EdgeGraph graph;
    graph.addVertex(0, 0, 0, 0);
    for (int i = 0; i < 2 * triangles; ++i) {
        const double a = 3.14159265358979 * i / triangles;
        graph.addVertex(std::cos(a), std::sin(a), 0, 0);
    }
    for (int i = 0; i < triangles; ++i) {
        graph.addEdge(0, 2 * i + 1);
        graph.addEdge(2 * i + 1, 2 * i + 2);
        graph.addEdge(2 * i + 2, 0);
    }
    return graph;
}

// Arguments: triangles, line-loop value.
void layoutFan(benchmark::State& state) {
    const EdgeGraph graph = fan(static_cast<int>(state.range(0)));
    const int lineLoop = static_cast<int>(state.range(1));
    bool fitted = false;
    for (auto _ : state) {
        std::vector<std::vector<int>> polylines;
        std::string error;
        fitted = layoutPolylines(graph, lineLoop, FigureCapacity{}, polylines, error);
        benchmark::DoNotOptimize(polylines.data());
    }
    state.SetLabel(fitted ? "laid out" : "refused");
}
BENCHMARK(layoutFan)
    ->ArgsProduct({{2700, 3000, 10000, 20000}, {kLineLoopOpen, kLineLoopClosed, kLineLoopPoints}})
    ->Unit(benchmark::kMillisecond);

// Argument: triangles. The whole fan's closed trail cut into loops of at most 90 edges.
void splitWholeFan(benchmark::State& state) {
    const std::vector<Trail> trails = decomposeIntoTrails(fan(static_cast<int>(state.range(0))));
    std::size_t pieces = 0;
    for (auto _ : state) {
        std::vector<Trail> loops;
        splitClosedTrail(trails.at(0), kMaxVertices, static_cast<std::size_t>(-1), loops);
        pieces = loops.size();
    }
    state.counters["loops"] = static_cast<double>(pieces);
}
BENCHMARK(splitWholeFan)->Arg(2700)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace tessascene

BENCHMARK_MAIN();
