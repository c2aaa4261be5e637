// Cost of one frame at full capacity: a figure of 90 polylines x 90 vertices and a transform
// list of 90 mixed records. Measures (a) composition, (b) transform, (c) projection, (d) the
// whole CPU side of a frame (the frame pass, with GL calls into a counting stand-in and console
// lines into a null stream) and (e) a floor: one plain loop over 8100 contiguous points doing
// only the column product and the projection, with the same roundings.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "app/frame.h"
#include "app/process_state.h"
#include "bench/gl_counter.h"
#include "math4d/scalar_helpers.h"
#include "pipeline/composition.h"
#include "pipeline/figure_projection.h"

namespace {

constexpr int kPoints = kMaxPolylines * kMaxVertices;

// Swallows console lines without storing them.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// 90 closed loops, each a circle of 90 points tilted differently through 4D.
FigureCollection fullFigure() {
    FigureCollection f;
    f.lineLoop = 1;
    f.count = kMaxPolylines;
    for (int i = 0; i < kMaxPolylines; ++i) {
        Polyline& p = f.polylines[i];
        p.count = kMaxVertices;
        p.setColour(1.0f, 0.5f, 0.0f);
        for (int j = 0; j < kMaxVertices; ++j) {
            const double a = 2.0 * kPi * j / kMaxVertices;
            const double b = 2.0 * kPi * i / kMaxPolylines;
            p.setVertex(j, static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a) * 0.7),
                        static_cast<float>(std::cos(b) * 0.5), static_cast<float>(std::sin(a + b)));
        }
    }
    return f;
}

// 90 records cycling through all six types, with factors that keep the product bounded at
// step 1 (the animated scalings are then the identity).
AffineCollection fullList() {
    AffineCollection list;
    list.reset();
    const float degree = kPi / 180.0f;
    for (int i = 0; i < kMaxAffines; ++i) {
        const float k = 0.001f * static_cast<float>(i % 7);
        switch (i % 6) {
            case 0:
                list.setAffine(i, 1, 1.0f + k, 1, 1, 1, 1, 1, 1);
                break;
            case 1:
                list.setAffine(i, 2, 1, k, -k, k, -k, 1, 1);
                break;
            case 2:
                list.setAffine(i, 3, 3 * degree, 1, 0, 1, 0, 1, 0);
                break;
            case 3:
                list.setAffine(i, 4, 0.0f, 1, 1, 1, 1, 1, 1);
                break;
            case 4:
                list.setAffine(i, 5, k, 1, 0, 0, 1, 1, 1);
                break;
            default:
                list.setAffine(i, 6, 2 * degree, 0, 1, 0, 1, 0, 1);
                break;
        }
    }
    list.count = kMaxAffines;
    return list;
}

Point4 fullProjection() {
    Point4 e;
    e.set(0.4f, -0.3f, 0.2f, 1.0f);
    return e;
}

// Puts the full scene into the process-wide records the frame pass reads.
void loadFullScene() {
    viewer.loadedFigure = fullFigure();
    viewer.loadedAffines = fullList();
    viewer.projectionVector = fullProjection();
    viewer.globalStep = 1.0f;
    viewer.camera.setDefaults();
    viewer.showFigure = 1;
    viewer.figureLineWidth = 1.0f;
}

// Routes std::cout into a null stream while it lives.
class QuietConsole {
public:
    QuietConsole() : saved_(std::cout.rdbuf(&sink_)) {}
    ~QuietConsole() { std::cout.rdbuf(saved_); }

private:
    NullBuffer sink_;
    std::streambuf* saved_;
};

void BM_a_Composition(benchmark::State& state) {
    const AffineCollection list = fullList();
    for (auto _ : state) {
        const AffineTransform t = composeAffineCollection(list, 1.0f);
        benchmark::DoNotOptimize(t.composite.elements[0]);
    }
}
BENCHMARK(BM_a_Composition)->Unit(benchmark::kMicrosecond);

void BM_b_Transform(benchmark::State& state) {
    const FigureCollection figure = fullFigure();
    const AffineTransform t = composeAffineCollection(fullList(), 1.0f);
    for (auto _ : state) {
        const FigureCollection moved = figure.transform(t);
        benchmark::DoNotOptimize(moved.polylines[89].vertices[89].q);
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_b_Transform)->Unit(benchmark::kMicrosecond);

void BM_c_Projection(benchmark::State& state) {
    const FigureCollection figure = fullFigure();
    const Point4 e = fullProjection();
    for (auto _ : state) {
        const FigureCollection3 flat = figure.project(e);
        benchmark::DoNotOptimize(flat.polylines[89].vertices[89].z);
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_c_Projection)->Unit(benchmark::kMicrosecond);

void BM_d_WholeFrame(benchmark::State& state) {
    loadFullScene();
    QuietConsole quiet;
    const long callsBefore = glCallCount();
    for (auto _ : state) {
        display();
    }
    state.counters["gl_calls_per_frame"] =
        static_cast<double>(glCallCount() - callsBefore) / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_d_WholeFrame)->Unit(benchmark::kMicrosecond);

// The floor's input and output: every vertex of the full figure, contiguous.
Point4 floorInput[kPoints];
Point3 floorOutput[kPoints];

// One loop, no copies, no calls: the column product of m with (x, y, z, q, 1), each sum
// started from 0 and rounded to float after every term, then the projection along e in double.
// The matrix's columns lie side by side so that the four sums of a point advance together, as
// fast as this machine allows.
void floorLoop(const float* m, Point4 e) {
    float c[5][4];
    for (int col = 0; col < 5; ++col) {
        for (int row = 0; row < 4; ++row) {
            c[col][row] = m[5 * row + col];
        }
    }
    const double ex = e.x, ey = e.y, ez = e.z, eq = e.q;
    for (int n = 0; n < kPoints; ++n) {
        const Point4 p = floorInput[n];
        float r[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        for (int row = 0; row < 4; ++row) {
            r[row] = r[row] + c[0][row] * p.x;
        }
        for (int row = 0; row < 4; ++row) {
            r[row] = r[row] + c[1][row] * p.y;
        }
        for (int row = 0; row < 4; ++row) {
            r[row] = r[row] + c[2][row] * p.z;
        }
        for (int row = 0; row < 4; ++row) {
            r[row] = r[row] + c[3][row] * p.q;
        }
        for (int row = 0; row < 4; ++row) {
            r[row] = r[row] + c[4][row] * 1.0f;
        }
        const double px = r[0], py = r[1], pz = r[2], pq = r[3];
        floorOutput[n].x = static_cast<float>(px - (pq * ex) / eq);
        floorOutput[n].y = static_cast<float>(py - (pq * ey) / eq);
        floorOutput[n].z = static_cast<float>(pz - (pq * ez) / eq);
    }
}

void BM_e_Floor(benchmark::State& state) {
    const FigureCollection figure = fullFigure();
    for (int i = 0; i < kMaxPolylines; ++i) {
        for (int j = 0; j < kMaxVertices; ++j) {
            floorInput[i * kMaxVertices + j] = figure.polylines[i].vertices[j];
        }
    }
    const AffineTransform t = composeAffineCollection(fullList(), 1.0f);
    const Point4 e = fullProjection();

    // The floor must compute what the program computes, bit for bit, or it is no floor.
    floorLoop(t.composite.elements, e);
    const FigureCollection3 reference = figure.transform(t).project(e);
    for (int i = 0; i < kMaxPolylines; ++i) {
        if (std::memcmp(reference.polylines[i].vertices, floorOutput + i * kMaxVertices,
                        sizeof(Point3) * kMaxVertices) != 0) {
            state.SkipWithError("floor loop differs from the program's transform and projection");
            return;
        }
    }

    for (auto _ : state) {
        floorLoop(t.composite.elements, e);
        benchmark::DoNotOptimize(floorOutput[kPoints - 1].z);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_e_Floor)->Unit(benchmark::kMicrosecond);

// The console reporter, which also keeps the CPU time per frame of (d) and (e) (their medians
// when repeated) to print how far the whole frame lies from the floor.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal.
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) != 0 ? OO_Color : OO_None) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool plain = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.error_occurred || !(plain || median)) {
                continue;
            }
            const std::string name = run.run_name.function_name;
            if (name == "BM_d_WholeFrame") {
                frame_ = run.GetAdjustedCPUTime();
            } else if (name == "BM_e_Floor") {
                floor_ = run.GetAdjustedCPUTime();
            }
        }
    }

    void printRatio() const {
        if (frame_ > 0.0 && floor_ > 0.0) {
            std::printf("whole frame (d) / floor (e): %.2f\n", frame_ / floor_);
        }
    }

private:
    double frame_ = 0.0;
    double floor_ = 0.0;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    reporter.printRatio();
    return 0;
}
