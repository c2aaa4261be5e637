// tessascene: generated figures, the trail layout into polylines, the scene file text, and a
// round trip of written files through the viewer's own loader.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "scene/scene_format.h"
#include "scene/scene_loader.h"
#include "tessascene/figures/polytopes.h"
#include "tessascene/figures/trails.h"
#include "tessascene/scene_text/figure_placement.h"
#include "tessascene/scene_text/scene_writer.h"
#include "test_helpers.h"

namespace tessascene {

namespace {

using Edge = std::pair<int, int>;

double distance(const Vertex4& a, const Vertex4& b) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                     (a[2] - b[2]) * (a[2] - b[2]) + (a[3] - b[3]) * (a[3] - b[3]));
}

Edge ordered(int a, int b) {
    return a < b ? Edge(a, b) : Edge(b, a);
}

// A graph of n vertices (coordinates unused) and the given edges.
EdgeGraph graphOf(int n, std::initializer_list<Edge> edges) {
    EdgeGraph graph;
    for (int i = 0; i < n; ++i) {
        graph.addVertex(i, 0, 0, 0);
    }
    for (const Edge& e : edges) {
        graph.addEdge(e.first, e.second);
    }
    return graph;
}

// Checks that the polylines use every edge of graph exactly once and nothing else; a closed
// polyline also uses the edge from its last vertex back to its first.
::testing::AssertionResult coversEachEdgeOnce(const EdgeGraph& graph,
                                              const std::vector<std::vector<int>>& polylines,
                                              bool closed) {
    const std::set<Edge> edges(graph.edges.begin(), graph.edges.end());
    std::set<Edge> used;
    for (const std::vector<int>& p : polylines) {
        const size_t steps = closed ? p.size() : p.size() - 1;
        for (size_t i = 0; i < steps; ++i) {
            const Edge e = ordered(p[i], p[(i + 1) % p.size()]);
            if (edges.count(e) == 0) {
                return ::testing::AssertionFailure()
                       << e.first << "-" << e.second << " is not an edge";
            }
            if (!used.insert(e).second) {
                return ::testing::AssertionFailure() << e.first << "-" << e.second << " twice";
            }
        }
    }
    if (used.size() != edges.size()) {
        return ::testing::AssertionFailure()
               << used.size() << " of " << edges.size() << " edges covered";
    }
    return ::testing::AssertionSuccess();
}

// count cycles of length edges that all pass vertex 0: a fan of triangles for length 3.
EdgeGraph petals(int count, int length) {
    EdgeGraph graph;
    graph.addVertex(0, 0, 0, 0);
    for (int p = 0; p < count; ++p) {
        int previous = 0;
        for (int i = 1; i < length; ++i) {
            const int v = graph.addVertex(p, i, 0, 0);
            graph.addEdge(previous, v);
            previous = v;
        }
        graph.addEdge(previous, 0);
    }
    return graph;
}

struct FigureCase {
    const char* name;
    std::function<EdgeGraph()> make;
    size_t vertices;
    size_t edges;
};

const std::vector<FigureCase>& figureCases() {
    static const std::vector<FigureCase> cases = {
        {"5-cell", makeFiveCell, 5, 10},
        {"tesseract", makeTesseract, 16, 32},
        {"16-cell", makeSixteenCell, 8, 24},
        {"24-cell", makeTwentyFourCell, 24, 96},
        {"120-cell", makeOneTwentyCell, 600, 1200},
        {"600-cell", makeSixHundredCell, 120, 720},
        {"duoprism 5,7", [] { return makeDuoprism(5, 7); }, 35, 70},
        {"duoprism 3,12", [] { return makeDuoprism(3, 12); }, 36, 72},
        {"clifford torus 10,10", [] { return makeCliffordTorus(10, 10); }, 100, 200},
        {"hopf circles 2,8", [] { return makeHopfCircles(2, 8, 40); }, 640, 640},
    };
    return cases;
}

}  // namespace

// Every figure has its counts, one edge length, distinct vertices, all on the unit 3-sphere.
TEST(Polytopes, CountsEqualEdgesDistinctVerticesOnOneSphere) {
    for (const FigureCase& c : figureCases()) {
        SCOPED_TRACE(c.name);
        const EdgeGraph g = c.make();
        EXPECT_EQ(g.vertices.size(), c.vertices);
        EXPECT_EQ(g.edges.size(), c.edges);
        for (const Vertex4& v : g.vertices) {
            ASSERT_NEAR(distance(v, Vertex4{}), 1.0, 1e-9);
        }
        const double length = distance(g.vertices[g.edges[0].first], g.vertices[g.edges[0].second]);
        for (const Edge& e : g.edges) {
            ASSERT_NEAR(distance(g.vertices[e.first], g.vertices[e.second]), length, 1e-9);
        }
        for (size_t a = 0; a < g.vertices.size(); ++a) {
            for (size_t b = a + 1; b < g.vertices.size(); ++b) {
                ASSERT_GT(distance(g.vertices[a], g.vertices[b]), 1e-6) << a << " and " << b;
            }
        }
    }
}

// The fewest trails: per component with edges, one, or one per pair of odd-degree vertices.
TEST(Trails, CoverEveryEdgeOnceWithTheFewestTrails) {
    struct Case {
        const char* name;
        EdgeGraph graph;
        size_t trails;
    };
    const std::vector<Case> cases = {
        {"tesseract (all even)", makeTesseract(), 1},
        {"600-cell (all even)", makeSixHundredCell(), 1},
        {"star of three (4 odd)", graphOf(4, {{0, 1}, {0, 2}, {0, 3}}), 2},
        // The added pairings repeat real edges: the circuit must tell parallel edges apart.
        {"K4 (4 odd)", graphOf(4, {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}}), 2},
        // clang-format off
        {"cube (8 odd)", graphOf(8, {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6}, {6, 7},
                                     {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}}), 4},
        // clang-format on
        {"path, triangle and a lone vertex", graphOf(7, {{0, 1}, {1, 2}, {3, 4}, {4, 5}, {5, 3}}),
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Trail> trails = decomposeIntoTrails(c.graph);
        EXPECT_EQ(trails.size(), c.trails);
        EXPECT_TRUE(coversEachEdgeOnce(c.graph, trails, false));
    }
}

// Each line-loop value under a real and a small capacity: the right polylines, within capacity.
TEST(Layout, PolylinesFitTheCapacityAndDrawEachEdgeOnce) {
    struct Case {
        const char* name;
        EdgeGraph graph;
        int lineLoop;
        FigureCapacity capacity;
        size_t polylines;  // 0: only check the capacity
    };
    const EdgeGraph lone = graphOf(5, {{0, 1}, {1, 2}});  // vertices 3 and 4 have no edge
    const std::vector<Case> cases = {
        // 1200 edges at 89 per polyline; 120 vertices at 90 per polyline.
        {"120-cell open", makeOneTwentyCell(), 0, {}, 14},
        {"120-cell closed", makeOneTwentyCell(), 1, {}, 0},
        {"600-cell open", makeSixHundredCell(), 0, {}, 9},
        {"600-cell closed", makeSixHundredCell(), 1, {}, 0},
        {"600-cell points", makeSixHundredCell(), 3, {}, 2},
        {"tesseract open, 5 per polyline", makeTesseract(), 0, {5, 90}, 8},
        {"tesseract closed, 6 per polyline", makeTesseract(), 1, {6, 90}, 0},
        {"hopf circles closed, one loop each", makeHopfCircles(2, 8, 40), 1, {}, 16},
        // 8100 edges through one vertex: 90 full loops of 30 triangles.
        {"2700 triangles around a vertex closed", petals(2700, 3), 1, {}, 90},
        {"lone vertices dropped", lone, 0, {}, 1},
        {"lone vertices kept as points", lone, 3, {2, 90}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::vector<int>> polylines;
        std::string error;
        ASSERT_TRUE(layoutPolylines(c.graph, c.lineLoop, c.capacity, polylines, error)) << error;
        if (c.polylines > 0) {
            EXPECT_EQ(polylines.size(), c.polylines);
        }
        EXPECT_LE(polylines.size(), static_cast<size_t>(c.capacity.polylines));
        for (const std::vector<int>& p : polylines) {
            EXPECT_LE(p.size(), static_cast<size_t>(c.capacity.vertices));
        }
        if (c.lineLoop == 3) {
            std::multiset<int> seen;
            for (const std::vector<int>& p : polylines) {
                seen.insert(p.begin(), p.end());
            }
            EXPECT_EQ(seen.size(), c.graph.vertices.size());
            EXPECT_EQ(std::set<int>(seen.begin(), seen.end()).size(), c.graph.vertices.size());
        } else {
            EXPECT_TRUE(coversEachEdgeOnce(c.graph, polylines, c.lineLoop == 1));
        }
    }
}

TEST(Layout, RefusesWhatCannotBeDrawnWithAReason) {
    struct Case {
        const char* name;
        EdgeGraph graph;
        int lineLoop;
        FigureCapacity capacity;
        const char* error;
    };
    EdgeGraph hundredGon = graphOf(100, {});  // one simple cycle: it passes no vertex twice
    for (int i = 0; i < 100; ++i) {
        hundredGon.addEdge(i, (i + 1) % 100);
    }
    // clang-format off
    const std::vector<Case> cases = {
        // 10000 edges in one closed trail: ceil(10000 / 89) = 113 polylines.
        {"too big", makeDuoprism(100, 50), 0, {},
         "the figure needs 113 polylines; a figure holds at most 90, 23 too many"},
        {"small capacity", makeOneTwentyCell(), 0, {90, 10},
         "the figure needs 14 polylines; a figure holds at most 10, 4 too many"},
        {"closed with odd vertices", graphOf(3, {{0, 1}, {1, 2}}), 1, {},
         "line-loop 1 closes every polyline, but 2 vertices have an odd number of edges"},
        {"closed loop too long", hundredGon, 1, {},
         "a closed loop of 100 edges cannot be cut into loops of at most 90 vertices"},
        {"no edges", graphOf(2, {}), 0, {}, "the figure has no edges"},
        // 60000 edges: refused before the loop is split, which once took a minute.
        {"20000 triangles around a vertex closed", petals(20000, 3), 1, {},
         "the figure needs at least 667 polylines; a figure holds at most 90, 577 too many"},
        {"100 loops of 60 edges that cannot be merged", petals(100, 60), 1, {},
         "the figure needs more than 90 closed loops of at most 90 vertices"},
        {"no vertices", EdgeGraph{}, 3, {}, "the figure has no vertices"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::vector<int>> polylines;
        std::string error;
        EXPECT_FALSE(layoutPolylines(c.graph, c.lineLoop, c.capacity, polylines, error));
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
        EXPECT_TRUE(polylines.empty());
    }
}

// Each number is the shortest text that reads back as its float: as many significant digits as
// std::to_chars needs, on powers of two (whose neighbours lie unevenly) and on a fixed sample.
TEST(SceneWriter, WritesTheShortestTextOfEachFloat) {
    // clang-format off
    const std::vector<std::pair<double, const char*>> cases = {
        {1.0, "1"}, {0.5, "0.5"}, {-0.7, "-0.7"}, {3.14159265, "3.1415927"}, {40.0, "40"},
        {1234567.0, "1234567"}, {1e6, "1e+06"}, {1.5e-5, "1.5e-05"}, {-0.0, "0"}, {1e-40, "0"},
        {0.1 + 0.2, "0.3"}, {1700000001000.0, "1.7e+12"}, {0x1p-96, "1.2621775e-29"}};
    // clang-format on
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(formatFloat(value), text) << value;
    }
    const auto significantDigits = [](std::string text) {
        text = text.substr(0, text.find('e'));
        text.erase(
            std::remove_if(text.begin(), text.end(), [](char c) { return !std::isdigit(c); }),
            text.end());
        text.erase(0, text.find_first_not_of('0'));
        return text.substr(0, text.find_last_not_of('0') + 1).size();
    };
    std::vector<float> floats;
    for (int e = -125; e <= 127; ++e) {
        for (const float f : {std::ldexp(1.0f, e), -std::ldexp(1.0f, e)}) {
            floats.insert(floats.end(), {f, std::nextafter(f, 0.0f), std::nextafter(f, 2 * f)});
        }
    }
    std::mt19937 random(1);
    while (floats.size() < 200000) {
        const std::uint32_t bits = random();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        if (std::isfinite(f) && std::fabs(f) >= FLT_MIN) {
            floats.push_back(f);
        }
    }
    for (const float f : floats) {
        const std::string text = formatFloat(f);
        char shortest[32];
        const auto end =
            std::to_chars(shortest, shortest + sizeof shortest, f, std::chars_format::scientific);
        ASSERT_EQ(std::strtof(text.c_str(), nullptr), f) << text;
        ASSERT_EQ(significantDigits(text), significantDigits(std::string(shortest, end.ptr)))
            << text;
    }
}

TEST(SceneWriter, FileTextsAndWhatTheyRefuse) {
    SceneFigure figure;
    figure.lineLoop = 1;
    figure.colour = {1.0, 0.5, 0.0};
    figure.polylines = {{{1e-17, -2.0, 0.25, 1.0}, {0.0, 1.0, -1e-17, 2.0}}, {{3, 3, 3, 3}}};
    std::string text, error;
    ASSERT_TRUE(figureFileText(figure, text, error));
    // Coordinates far below the figure's size are written as they are.
    EXPECT_EQ(text, "1\n1 0.5 0\n2\n2\n1e-17 -2 0.25 1\n0 1 -1e-17 2\n1\n3 3 3 3\n");

    figure.polylines[1][0][2] = std::nan("");
    EXPECT_FALSE(figureFileText(figure, text, error));
    figure.polylines[1][0][2] = 1e39;  // beyond the float range
    EXPECT_FALSE(figureFileText(figure, text, error));
    // Not negligible beside 2e-38, but no normal float: refused rather than written as 0.
    figure.polylines = {{{1e-39, 2e-38, 0, 0}}};
    EXPECT_FALSE(figureFileText(figure, text, error));

    SceneAffines affines;
    affines.records = {{6, {15, 0, 0, 1, 0, 0, 0}}};
    EXPECT_TRUE(affineFileText(affines, text, error));
    affines.records[0].params.pop_back();  // type 6 needs 7 parameters
    EXPECT_FALSE(affineFileText(affines, text, error));
    affines.records = {{7, {1, 1, 1, 1, 1}}};  // a type the viewer does not know
    EXPECT_FALSE(affineFileText(affines, text, error));
}

// Coordinates far beyond the float range, or far below it, still scale to the asked radius.
TEST(Polytopes, ScalingNeitherOverflowsNorVanishes) {
    for (const double unit : {1e300, 1e200, 1.0, 1e-200, 1e-320}) {
        SCOPED_TRACE(unit);
        EdgeGraph graph;
        graph.addVertex(3 * unit, 0, -4 * unit, 0);  // distance 5 * unit
        graph.addVertex(0, unit, 0, unit);
        EXPECT_NEAR(circumradius(graph) / unit, 5.0, 1e-9);
        scaleToCircumradius(graph, 2.0);
        EXPECT_NEAR(graph.vertices[0][0], 1.2, 1e-12);
        EXPECT_NEAR(graph.vertices[0][2], -1.6, 1e-12);
        EXPECT_NEAR(graph.vertices[1][3], 0.4, 1e-12);
    }
}

namespace {

// Every token of the loader's console text that is a whole number: the echoed values, in order
// (labels such as "Polyline#3" and the file paths are not numbers).
std::vector<std::string> echoedValues(const std::string& console) {
    std::istringstream in(console);
    std::vector<std::string> values;
    for (std::string token; in >> token;) {
        char* end = nullptr;
        std::strtod(token.c_str(), &end);
        if (end == token.c_str() + token.size()) {
            values.push_back(token);
        }
    }
    return values;
}

std::vector<std::string> tokensOf(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> tokens;
    for (std::string token; in >> token;) {
        tokens.push_back(token);
    }
    return tokens;
}

// The index of the graph vertex within 1e-5 of p, or -1.
int vertexNear(const EdgeGraph& graph, const Point4& p) {
    const Vertex4 at = {p.x, p.y, p.z, p.q};
    for (size_t v = 0; v < graph.vertices.size(); ++v) {
        if (distance(graph.vertices[v], at) < 1e-5) {
            return static_cast<int>(v);
        }
    }
    return -1;
}

}  // namespace

// Written files load in the viewer without a complaint, every written value is read back as its
// float and echoed as such, and the loaded polylines draw exactly the edges of the figure.
TEST(RoundTrip, TheViewerLoadsWhatWasWrittenAndDrawsEveryEdge) {
    struct Case {
        const char* name;
        EdgeGraph graph;
        int lineLoop;
    };
    std::vector<Case> cases = {{"120-cell open", makeOneTwentyCell(), 0},
                               {"hopf circles closed", makeHopfCircles(3, 10, 40), 1},
                               {"24-cell closed", makeTwentyFourCell(), 1}};
    scaleToCircumradius(cases[0].graph, 2.0);
    scaleToCircumradius(cases[2].graph, 1.6);
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::vector<int>> layout;
        std::string error;
        ASSERT_TRUE(layoutPolylines(c.graph, c.lineLoop, {}, layout, error)) << error;
        SceneFigure figure;
        figure.lineLoop = c.lineLoop;
        figure.colour = {0.1, 0.3, 0.8};
        figure.polylines = polylinesOf(c.graph, layout);
        SceneAffines affines;
        affines.projection = {0.4, -0.3, 0.2, 1};
        affines.records = {{1, {0.7, 1, 1, 1, 1}}, {6, {15, 0, 0, 1, 0, 0, 0}}};
        std::string figureText, affineText;
        ASSERT_TRUE(figureFileText(figure, figureText, error)) << error;
        ASSERT_TRUE(affineFileText(affines, affineText, error)) << error;
        ScratchDir dir;
        dir.write(kFigureFileName, figureText);
        dir.write(kAffineFileName, affineText);

        static FigureCollection loadedFigure;
        AffineCollection loadedAffines;
        Point4 projection;
        loadedFigure = FigureCollection{};
        std::string console;
        {
            CaptureStdout capture;
            readSceneFiles(dir.file(kFigureFileName).c_str(), dir.file(kAffineFileName).c_str(),
                           loadedFigure, loadedAffines, projection);
            console = capture.text();
        }
        EXPECT_EQ(console.find("PROBLEM"), std::string::npos) << console.substr(0, 2000);
        EXPECT_EQ(console.find("left out"), std::string::npos);
        std::vector<std::string> written;
        for (const std::string& token : tokensOf(figureText + affineText)) {
            written.push_back(sceneNumberText(std::strtof(token.c_str(), nullptr)));
        }
        EXPECT_EQ(echoedValues(console), written);

        // Map the loaded vertices back and collect the edges the viewer will draw.
        ASSERT_EQ(loadedFigure.count, static_cast<int>(layout.size()));
        std::vector<std::vector<int>> loaded;
        for (int i = 0; i < loadedFigure.count; ++i) {
            const Polyline& p = loadedFigure.polylines[i];
            loaded.emplace_back();
            for (int j = 0; j < p.count; ++j) {
                const int v = vertexNear(c.graph, p.vertices[j]);
                ASSERT_GE(v, 0);
                const Vertex4& at = c.graph.vertices[v];
                EXPECT_TRUE(p.vertices[j].x == writtenFloat(at[0]) &&
                            p.vertices[j].y == writtenFloat(at[1]) &&
                            p.vertices[j].z == writtenFloat(at[2]) &&
                            p.vertices[j].q == writtenFloat(at[3]));
                loaded.back().push_back(v);
            }
        }
        EXPECT_TRUE(coversEachEdgeOnce(c.graph, loaded, c.lineLoop == 1));
    }
}

}  // namespace tessascene
