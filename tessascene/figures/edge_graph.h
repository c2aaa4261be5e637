#pragma once

#include <array>
#include <set>
#include <utility>
#include <vector>

#include "tessascene/figures/geometry.h"

namespace tessascene {

// A 4D figure as its vertices and undirected edges, the form every generator and importer
// produces and the trail builder consumes. Coordinates are doubles; they become float32 only
// when the scene files are written.
struct EdgeGraph {
    std::vector<Vertex4> vertices;
    std::vector<std::pair<int, int>> edges;  // first < second, each pair once
    // For an imported figure, the line of the file where each vertex starts; empty otherwise.
    std::vector<long> vertexLines;
    // The 2-faces, each a polygon as its vertex indices in order around it (at least 3); empty
    // for a figure of curves only. The cross-section cuts these.
    std::vector<std::vector<int>> faces;

    // Adds a vertex; returns its index.
    int addVertex(double x, double y, double z, double q) {
        vertices.push_back({x, y, z, q});
        return static_cast<int>(vertices.size()) - 1;
    }

    // Adds the edge a-b unless it is a loop (a == b) or already present, in either direction.
    // Indices must already name vertices. Returns whether the edge was new.
    bool addEdge(int a, int b) {
        if (a == b) {
            return false;
        }
        const std::pair<int, int> edge = a < b ? std::make_pair(a, b) : std::make_pair(b, a);
        if (!known_.insert(edge).second) {
            return false;
        }
        edges.push_back(edge);
        return true;
    }

private:
    std::set<std::pair<int, int>> known_;
};

// A 4D polytope with its cells, each cell as its vertex indices in increasing order (empty when
// the cells are not built).
struct Polychoron {
    EdgeGraph graph;
    std::vector<std::vector<int>> cells;
};

}  // namespace tessascene
