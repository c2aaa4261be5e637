// The uniform polychora by name and by Wythoff symbol, counted as the viewer loads them, and the
// perspective and stereographic views.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "loaded_figure.h"
#include "tessascene/figures/generators.h"
#include "tessascene/figures/polytopes.h"
#include "tessascene/figures/projection4d.h"
#include "tessascene/figures/trails.h"
#include "tessascene/figures/wythoff.h"
#include "test_helpers.h"

namespace tessascene {

namespace {

double distance(const Vertex4& a, const Vertex4& b) {
    double sum = 0.0;
    for (int c = 0; c < 4; ++c) {
        sum += (a[c] - b[c]) * (a[c] - b[c]);
    }
    return std::sqrt(sum);
}

// Every edge of one length, every vertex on the unit 3-sphere, every face a closed cycle of
// distinct edges, every face found once, and V - E + F - C = 0 where there are cells.
void expectUniformPolytope(const GeneratedFigure& p) {
    const EdgeGraph& g = p.graph;
    ASSERT_FALSE(g.edges.empty());
    const double length = distance(g.vertices[g.edges[0].first], g.vertices[g.edges[0].second]);
    for (const auto& [a, b] : g.edges) {
        ASSERT_NEAR(distance(g.vertices[a], g.vertices[b]), length, 1e-9 * length);
    }
    for (const Vertex4& v : g.vertices) {
        ASSERT_NEAR(distance(v, Vertex4{}), 1.0, 1e-9);
    }
    const std::set<std::pair<int, int>> edges(g.edges.begin(), g.edges.end());
    std::set<std::set<int>> faces;
    for (const std::vector<int>& face : g.faces) {
        ASSERT_GE(face.size(), 3u);
        for (std::size_t i = 0; i < face.size(); ++i) {
            ASSERT_EQ(edges.count(std::minmax(face[i], face[(i + 1) % face.size()])), 1u);
        }
        faces.insert(std::set<int>(face.begin(), face.end()));
    }
    EXPECT_EQ(faces.size(), g.faces.size()) << "a face found twice";
    if (!p.cells.empty()) {
        const long euler = static_cast<long>(g.vertices.size()) - static_cast<long>(edges.size()) +
                           static_cast<long>(g.faces.size()) - static_cast<long>(p.cells.size());
        EXPECT_EQ(euler, 0) << g.faces.size() << " faces, " << p.cells.size() << " cells";
    }
}

}  // namespace

// Every name against the published vertex and edge counts, as made and as the viewer loads the
// written file; every figure uniform; a figure fits the figure file exactly when the table says.
// With TESSASCENE_UNIFORM_TABLE=FILE the counts are also written to FILE as a Markdown table.
TEST(UniformNames, EveryNameMakesThePublishedFigure) {
    std::ostringstream table;
    for (const UniformListing& listing : uniformListings()) {
        for (const std::string& name : {listing.name, listing.alias}) {
            if (name.empty()) {
                continue;
            }
            SCOPED_TRACE(name);
            std::string error;
            ASSERT_TRUE(namesGenerator(name));
            const GeneratedFigure p = generated(name);
            EXPECT_EQ(p.graph.vertices.size(), static_cast<std::size_t>(listing.vertices));
            EXPECT_EQ(p.graph.edges.size(), static_cast<std::size_t>(listing.edges));
            expectUniformPolytope(p);
            std::vector<std::vector<int>> layout;
            EXPECT_EQ(layoutPolylines(p.graph, kLineLoopOpen, {}, layout, error), listing.fits)
                << error;
            table << "| `" << name << "` | ";
            if (listing.fits) {
                const LoadedFigure written = writeAndLoadLayout(p.graph, layout, kLineLoopOpen);
                EXPECT_EQ(written.vertices.size(), static_cast<std::size_t>(listing.vertices));
                EXPECT_EQ(written.edges.size(), static_cast<std::size_t>(listing.edges));
                table << written.vertices.size() << " | " << written.edges.size() << " | "
                      << layout.size();
            } else {
                EXPECT_NE(error.find(" too many"), std::string::npos) << error;
                // "the figure needs N polylines; a figure holds at most 90, M too many"
                const std::size_t needed = error.find("needs ") + 6;
                table << "refused | | " << error.substr(needed, error.find(' ', needed) - needed)
                      << " (" << error.substr(error.rfind(", ") + 2) << ")";
            }
            table << " | " << listing.vertices << " | " << listing.edges << " |\n";
        }
    }
    if (const char* file = std::getenv("TESSASCENE_UNIFORM_TABLE")) {
        std::ofstream(file) << table.str();
    }
}

// Figures the names do not reach, among them the D4 family, whose members are B4 and F4
// figures: counts, uniformity and cells.
// The list a page offers its user: each entry, by either name, is a request generate takes with
// the parameters the entry describes, and refuses others.
TEST(FigureKinds, EachIsARequestGenerateTakes) {
    std::string error;
    const std::vector<FigureKind> kinds = figureKinds();
    ASSERT_GT(kinds.size(), 60u);
    for (const FigureKind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        EXPECT_TRUE(kind.alias.empty() || namesGenerator(kind.alias));
        if (kind.symbol) {
            EXPECT_EQ(kind.parameterNames, "GROUP:RINGS");
            EXPECT_FALSE(checkFigureRequest(kind.name, error));
            EXPECT_TRUE(checkFigureRequest(kind.name + ":B4:0110", error)) << error;
            continue;
        }
        EXPECT_TRUE(checkFigureRequest(kind.name, error)) << error;
        if (kind.parameterCount == 0) {
            EXPECT_TRUE(kind.parameterNames.empty());
            EXPECT_FALSE(checkFigureRequest(kind.name + ":3", error));
            continue;
        }
        std::string given, beyond;
        for (int i = 0; i < kind.parameterCount; ++i) {
            const std::string comma = i > 0 ? "," : "";
            given += comma + std::to_string(kind.defaults[static_cast<std::size_t>(i)]);
            beyond += comma + std::to_string(kind.maximum + 1);
        }
        EXPECT_EQ(std::count(kind.parameterNames.begin(), kind.parameterNames.end(), ','),
                  kind.parameterCount - 1);
        EXPECT_TRUE(checkFigureRequest(kind.name + ":" + given, error)) << error;
        EXPECT_FALSE(checkFigureRequest(kind.name + ":" + beyond, error));
    }
}

TEST(Wythoff, SymbolsAndOtherConstructions) {
    const struct {
        const char* request;
        std::size_t vertices, edges;
    } cases[] = {
        {"wythoff:F4:1001", 144, 576}, {"wythoff:D4:1000", 8, 24},
        {"wythoff:D4:0100", 24, 96},   {"wythoff:D4:1010", 32, 96},
        {"wythoff:D4:1111", 192, 384}, {"wythoff:H4:1000", 600, 1200},
        {"antiprism-prism:3", 12, 30}, {"antiprism-prism:17", 68, 170},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        const GeneratedFigure p = generated(c.request);
        EXPECT_EQ(p.graph.vertices.size(), c.vertices);
        EXPECT_EQ(p.graph.edges.size(), c.edges);
        expectUniformPolytope(p);
    }
    // The regular figures of the groups are those of the regular generators, vertex for vertex.
    const auto rounded = [](const EdgeGraph& g) {
        std::set<std::array<long, 4>> points;
        for (const Vertex4& v : g.vertices) {
            points.insert({std::lround(v[0] * 1e6), std::lround(v[1] * 1e6),
                           std::lround(v[2] * 1e6), std::lround(v[3] * 1e6)});
        }
        return points;
    };
    const std::pair<WythoffSymbol, EdgeGraph> regular[] = {
        {{CoxeterGroup::kA4, {true, false, false, false}}, makeFiveCell()},
        {{CoxeterGroup::kB4, {true, false, false, false}}, makeTesseract()},
        {{CoxeterGroup::kF4, {true, false, false, false}}, makeTwentyFourCell()},
        {{CoxeterGroup::kH4, {false, false, false, true}}, makeSixHundredCell()},
    };
    for (const auto& [symbol, graph] : regular) {
        EXPECT_EQ(rounded(makeWythoffPolytope(symbol).graph), rounded(graph));
    }
    // A Wythoff symbol takes its group's look: the 120-cell's size for H4.
    EXPECT_EQ(generated("wythoff:H4:0110").size, generated("120-cell").size);

    const char* const bad[][2] = {
        {"wythoff", "wythoff needs GROUP:RINGS"},
        {"wythoff:E8:1000", "GROUP must be A4, B4, D4, F4 or H4"},
        {"wythoff:A4:0000", "RINGS must be four digits 0 or 1"},
        {"wythoff:A4:102", "RINGS must be four digits 0 or 1"},
        {"antiprism-prism:2", "expected a whole number from 3 to 1000"},
        {"truncated-tesseract:3", "takes no parameters"},
    };
    for (const auto& [request, message] : bad) {
        std::string error;
        EXPECT_FALSE(checkFigureRequest(request, error)) << request;
        EXPECT_NE(error.find(message), std::string::npos) << error;
    }
}

// The largest figures that fit: the runcinated 120-cell in one closed trail; the runcitruncated
// 24-cell, all of whose 576 vertices are odd, only with short paths drawn twice; the largest
// antiprism prism --help says fits (the next one does not). Every step of a polyline is an edge,
// and every edge is drawn.
TEST(Capacity, LargeFiguresFitTheFigureFile) {
    const struct {
        const char* name;
        std::size_t most;  // polylines
    } cases[] = {{"runcinated-120-cell", 90},
                 {"bitruncated-120-cell", 90},
                 {"runcitruncated-24-cell", 25},
                 {"antiprism-prism:667", 90}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const EdgeGraph g = generated(c.name).graph;
        std::vector<std::vector<int>> layout;
        std::string error;
        ASSERT_TRUE(layoutPolylines(g, kLineLoopOpen, {}, layout, error)) << error;
        EXPECT_LE(layout.size(), c.most);
        const std::set<std::pair<int, int>> edges(g.edges.begin(), g.edges.end());
        std::set<std::pair<int, int>> drawn;
        for (const std::vector<int>& p : layout) {
            ASSERT_LE(p.size(), 90u);
            for (std::size_t i = 0; i + 1 < p.size(); ++i) {
                const auto e = std::minmax(p[i], p[i + 1]);
                ASSERT_EQ(edges.count(e), 1u) << "a step that is no edge";
                drawn.insert(e);
            }
        }
        EXPECT_EQ(drawn.size(), edges.size());
    }
    std::vector<std::vector<int>> layout;
    std::string error;
    EXPECT_FALSE(
        layoutPolylines(generated("antiprism-prism:668").graph, kLineLoopOpen, {}, layout, error));
}

TEST(Projection, PerspectiveKeepsEveryVertexAndEdge) {
    EXPECT_EQ(perspectivePoint({1, 2, 3, 1}, 2.0), (Vertex4{2, 4, 6, 0}));
    for (const char* name : {"truncated-tesseract", "runcinated-24-cell"}) {
        SCOPED_TRACE(name);
        const EdgeGraph g = generated(name).graph;
        double top = 0.0;
        for (const Vertex4& v : g.vertices) {
            top = std::max(top, v[3]);
        }
        EdgeGraph view;
        std::string error;
        ASSERT_TRUE(projectPerspective(g, top * 1.05, view, error)) << error;
        std::set<std::array<double, 4>> points(view.vertices.begin(), view.vertices.end());
        EXPECT_EQ(points.size(), g.vertices.size());
        EXPECT_EQ(view.edges, g.edges);
        for (const Vertex4& v : view.vertices) {
            ASSERT_EQ(v[3], 0.0);
        }
        EXPECT_FALSE(projectPerspective(g, top, view, error));
        EXPECT_NE(error.find("is not beyond the figure"), std::string::npos) << error;
    }
}

// Every arc drawn lies on one circle or line, the 600-cell's vertex at the pole turns the figure
// away from it, and what has no view is refused.
TEST(Projection, StereographicArcsLieOnCircles) {
    for (const char* name : {"120-cell", "600-cell", "truncated-16-cell"}) {
        SCOPED_TRACE(name);
        const EdgeGraph g = generated(name).graph;
        StereographicView view;
        std::string error;
        ASSERT_TRUE(prepareStereographic(g, view, error)) << error;
        EXPECT_GE(view.clearanceDegrees, kPoleClearanceDegrees);
        EXPECT_EQ(view.turnDegrees != 0, std::string(name) == "600-cell");
        const std::vector<int> pieces = shareArcPieces(view, 8010);
        const EdgeGraph figure = stereographicFigure(view, pieces);
        std::size_t total = 0, curved = 0;
        for (int p : pieces) {
            total += static_cast<std::size_t>(p);
        }
        EXPECT_LE(total, 8010u);
        EXPECT_EQ(figure.edges.size(), total);
        for (const Vertex4& v : figure.vertices) {
            ASSERT_TRUE(std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]));
            ASSERT_EQ(v[3], 0.0);
        }
        // Walk each arc's points: they follow its vertex in the order the arcs were added.
        std::size_t next = g.vertices.size();
        for (std::size_t e = 0; e < g.edges.size(); ++e) {
            std::vector<Vertex4> points = {figure.vertices[g.edges[e].first]};
            for (int i = 1; i < pieces[e]; ++i) {
                points.push_back(figure.vertices[next++]);
            }
            points.push_back(figure.vertices[g.edges[e].second]);
            if (points.size() < 4) {
                continue;
            }
            ++curved;
            // The circle through the first, a middle and the last point (or their line).
            const Vertex4 &a = points.front(), &b = points[points.size() / 2], &c = points.back();
            const Vertex4 u = {b[0] - a[0], b[1] - a[1], b[2] - a[2], 0};
            const Vertex4 w = {c[0] - a[0], c[1] - a[1], c[2] - a[2], 0};
            const Vertex4 n = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2],
                               u[0] * w[1] - u[1] * w[0], 0};
            const double nn = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
            const double scale = distance(a, c);
            if (nn < 1e-20 * scale * scale * scale * scale) {
                for (const Vertex4& p : points) {  // a line: every point on it
                    const Vertex4 d = {p[0] - a[0], p[1] - a[1], p[2] - a[2], 0};
                    const double along = (d[0] * w[0] + d[1] * w[1] + d[2] * w[2]) /
                                         (w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
                    ASSERT_LT(distance(d, {along * w[0], along * w[1], along * w[2], 0}),
                              1e-9 * scale);
                }
                continue;
            }
            // Circumcentre a + (|u|^2 (w x n) + |w|^2 (n x u)) / (2 |n|^2).
            const double uu = u[0] * u[0] + u[1] * u[1] + u[2] * u[2];
            const double ww = w[0] * w[0] + w[1] * w[1] + w[2] * w[2];
            Vertex4 centre{};
            for (int k = 0; k < 3; ++k) {
                const int k1 = (k + 1) % 3, k2 = (k + 2) % 3;
                centre[k] = a[k] + (uu * (w[k1] * n[k2] - w[k2] * n[k1]) +
                                    ww * (n[k1] * u[k2] - n[k2] * u[k1])) /
                                       (2 * nn);
            }
            const double radius = distance(a, centre);
            for (const Vertex4& p : points) {
                ASSERT_NEAR(distance(p, centre), radius, 1e-9 * radius);
                const double off =
                    ((p[0] - a[0]) * n[0] + (p[1] - a[1]) * n[1] + (p[2] - a[2]) * n[2]) /
                    std::sqrt(nn);
                ASSERT_NEAR(off, 0.0, 1e-9 * radius);
            }
        }
        EXPECT_GT(curved, g.edges.size() / 2) << "too few arcs drawn curved";
    }

    EdgeGraph centred;
    centred.addVertex(0, 0, 0, 0);
    centred.addVertex(1, 0, 0, 0);
    centred.addEdge(0, 1);
    EdgeGraph opposite;
    opposite.addVertex(0, 1, 0, 0);
    opposite.addVertex(0, -1, 0, 0);
    opposite.addEdge(0, 1);
    StereographicView view;
    std::string error;
    EXPECT_FALSE(prepareStereographic(centred, view, error));
    EXPECT_NE(error.find("lies at the centre"), std::string::npos) << error;
    EXPECT_EQ(view.problemVertex, 0);
    EXPECT_FALSE(prepareStereographic(opposite, view, error));
    EXPECT_NE(error.find("opposite points"), std::string::npos) << error;
}

}  // namespace tessascene
