// Cross-sections: the 2-faces the generators make, the faces an OFF file keeps, and cuts of the
// figures counted and measured as the viewer loads them from the written figure file.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "loaded_figure.h"
#include "scene/scene_loader.h"
#include "tessascene/cut/slice.h"
#include "tessascene/figures/generators.h"
#include "tessascene/figures/polytopes.h"
#include "tessascene/figures/trails.h"
#include "tessascene/import/geomview_import.h"
#include "tessascene/scene_text/figure_placement.h"
#include "tessascene/scene_text/scene_writer.h"
#include "test_helpers.h"

namespace tessascene {

namespace {

Vertex4 minus(const Vertex4& a, const Vertex4& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2], a[3] - b[3]};
}

EdgeGraph sized(EdgeGraph graph) {
    scaleToCircumradius(graph, 2.0);
    return graph;
}

// A cut as the viewer reads it back: distinct vertices (by their floats) and distinct edges.
using WrittenCut = LoadedFigure;

// Cuts graph, lays the cut out as tessascene does (line-loop 0, points when it has no edges),
// writes the figure text and loads it with the viewer's loader.
WrittenCut writeAndLoad(const EdgeGraph& graph, const Hyperplane& plane) {
    const EdgeGraph cut = cutFigure(graph, plane);
    const int lineLoop = cut.edges.empty() ? kLineLoopPoints : kLineLoopOpen;
    std::vector<std::vector<int>> layout;
    std::string error;
    EXPECT_TRUE(layoutPolylines(cut, lineLoop, FigureCapacity{}, layout, error)) << error;
    return writeAndLoadLayout(cut, layout, lineLoop);
}

// The largest distance, in units of normal . P, of a written vertex from the plane.
double largestOffPlane(const WrittenCut& cut, const Hyperplane& plane) {
    double largest = 0.0;
    for (const Vertex4& v : cut.vertices) {
        largest = std::max(largest, std::fabs(dot(v, plane.normal) - plane.offset));
    }
    return largest;
}

// The faces of the convex polyhedron the cut outlines, counted from its geometry alone: the
// distinct planes (within the 3-space of the cut) through a vertex and two of its neighbours
// that have every vertex on one side.
int supportingPlanes(const WrittenCut& cut, const Vertex4& normal, double tolerance) {
    std::vector<std::vector<int>> neighbours(cut.vertices.size());
    for (const auto& e : cut.edges) {
        neighbours[e.first].push_back(e.second);
        neighbours[e.second].push_back(e.first);
    }
    // The vector orthogonal to u, w and normal: the cofactors of the 4x4 determinant.
    const auto cross = [](const Vertex4& u, const Vertex4& w, const Vertex4& n) {
        Vertex4 m{};
        for (int c = 0; c < 4; ++c) {
            int k[3], j = 0;
            for (int r = 0; r < 4; ++r) {
                if (r != c) {
                    k[j++] = r;
                }
            }
            const double det = u[k[0]] * (w[k[1]] * n[k[2]] - w[k[2]] * n[k[1]]) -
                               u[k[1]] * (w[k[0]] * n[k[2]] - w[k[2]] * n[k[0]]) +
                               u[k[2]] * (w[k[0]] * n[k[1]] - w[k[1]] * n[k[0]]);
            m[c] = (c % 2 == 0 ? 1 : -1) * det;
        }
        return m;
    };
    // A face is told by the vertices on its plane: the coordinates are written with six
    // digits, too few to compare planes through short edges by their normals.
    std::set<std::vector<int>> planes;
    for (std::size_t a = 0; a < cut.vertices.size(); ++a) {
        const Vertex4& p = cut.vertices[a];
        for (int b : neighbours[a]) {
            for (int c : neighbours[a]) {
                const Vertex4 m =
                    cross(minus(cut.vertices[b], p), minus(cut.vertices[c], p), normal);
                const double length = std::sqrt(dot(m, m));
                if (b >= c || length < 1e-9) {
                    continue;
                }
                double low = 0.0, high = 0.0;
                std::vector<int> on;
                for (std::size_t v = 0; v < cut.vertices.size(); ++v) {
                    const double d = dot(m, minus(cut.vertices[v], p)) / length;
                    low = std::min(low, d);
                    high = std::max(high, d);
                    if (std::fabs(d) <= tolerance) {
                        on.push_back(static_cast<int>(v));
                    }
                }
                if (low >= -tolerance || high <= tolerance) {  // all on one side
                    planes.insert(on);
                }
            }
        }
    }
    return static_cast<int>(planes.size());
}

TEST(Faces, TheGeneratorsMakeEveryTwoFaceOnceAndFlat) {
    struct Case {
        const char* name;
        EdgeGraph graph;
        std::size_t faces;
    };
    const std::vector<Case> cases = {
        {"5-cell", makeFiveCell(), 10},
        {"tesseract", makeTesseract(), 24},
        {"16-cell", makeSixteenCell(), 32},
        {"24-cell", makeTwentyFourCell(), 96},
        {"120-cell", makeOneTwentyCell(), 720},
        {"600-cell", makeSixHundredCell(), 1200},
        {"duoprism 5,7", makeDuoprism(5, 7), 35 + 5 + 7},
        {"duoprism 3,4", makeDuoprism(3, 4), 12 + 3 + 4},
        {"clifford-torus 16,16", makeCliffordTorus(16, 16), 256},
        {"3-sphere", makeHopfCircles(2, 8, 40), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.graph.faces.size(), c.faces);
        std::set<std::set<int>> distinct;
        std::set<std::pair<int, int>> edges(c.graph.edges.begin(), c.graph.edges.end());
        for (const std::vector<int>& face : c.graph.faces) {
            distinct.insert(std::set<int>(face.begin(), face.end()));
            for (std::size_t i = 0; i < face.size(); ++i) {
                const std::pair<int, int> side = std::minmax(face[i], face[(i + 1) % face.size()]);
                ASSERT_EQ(edges.count(side), 1u) << "a face side that is no edge";
            }
        }
        EXPECT_EQ(distinct.size(), c.faces) << "a face found twice";
    }
}

TEST(Faces, AnOffFileKeepsItsPolygonsAsFaces) {
    std::istringstream in(
        "4OFF\n5 3 0\n0 0 0 -1\n1 0 0 -1\n1 1 0 1\n0 1 0 1\n2 2 2 2\n"
        "4 0 1 2 3\n2 3 4\n1 4\n");
    EdgeGraph graph;
    std::string error;
    ASSERT_TRUE(importFigure(in, "square.off", graph, error)) << error;
    ASSERT_EQ(graph.faces.size(), 1u);  // the segment and the point are no faces
    EXPECT_EQ(graph.faces[0], (std::vector<int>{0, 1, 2, 3}));
    const WrittenCut cut = writeAndLoad(graph, Hyperplane{{0, 0, 0, 1}, 0.0});
    EXPECT_EQ(cut.vertices.size(), 2u);  // the square's cut; the segment 3-4 is no face
    EXPECT_EQ(cut.edges.size(), 1u);
}

TEST(Slice, CutsCountedAsWritten) {
    const EdgeGraph fiveCell = sized(makeFiveCell());
    const double fiveCellBottom = extentAlong(fiveCell, {0, 0, 0, 1}).low;
    const double fiveCellTop = extentAlong(fiveCell, {0, 0, 0, 1}).high;
    struct Case {
        const char* what;
        EdgeGraph graph;
        Hyperplane plane;
        std::size_t vertices;
        std::size_t edges;
    };
    const std::vector<Case> cases = {
        {"tesseract q=0: a cube", sized(makeTesseract()), {{0, 0, 0, 1}, 0.0}, 8, 12},
        {"16-cell q=0: an octahedron", sized(makeSixteenCell()), {{0, 0, 0, 1}, 0.0}, 6, 12},
        {"24-cell q=0: a cuboctahedron", sized(makeTwentyFourCell()), {{0, 0, 0, 1}, 0.0}, 12, 24},
        {"5-cell q=0: a tetrahedron", fiveCell, {{0, 0, 0, 1}, 0.0}, 4, 6},
        {"tesseract q=1: its cell, a cube", sized(makeTesseract()), {{0, 0, 0, 1}, 1.0}, 8, 12},
        {"5-cell at its bottom: its cell", fiveCell, {{0, 0, 0, 1}, fiveCellBottom}, 4, 6},
        {"tesseract at a corner: one point", sized(makeTesseract()), {{1, 1, 1, 1}, 4.0}, 1, 0},
        {"16-cell at a vertex, oblique: one point",
         sized(makeSixteenCell()),
         {{2, 1, 0, 0}, 4.0},
         1,
         0},
        {"tesseract x=0.5: a cube", sized(makeTesseract()), {{1, 0, 0, 0}, 0.5}, 8, 12},
        {"clifford-torus q=0: two 16-gons",
         sized(makeCliffordTorus(16, 16)),
         {{0, 0, 0, 1}, 0},
         32,
         32},
        {"3-sphere q=0.1: two points per circle",
         sized(makeHopfCircles(2, 8, 40)),
         {{0, 0, 0, 1}, 0.1},
         32,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const WrittenCut cut = writeAndLoad(c.graph, c.plane);
        EXPECT_EQ(cut.vertices.size(), c.vertices);
        EXPECT_EQ(cut.edges.size(), c.edges);
        EXPECT_EQ(cut.lineLoop, c.edges == 0 ? kLineLoopPoints : kLineLoopOpen);
        EXPECT_LE(largestOffPlane(cut, c.plane), 1e-6);
        if (c.plane.normal == Vertex4{0, 0, 0, 1}) {
            for (const Vertex4& v : cut.vertices) {
                ASSERT_EQ(v[3], static_cast<float>(c.plane.offset));  // exactly on q = C
            }
        }
    }
    // 5e-7 below the top vertex the cut is a small tetrahedron: the vertex is not on the plane.
    const EdgeGraph tip = cutFigure(fiveCell, Hyperplane{{0, 0, 0, 1}, fiveCellTop - 5e-7});
    EXPECT_EQ(tip.vertices.size(), 4u);
    EXPECT_EQ(tip.edges.size(), 6u);
}

TEST(Slice, EveryCutOfAConvexPolytopeIsAPolyhedron) {
    // V - E + F = 2, with F the faces found from the cut's geometry: a missing or extra edge,
    // or two vertices where there is one, breaks it.
    std::vector<std::pair<std::string, EdgeGraph>> polytopes = {
        {"5-cell", sized(makeFiveCell())},
        {"tesseract", sized(makeTesseract())},
        {"16-cell", sized(makeSixteenCell())},
        {"24-cell", sized(makeTwentyFourCell())},
        {"120-cell", sized(makeOneTwentyCell())},
        {"600-cell", sized(makeSixHundredCell())},
        {"duoprism 5,7", sized(makeDuoprism(5, 7))},
        {"duoprism 3,4", sized(makeDuoprism(3, 4))},
        {"antiprism-prism:7", sized(generated("antiprism-prism:7").graph)},
    };
    // Every named uniform figure a figure file holds.
    for (const UniformListing& listing : uniformListings()) {
        if (listing.fits) {
            polytopes.emplace_back(listing.name, sized(generated(listing.name).graph));
        }
    }
    const std::vector<Vertex4> normals = {
        {0, 0, 0, 1}, {1, 0, 0, 0}, {1, 1, 0, 0}, {1, 2, 3, 4}, {0.3, -0.7, 0.2, 0.9}};
    for (const auto& [name, graph] : polytopes) {
        for (const Vertex4& normal : normals) {
            const Extent extent = extentAlong(graph, normal);
            for (double fraction : {0.13, 0.5, 0.77}) {
                const Hyperplane plane{normal, extent.low + fraction * (extent.high - extent.low)};
                SCOPED_TRACE(name + " normal " + std::to_string(normal[0]) + "," +
                             std::to_string(normal[1]) + "," + std::to_string(normal[2]) + "," +
                             std::to_string(normal[3]) + " at " + std::to_string(fraction));
                // In full precision: the written six digits blur planes through the short
                // edges of cuts that pass close to a vertex.
                const EdgeGraph exact = cutFigure(graph, plane);
                WrittenCut cut;
                cut.vertices = exact.vertices;
                cut.edges.insert(exact.edges.begin(), exact.edges.end());
                const int v = static_cast<int>(cut.vertices.size());
                const int e = static_cast<int>(cut.edges.size());
                ASSERT_GE(v, 4);
                EXPECT_EQ(v - e + supportingPlanes(cut, normal, 1e-9), 2) << v << " " << e;
                EXPECT_LE(largestOffPlane(cut, plane), 1e-12 * std::sqrt(dot(normal, normal)));
            }
        }
    }
}

}  // namespace

}  // namespace tessascene
