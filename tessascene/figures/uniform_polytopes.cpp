#include "tessascene/figures/uniform_polytopes.h"

#include <algorithm>
#include <cmath>

#include "tessascene/figures/polytopes.h"

namespace tessascene {

namespace {

constexpr double kPi = 3.14159265358979323846;

// The neighbours of every vertex, and whether two vertices are joined.
struct Adjacency {
    std::vector<std::vector<int>> neighbours;
    std::vector<std::vector<char>> joined;

    explicit Adjacency(const EdgeGraph& graph)
        : neighbours(graph.vertices.size()),
          joined(graph.vertices.size(), std::vector<char>(graph.vertices.size(), 0)) {
        for (const auto& [a, b] : graph.edges) {
            neighbours[a].push_back(b);
            neighbours[b].push_back(a);
            joined[a][b] = joined[b][a] = 1;
        }
    }
};

// The vertices of a cycle of the graph (given as a set) in order around it.
std::vector<int> inCycleOrder(const std::vector<int>& cycle, const Adjacency& adjacency) {
    std::vector<int> ordered = {cycle[0]};
    for (bool grown = true; grown && ordered.size() < cycle.size();) {
        grown = false;
        for (int v : cycle) {
            if (adjacency.joined[ordered.back()][v] != 0 &&
                std::find(ordered.begin(), ordered.end(), v) == ordered.end()) {
                ordered.push_back(v);
                grown = true;
                break;
            }
        }
    }
    return ordered;
}

// The 600-cell without the removed vertices: what is left of its vertices, edges, triangles
// and tetrahedra (its 4-cliques), renumbered; renumber maps old indices to new ones (-1:
// removed).
Polychoron withoutVertices(const EdgeGraph& cell600, const Adjacency& adjacency,
                           const std::vector<char>& removed, std::vector<int>& renumber) {
    Polychoron result;
    EdgeGraph& graph = result.graph;
    renumber.assign(cell600.vertices.size(), -1);
    for (std::size_t v = 0; v < cell600.vertices.size(); ++v) {
        if (removed[v] == 0) {
            const Vertex4& p = cell600.vertices[v];
            renumber[v] = graph.addVertex(p[0], p[1], p[2], p[3]);
        }
    }
    for (const auto& [a, b] : cell600.edges) {
        if (removed[a] == 0 && removed[b] == 0) {
            graph.addEdge(renumber[a], renumber[b]);
        }
    }
    for (const std::vector<int>& face : cell600.faces) {
        if (std::none_of(face.begin(), face.end(), [&](int v) { return removed[v] != 0; })) {
            graph.faces.push_back({renumber[face[0]], renumber[face[1]], renumber[face[2]]});
        }
    }
    const int n = static_cast<int>(cell600.vertices.size());
    for (int a = 0; a < n; ++a) {
        for (int b : adjacency.neighbours[a]) {
            for (int c : adjacency.neighbours[a]) {
                for (int d : adjacency.neighbours[a]) {
                    if (a < b && b < c && c < d && adjacency.joined[b][c] != 0 &&
                        adjacency.joined[b][d] != 0 && adjacency.joined[c][d] != 0 &&
                        removed[a] + removed[b] + removed[c] + removed[d] == 0) {
                        result.cells.push_back(
                            {renumber[a], renumber[b], renumber[c], renumber[d]});
                    }
                }
            }
        }
    }
    return result;
}

// The old vertices' new indices, sorted, for a cell.
std::vector<int> renumbered(const std::vector<int>& old, const std::vector<int>& renumber) {
    std::vector<int> cell;
    for (int v : old) {
        cell.push_back(renumber[v]);
    }
    std::sort(cell.begin(), cell.end());
    return cell;
}

// The index of the graph's vertex nearest p.
int nearestVertex(const EdgeGraph& graph, const Vertex4& p) {
    int best = 0;
    double bestDistance = HUGE_VAL;
    for (std::size_t v = 0; v < graph.vertices.size(); ++v) {
        double d = 0.0;
        for (int c = 0; c < 4; ++c) {
            d += (graph.vertices[v][c] - p[c]) * (graph.vertices[v][c] - p[c]);
        }
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(v);
        }
    }
    return best;
}

}  // namespace

Polychoron makePrism(const EdgeGraph& polyhedron) {
    Polychoron prism;
    EdgeGraph& graph = prism.graph;
    const int n = static_cast<int>(polyhedron.vertices.size());
    const auto [a0, b0] = polyhedron.edges.front();
    double length = 0.0;
    for (int c = 0; c < 3; ++c) {
        const double d = polyhedron.vertices[a0][c] - polyhedron.vertices[b0][c];
        length += d * d;
    }
    length = std::sqrt(length);
    for (const double q : {-length / 2, length / 2}) {
        for (const Vertex4& v : polyhedron.vertices) {
            graph.addVertex(v[0], v[1], v[2], q);
        }
    }
    std::vector<int> bottom(n), top(n);
    for (int v = 0; v < n; ++v) {
        bottom[v] = v;
        top[v] = v + n;
        graph.addEdge(v, v + n);
    }
    prism.cells = {bottom, top};
    for (const auto& [a, b] : polyhedron.edges) {
        graph.addEdge(a, b);
        graph.addEdge(a + n, b + n);
        graph.faces.push_back({a, b, b + n, a + n});
    }
    for (const std::vector<int>& face : polyhedron.faces) {
        std::vector<int> lifted = face;
        for (int& v : lifted) {
            v += n;
        }
        graph.faces.push_back(face);
        graph.faces.push_back(lifted);
        std::vector<int> cell = face;
        cell.insert(cell.end(), lifted.begin(), lifted.end());
        std::sort(cell.begin(), cell.end());
        prism.cells.push_back(cell);
    }
    scaleToCircumradius(graph, 1.0);
    return prism;
}

EdgeGraph makeAntiprism(int n) {
    // Top vertex j at angle 2 pi j / n and height h, bottom vertex j half a step further at -h;
    // the polygons' radius gives their sides length 1, h the slanted edges.
    const double radius = 0.5 / std::sin(kPi / n);
    const double across = 2.0 * radius * std::sin(kPi / (2 * n));
    const double h = 0.5 * std::sqrt(1.0 - across * across);
    EdgeGraph graph;
    for (int j = 0; j < n; ++j) {
        const double a = 2.0 * kPi * j / n;
        graph.addVertex(radius * std::cos(a), radius * std::sin(a), h, 0.0);
    }
    for (int j = 0; j < n; ++j) {
        const double a = 2.0 * kPi * (j + 0.5) / n;
        graph.addVertex(radius * std::cos(a), radius * std::sin(a), -h, 0.0);
    }
    std::vector<int> top, bottom;
    for (int j = 0; j < n; ++j) {
        const int next = (j + 1) % n;
        graph.addEdge(j, next);
        graph.addEdge(n + j, n + next);
        graph.addEdge(j, n + j);
        graph.addEdge(next, n + j);
        graph.faces.push_back({j, next, n + j});
        graph.faces.push_back({n + j, n + next, next});
        top.push_back(j);
        bottom.push_back(n + j);
    }
    graph.faces.push_back(top);
    graph.faces.push_back(bottom);
    return graph;
}

Polychoron makeSnubTwentyFourCell() {
    // In makeSixHundredCell's coordinates the 24-cell's vertices are the 24 whose coordinates
    // are all 0, +-1/2 or +-1; each of the other 96 has one coordinate +-phi/2.
    const EdgeGraph cell600 = makeSixHundredCell();
    const Adjacency adjacency(cell600);
    std::vector<char> removed(cell600.vertices.size(), 1);
    for (std::size_t v = 0; v < removed.size(); ++v) {
        for (double c : cell600.vertices[v]) {
            if (std::fabs(std::fabs(c) - kPhi / 2) < 1e-9) {
                removed[v] = 0;
            }
        }
    }
    std::vector<int> renumber;
    Polychoron snub = withoutVertices(cell600, adjacency, removed, renumber);
    for (std::size_t v = 0; v < removed.size(); ++v) {
        if (removed[v] != 0) {  // an icosahedron: the neighbours of the vertex taken away
            snub.cells.push_back(renumbered(adjacency.neighbours[v], renumber));
        }
    }
    return snub;
}

Polychoron makeGrandAntiprism() {
    const EdgeGraph cell600 = makeSixHundredCell();
    const Adjacency adjacency(cell600);
    // One great decagon through (1, 0, 0, 0) and a neighbour: on a great circle, the next of
    // two vertices 36 degrees apart is phi times the last less the one before.
    std::vector<int> first = {nearestVertex(cell600, {1, 0, 0, 0})};
    first.push_back(adjacency.neighbours[first[0]].front());
    while (first.size() < 10) {
        const Vertex4& last = cell600.vertices[first.back()];
        const Vertex4& before = cell600.vertices[first[first.size() - 2]];
        Vertex4 next{};
        for (int c = 0; c < 4; ++c) {
            next[c] = kPhi * last[c] - before[c];
        }
        first.push_back(nearestVertex(cell600, next));
    }
    // The other: the vertices orthogonal to the first decagon's plane.
    const Vertex4& a = cell600.vertices[first[0]];
    const Vertex4& b = cell600.vertices[first[1]];
    std::vector<int> second;
    for (std::size_t v = 0; v < cell600.vertices.size(); ++v) {
        double da = 0.0, db = 0.0;
        for (int c = 0; c < 4; ++c) {
            da += a[c] * cell600.vertices[v][c];
            db += b[c] * cell600.vertices[v][c];
        }
        if (std::fabs(da) < 1e-9 && std::fabs(db) < 1e-9) {
            second.push_back(static_cast<int>(v));
        }
    }
    second = inCycleOrder(second, adjacency);

    std::vector<char> removed(cell600.vertices.size(), 0);
    for (const std::vector<int>* ring : {&first, &second}) {
        for (int v : *ring) {
            removed[v] = 1;
        }
    }
    std::vector<int> renumber;
    Polychoron antiprism = withoutVertices(cell600, adjacency, removed, renumber);
    for (const std::vector<int>* ring : {&first, &second}) {
        const int k = static_cast<int>(ring->size());
        for (int i = 0; i < k; ++i) {
            const int v = (*ring)[i], next = (*ring)[(i + 1) % k],
                      before = (*ring)[(i + k - 1) % k];
            // The pentagonal antiprism where v was: its neighbours but the two on the ring.
            std::vector<int> cell;
            for (int w : adjacency.neighbours[v]) {
                if (w != next && w != before) {
                    cell.push_back(w);
                }
            }
            antiprism.cells.push_back(renumbered(cell, renumber));
            // The pentagon between the antiprisms of v and next: their common neighbours.
            std::vector<int> pentagon;
            for (int w : adjacency.neighbours[v]) {
                if (adjacency.joined[w][next] != 0) {
                    pentagon.push_back(w);
                }
            }
            pentagon = inCycleOrder(pentagon, adjacency);
            for (int& w : pentagon) {
                w = renumber[w];
            }
            antiprism.graph.faces.push_back(pentagon);
        }
    }
    return antiprism;
}

}  // namespace tessascene
