// What the tests of tessascene's figures share: a generated figure, and a laid-out figure as the
// viewer reads it back from the figure file tessascene writes.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "scene/scene_loader.h"
#include "tessascene/figures/generators.h"
#include "tessascene/scene_text/figure_placement.h"
#include "tessascene/scene_text/scene_writer.h"
#include "test_helpers.h"

namespace tessascene {

// The figure generate makes for request, which must be one it knows.
inline GeneratedFigure generated(const std::string& request) {
    GeneratedFigure figure;
    std::string error;
    EXPECT_TRUE(generateFigure(request, figure, error)) << request << ": " << error;
    return figure;
}

// The distinct vertices (by their floats) and distinct edges the viewer loads.
struct LoadedFigure {
    int lineLoop = 0;
    std::vector<Vertex4> vertices;
    std::set<std::pair<int, int>> edges;
};

// Writes the figure text of the layout of graph with lineLoop and loads it with the viewer's
// loader; the edges are those of consecutive vertices (none for points).
inline LoadedFigure writeAndLoadLayout(const EdgeGraph& graph,
                                       const std::vector<std::vector<int>>& layout, int lineLoop) {
    SceneFigure figure;
    figure.lineLoop = lineLoop;
    figure.polylines = polylinesOf(graph, layout);
    std::string text, error;
    EXPECT_TRUE(figureFileText(figure, text, error)) << error;

    static FigureCollection loaded;  // large: kept off the stack
    loaded = FigureCollection{};
    AffineCollection affines;
    Point4 projection;
    std::istringstream figureIn(text), affineIn("0 0 0 1\n0\n");
    {
        CaptureStdout quiet;
        readSceneStreams(&figureIn, kFigureFileName, &affineIn, kAffineFileName, loaded, affines,
                         projection);
    }
    LoadedFigure written;
    written.lineLoop = lineLoop;
    EXPECT_EQ(loaded.lineLoop, lineLoop);
    std::map<std::array<float, 4>, int> index;
    for (int i = 0; i < loaded.count; ++i) {
        int previous = -1;
        for (int j = 0; j < loaded.polylines[i].count; ++j) {
            const Point4& p = loaded.polylines[i].vertices[j];
            const std::array<float, 4> key = {p.x, p.y, p.z, p.q};
            auto found = index.find(key);
            if (found == index.end()) {
                found = index.emplace(key, static_cast<int>(written.vertices.size())).first;
                written.vertices.push_back({p.x, p.y, p.z, p.q});
            }
            if (previous >= 0 && lineLoop != kLineLoopPoints) {
                written.edges.insert(std::minmax(previous, found->second));
            }
            previous = found->second;
        }
    }
    return written;
}

}  // namespace tessascene
