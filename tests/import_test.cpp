// The importer of 4D figure files: real files of the geomview package, small hand-made files of
// each format, header variants, and damaged input.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tessascene/import/geomview_import.h"
#include "tessascene/import/text_input.h"

namespace tessascene {

namespace {

std::string dataPath(const char* file) {
#ifdef TESSAVIEW_SOURCE_DIR
    return std::string(TESSAVIEW_SOURCE_DIR) + "/tests/data/import/" + file;
#else
    const std::string here = __FILE__;
    return here.substr(0, here.find_last_of("/\\") + 1) + "data/import/" + file;
#endif
}

// The index of the vertex at exactly these coordinates, or -1.
int vertexAt(const EdgeGraph& graph, const std::array<double, 4>& at) {
    const auto found = std::find(graph.vertices.begin(), graph.vertices.end(), at);
    return found == graph.vertices.end() ? -1 : static_cast<int>(found - graph.vertices.begin());
}

bool hasEdge(const EdgeGraph& graph, int a, int b) {
    const std::pair<int, int> edge(std::minmax(a, b));
    return std::find(graph.edges.begin(), graph.edges.end(), edge) != graph.edges.end();
}

// Imports the OFF-family file at path; false with the error.
bool importPath(const std::string& path, EdgeGraph& graph, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    return importFigure(in, path, graph, error);
}

EdgeGraph importData(const char* file) {
    EdgeGraph graph;
    std::string error;
    EXPECT_TRUE(importPath(dataPath(file), graph, error)) << error;
    return graph;
}

TEST(ImportGeomviewFiles, RegularPolytopesHaveTheirCountsAndOneEdgeLength) {
    const struct {
        const char* file;
        std::size_t vertices, edges;
    } cases[] = {{"simplex.off", 5, 10},        {"hypercube.off", 16, 32},
                 {"orthoplex.off", 8, 24},      {"octaplex.off", 24, 96},
                 {"dodecaplex.off", 600, 1200}, {"tetraplex.off", 120, 720}};
    const std::string dir = "/usr/share/geomview/geom/spherical/";
    if (!std::ifstream(dir + "hypercube.off")) {
        GTEST_SKIP() << "the geomview package is not installed (" << dir << ")";
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        EdgeGraph graph;
        std::string error;
        ASSERT_TRUE(importPath(dir + c.file, graph, error)) << error;
        EXPECT_EQ(graph.vertices.size(), c.vertices);
        EXPECT_EQ(graph.edges.size(), c.edges);  // also the NEdges these files state
        // A regular polytope's edges all have one length: a face read wrongly would add chords.
        const auto length = [&graph](const std::pair<int, int>& e) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) {
                const double d = graph.vertices[e.first][k] - graph.vertices[e.second][k];
                sum += d * d;
            }
            return std::sqrt(sum);
        };
        const double first = length(graph.edges.front());
        for (const auto& e : graph.edges) {
            ASSERT_NEAR(length(e), first, 1e-4 * first) << e.first << "-" << e.second;
        }
    }
}

TEST(ImportDataFiles, OffWithCellsReadsFacesAndSkipsColoursAndCells) {
    const EdgeGraph graph = importData("five_cell_cells.4off");
    ASSERT_EQ(graph.vertices.size(), 5u);
    EXPECT_EQ(graph.vertices[4], (std::array<double, 4>{-0.5, -0.5, -0.5, -0.5}));
    EXPECT_EQ(graph.edges.size(), 10u);
    for (int a = 0; a < 5; ++a) {
        for (int b = a + 1; b < 5; ++b) {
            EXPECT_TRUE(hasEdge(graph, a, b)) << a << "-" << b;
        }
    }
}

TEST(ImportDataFiles, NOffClosesEachFaceWithoutDiagonals) {
    const EdgeGraph graph = importData("square_pyramid.noff");
    ASSERT_EQ(graph.vertices.size(), 5u);
    EXPECT_EQ(graph.vertices[4], (std::array<double, 4>{0, 0, 2, 1}));
    EXPECT_EQ(graph.edges.size(), 8u);
    EXPECT_TRUE(hasEdge(graph, 3, 0));  // the square's closing side
    EXPECT_FALSE(hasEdge(graph, 0, 2));
    EXPECT_FALSE(hasEdge(graph, 1, 3));
}

TEST(ImportDataFiles, VectMergesEqualCornersAndClosesOnlyNegativeCounts) {
    const EdgeGraph graph = importData("corners.4vect");
    const int a = vertexAt(graph, {0, 0, 0, 0});
    const int b = vertexAt(graph, {1, 0, 0, 0});
    const int c = vertexAt(graph, {1, 1, 0, 0});
    const int d = vertexAt(graph, {0, 1, 0, 0});
    const int mid = vertexAt(graph, {0.5, 0.5, 0.5, 0.5});
    const int point = vertexAt(graph, {2, 2, 2, 2});
    ASSERT_EQ(graph.vertices.size(), 6u);  // 8 in the file, two of them repeated corners
    ASSERT_TRUE(a >= 0 && b >= 0 && c >= 0 && d >= 0 && mid >= 0 && point >= 0);
    EXPECT_EQ(graph.edges.size(), 6u);
    for (const auto& [p, q] : {std::pair{a, b}, {b, c}, {c, d}, {d, a}, {a, mid}, {mid, c}}) {
        EXPECT_TRUE(hasEdge(graph, p, q)) << p << "-" << q;
    }
}

TEST(ImportDataFiles, SkelPolylinesStayOpen) {
    const EdgeGraph graph = importData("open_paths.4skel");
    ASSERT_EQ(graph.vertices.size(), 5u);
    EXPECT_EQ(graph.edges, (std::vector<std::pair<int, int>>{{0, 1}, {1, 2}, {2, 3}}));
}

// One quadrilateral written with every accepted header; the extra per-vertex values that the
// prefixes announce must be skipped, and the quad must come out the same each time.
TEST(ImportHeaders, PrefixesAndDimensionLinesGiveTheSameFigure) {
    const struct {
        const char* header;
        int extras;  // values after each vertex's coordinates
        bool skel;
        const char* newline;
    } cases[] = {
        {"4OFF", 0, false, "\n"},
        {"C4OFF", 4, false, "\n"},
        {"N4OFF", 3, false, "\n"},
        {"CN4OFF", 7, false, "\n"},
        {"ST4OFF", 2, false, "\n"},
        {"STCN4OFF", 9, false, "\n"},
        {"nOFF\n4", 0, false, "\n"},
        {"CnOFF 4", 4, false, "\n"},
        {"STCnOFF # dim\n 4", 6, false, "\n"},
        {"4OFF", 0, false, "\r\n"},
        {"4SKEL", 0, true, "\n"},
        {"C4SKEL", 4, true, "\n"},
        {"nSKEL 4", 0, true, "\r\n"},
        {"CnSKEL\n4", 4, true, "\n"},
    };
    const double coordinates[4][4] = {{0, 0, 0, 1}, {2, 0, 0, 1}, {2, 3, 0, 1}, {0, 3, 0, -1.5}};
    for (const auto& c : cases) {
        std::string text = std::string(c.header) + c.newline + (c.skel ? "4 1" : "4 1 0");
        text += c.newline;
        for (const auto& v : coordinates) {
            for (double x : v) {
                text += std::to_string(x) + " ";
            }
            for (int k = 0; k < c.extras; ++k) {
                text += "0.25 ";
            }
            text += c.newline;
        }
        text += c.skel ? "5 0 1 2 3 0" : "4 0 1 2 3";
        text += c.newline;
        SCOPED_TRACE(text);

        EdgeGraph graph;
        graph.addVertex(9, 9, 9, 9);  // replaced by the import
        std::string error;
        std::istringstream in(text);
        ASSERT_TRUE(importFigure(in, "quad", graph, error)) << error;
        ASSERT_EQ(graph.vertices.size(), 4u);
        EXPECT_EQ(graph.vertices[3], (std::array<double, 4>{0, 3, 0, -1.5}));
        EXPECT_EQ(graph.edges, (std::vector<std::pair<int, int>>{{0, 1}, {1, 2}, {2, 3}, {0, 3}}));
    }
}

TEST(ImportErrors, NameTheFileAndTheLine) {
    const std::string triangle = "0 0 0 0\n1 0 0 0\n0 1 0 0\n";  // lines 3 to 5 after counts
    const std::pair<std::string, std::string> cases[] = {
        {"", "t:1: the file is empty"},
        {"\x01OFF\x7f\n", "t:1: unknown header '?OFF?'"},
        {"\n# comment\n  OFF\n3 1 3\n", "t:3: header 'OFF' announces a 3D figure"},
        {"VECT\n", "t:1: header 'VECT' announces a 3D figure"},
        {"4OFF BINARY\n", "t:1: binary files are not supported"},
        {"4nOFF\n5\n", "t:1: header '4nOFF': homogeneous coordinates"},
        {"NnOFF 4\n", "t:1: header 'NnOFF': normals are not supported"},
        {"nOFF\n\n3\n3 1 3\n", "t:3: the figure has dimension 3; only dimension 4"},
        {"nSKEL 5\n", "t:1: the figure has dimension 5"},
        {"4OFF\n", "t:1: the file ends before the count line"},
        {"4OFF\n3 1\n", "t:2: expected the count line"},
        {"4OFF\n3 1 3 1 7\n" + triangle, "t:2: expected the count line"},
        {"4OFF\n3 -1 3\n", "t:2: NFaces is -1; it cannot be negative"},
        {"4OFF\n3 x 3\n", "t:2: expected a whole number for NFaces, found 'x'"},
        {"4OFF\n3000000000 1 0\n", "t:2: NVertices is 3000000000; at most 2147483647"},
        {"4OFF\n3 1 3\n0 0 0 0\n1 0 0\n", "t:4: the file ends after 1 of 3 vertices"},
        {"4OFF\n2000000000 1 0\n0 0 0 0\n", "t:3: the file ends after 1 of 2000000000 vertices"},
        {"4OFF\n3 1 3\n0 0 0 0\n0 0 nan 0\n",
         "t:4: coordinate 3 of vertex 1 'nan' is not a finite"},
        {"4OFF\n3 1 3\n0 0 0 0\n0 0 0 -1e999\n",
         "t:4: coordinate 4 of vertex 1 '-1e999' is out of range"},
        {"4OFF\n3 1 3\n0 0 0 0\n0 abc 0 0\n",
         "t:4: expected a number for coordinate 2 of vertex 1"},
        {"4OFF\n3 1 3\n" + triangle + "3 0 1\n3\n",
         "t:7: face 0 names vertex 3, but the file has 3 vertices (0 to 2)"},
        {"4OFF\n3 1 3\n" + triangle + "3 0 -1 2\n", "t:6: face 0 names vertex -1"},
        {"4OFF\n3 1 3\n" + triangle + "3 0 1.5 2\n", "t:6: expected a whole number for vertex 1"},
        {"4OFF\n3 1 3\n" + triangle + "3 0 99999999999999999999 2\n",
         "t:6: vertex 1 of face 0 '99999999999999999999' is out of range"},
        {"4OFF\n3 1 3\n" + triangle + "0\n", "t:6: face 0 has a length of 0"},
        {"4OFF\n3 1 3\n" + triangle + "3 0 1 2 1 1 1 1 1\n", "t:6: face 0 of length 3 is follow"},
        {"4OFF\n3 1 3\n" + triangle + "3 0 1 2 red\n", "t:6: expected a number for the colour"},
        {"4OFF\n3 2 3\n" + triangle + "3 0 1 2\n\n", "t:6: the file ends after 1 of 2 faces"},
        {"4OFF\n3 1 3\n" + triangle + "3 0 1 2\n3 0 1 2\n", "t:7: unexpected '3' after the end"},
        {"4OFF\n3 1 3 1\n" + triangle + "3 0 1 2\n2 0 1\n",
         "t:7: cell 0 names face 1, but the file has 1 face (0 to 0)"},
        {"4SKEL\n2 1\n0 0 0 0\n1 0 0 0\n2 0 2\n", "t:5: polyline 0 names vertex 2"},
        {"4VECT\n1 3 0\n2\n0\n", "t:2: the polylines' vertex counts add up to 2, but NVertices"},
        {"4VECT\n1 3 0\n0\n", "t:3: polyline 0 has a vertex count of 0"},
        {"4VECT\n1 3 0\n-9223372036854775808\n", "t:3: polyline 0 has a vertex count of -92"},
        {"4VECT\n1 3 0\n-1e30\n", "t:3: the vertex count of polyline 0 '-1e30' is out of range"},
        {"4VECT\n1 2 1\n2\n0\n", "t:2: the polylines' colour counts add up to 0, but NColors"},
        {"4VECT\n1 2 1\n2\n1\n0 0 0 0\n1 0 0 0\n1 0 0\n", "t:7: the file ends after 0 of 1 col"},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EdgeGraph graph;
        graph.addVertex(9, 9, 9, 9);
        std::string error;
        std::istringstream in(text);
        EXPECT_FALSE(importFigure(in, "t", graph, error));
        EXPECT_NE(error.find(expected), std::string::npos) << error;
        EXPECT_EQ(graph.vertices.size(), 1u);  // a failed import leaves the graph alone
    }
}

// A line too long for a text file of the OFF family is refused before it grows.
TEST(ImportErrors, EndlessLinesAreRefused) {
    const std::string longLine = "4OFF\n3 1 0\n" + std::string(kMaxLineBytes + 1, '1') + "\n";
    std::istringstream endless(longLine);
    EdgeGraph graph;
    std::string error;
    EXPECT_FALSE(importFigure(endless, "t", graph, error));
    EXPECT_EQ(error,
              "t:3: the line is longer than 1048576 bytes; is this a text file of the OFF "
              "family?");
}

// Each imported vertex remembers the line it starts on, for messages about its coordinates.
TEST(ImportDataFiles, VerticesKnowTheirLines) {
    std::istringstream in("4VECT\n2 4 0\n2 2\n0 0\n0 0 0 0\n1 0 0 0\n1 0 0 0\n0 1 0 0\n");
    EdgeGraph graph;
    std::string error;
    ASSERT_TRUE(importFigure(in, "t", graph, error)) << error;
    EXPECT_EQ(graph.vertexLines, (std::vector<long>{5, 6, 8}));  // line 7 repeats vertex 1
}

}  // namespace

}  // namespace tessascene
