// Cost of the per-frame pipeline on a full figure: compose the transform list, transform every
// vertex and project the result, as every shown frame does.

#include <benchmark/benchmark.h>

#include <iostream>
#include <sstream>

#include "math4d/scalar_helpers.h"
#include "pipeline/composition.h"
#include "pipeline/figure_projection.h"

namespace {

FigureCollection fullFigure() {
    FigureCollection f;
    f.lineLoop = 1;
    f.count = kMaxPolylines;
    for (int i = 0; i < kMaxPolylines; ++i) {
        Polyline& p = f.polylines[i];
        p.count = kMaxVertices;
        p.setColour(1.0f, 0.5f, 0.0f);
        for (int j = 0; j < kMaxVertices; ++j) {
            p.setVertex(j, 0.01f * static_cast<float>(i), 0.02f * static_cast<float>(j), 0.5f,
                        -0.25f);
        }
    }
    return f;
}

AffineCollection mixedList() {
    AffineCollection list;
    list.reset();
    const float degree = kPi / 180.0f;
    list.setAffine(0, 1, 0.5f, 1, 1, 1, 1, 1, 1);
    list.setAffine(1, 2, 1, 0.1f, 0.2f, 0.3f, 0.4f, 1, 1);
    list.setAffine(2, 3, 20 * degree, 1, 0, 1, 0, 1, 0);
    list.setAffine(3, 6, 10 * degree, 0, 1, 0, 1, 0, 1);
    list.setAffine(4, 4, 1, 0.1f, 0.1f, 0.1f, 0.1f, 1, 1);
    list.setAffine(5, 5, 0.1f, 1, 0, 0, 1, 1, 1);
    list.count = 6;
    return list;
}

void BM_FramePipeline(benchmark::State& state) {
    const FigureCollection figure = fullFigure();
    const AffineCollection list = mixedList();
    Point4 direction;
    direction.set(0.3f, 0.2f, 0.1f, 1.0f);
    std::ostringstream sink;
    std::streambuf* saved = std::cout.rdbuf(sink.rdbuf());
    float step = 0.0f;
    for (auto _ : state) {
        const FigureCollection3 projected =
            applyAffineCollection(figure, list, step).project(direction);
        benchmark::DoNotOptimize(projected.polylines[89].vertices[89].x);
        step += 1.0f;
        sink.str("");
    }
    std::cout.rdbuf(saved);
    state.SetItemsProcessed(state.iterations() * kMaxPolylines * kMaxVertices);
}
BENCHMARK(BM_FramePipeline)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
