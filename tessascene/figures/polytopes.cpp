#include "tessascene/figures/polytopes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <set>

namespace tessascene {

namespace {

constexpr double kTwoPi = 6.283185307179586476925;

double distanceSquared(const Vertex4& a, const Vertex4& b) {
    double sum = 0.0;
    for (int c = 0; c < 4; ++c) {
        const double d = a[c] - b[c];
        sum += d * d;
    }
    return sum;
}

// True when the permutation of 0..3 has an even number of inversions.
bool isEven(const std::array<int, 4>& order) {
    int inversions = 0;
    for (int i = 0; i < 4; ++i) {
        for (int j = i + 1; j < 4; ++j) {
            inversions += order[i] > order[j] ? 1 : 0;
        }
    }
    return inversions % 2 == 0;
}

// Collects the points made from base by permuting its coordinates (all permutations, or only the
// even ones) and changing the signs of its non-zero coordinates in every combination. Points that
// come out equal are kept once.
class PointSet {
public:
    void addPermutations(const Vertex4& base, bool evenOnly) {
        std::array<int, 4> order = {0, 1, 2, 3};
        do {
            if (evenOnly && !isEven(order)) {
                continue;
            }
            for (int signs = 0; signs < 16; ++signs) {
                Vertex4 p;
                for (int c = 0; c < 4; ++c) {
                    p[c] = base[order[c]] * (((signs >> c) & 1) != 0 ? -1.0 : 1.0);
                }
                // -0.0 == 0.0, so a sign change of a zero coordinate finds the point present.
                points_.insert(p);
            }
        } while (std::next_permutation(order.begin(), order.end()));
    }

    EdgeGraph toGraph() const {
        EdgeGraph graph;
        for (const Vertex4& p : points_) {
            graph.addVertex(p[0] + 0.0, p[1] + 0.0, p[2] + 0.0, p[3] + 0.0);  // -0.0 becomes 0.0
        }
        return graph;
    }

private:
    std::set<Vertex4> points_;
};

// Whether the points (at least 3) lie in one plane, within tolerance (a length): every point's
// distance from the plane through the first three.
bool coplanar(const std::vector<Vertex4>& points, double tolerance) {
    // An orthonormal basis u, w of the plane through points 0, 1, 2 (Gram-Schmidt).
    Vertex4 u{}, w{};
    double uu = 0.0;
    for (int c = 0; c < 4; ++c) {
        u[c] = points[1][c] - points[0][c];
        uu += u[c] * u[c];
    }
    double uw = 0.0;
    for (int c = 0; c < 4; ++c) {
        u[c] /= std::sqrt(uu);
        uw += u[c] * (points[2][c] - points[0][c]);
    }
    double ww = 0.0;
    for (int c = 0; c < 4; ++c) {
        w[c] = points[2][c] - points[0][c] - uw * u[c];
        ww += w[c] * w[c];
    }
    if (!(ww > tolerance * tolerance)) {
        return false;  // the first three are collinear: no polygon
    }
    for (int c = 0; c < 4; ++c) {
        w[c] /= std::sqrt(ww);
    }
    for (std::size_t i = 3; i < points.size(); ++i) {
        Vertex4 d{};
        double du = 0.0, dw = 0.0;
        for (int c = 0; c < 4; ++c) {
            d[c] = points[i][c] - points[0][c];
            du += d[c] * u[c];
            dw += d[c] * w[c];
        }
        double rest = 0.0;
        for (int c = 0; c < 4; ++c) {
            const double r = d[c] - du * u[c] - dw * w[c];
            rest += r * r;
        }
        if (rest > tolerance * tolerance) {
            return false;
        }
    }
    return true;
}

// The 2-faces of a regular polytope whose faces are sides-gons: the plane cycles of that many
// edges. In the regular polytopes' edge graphs these are exactly the 2-faces (the tests count
// them against the known face numbers). Each face is found once, from its smallest vertex, in
// the direction of its smaller neighbour.
std::vector<std::vector<int>> planeCycles(const EdgeGraph& graph, int sides) {
    const int n = static_cast<int>(graph.vertices.size());
    std::vector<std::vector<int>> neighbours(n);
    for (const auto& e : graph.edges) {
        neighbours[e.first].push_back(e.second);
        neighbours[e.second].push_back(e.first);
    }
    const double tolerance = 1e-9 * std::max(circumradius(graph), 1e-300);
    std::vector<std::vector<int>> faces;
    std::vector<int> path;
    std::vector<Vertex4> corners;
    // Extends path (which starts at its smallest vertex) by vertices above path[0].
    const auto extend = [&](const auto& self) -> void {
        const int last = path.back();
        if (static_cast<int>(path.size()) == sides) {
            const auto& around = neighbours[last];
            if (path[1] < last &&
                std::find(around.begin(), around.end(), path[0]) != around.end()) {
                corners.clear();
                for (int v : path) {
                    corners.push_back(graph.vertices[v]);
                }
                if (coplanar(corners, tolerance)) {
                    faces.push_back(path);
                }
            }
            return;
        }
        for (int next : neighbours[last]) {
            if (next > path[0] && std::find(path.begin(), path.end(), next) == path.end()) {
                path.push_back(next);
                self(self);
                path.pop_back();
            }
        }
    };
    for (int start = 0; start < n; ++start) {
        path.assign(1, start);
        extend(extend);
    }
    return faces;
}

// The graph of the given points, edges between nearest pairs and 2-faces of the given number of
// sides, scaled to circumradius 1.
EdgeGraph regularPolytope(const PointSet& points, int sides) {
    EdgeGraph graph = points.toGraph();
    connectNearestPairs(graph);
    graph.faces = planeCycles(graph, sides);
    scaleToCircumradius(graph, 1.0);
    return graph;
}

// The m x n torus grid with the polygon radii r1 (angle a, xy plane) and r2 (angle b, zq plane),
// its quadrilaterals as faces; closed adds the m-gons and n-gons that close a duoprism.
EdgeGraph torusGrid(int m, int n, double r1, double r2, bool closed) {
    EdgeGraph graph;
    for (int i = 0; i < m; ++i) {
        const double a = kTwoPi * i / m;
        for (int j = 0; j < n; ++j) {
            const double b = kTwoPi * j / n;
            graph.addVertex(r1 * std::cos(a), r1 * std::sin(a), r2 * std::cos(b), r2 * std::sin(b));
        }
    }
    for (int i = 0; i < m; ++i) {
        for (int j = 0; j < n; ++j) {
            const int here = i * n + j;
            graph.addEdge(here, ((i + 1) % m) * n + j);
            graph.addEdge(here, i * n + (j + 1) % n);
            graph.faces.push_back({here, ((i + 1) % m) * n + j, ((i + 1) % m) * n + (j + 1) % n,
                                   i * n + (j + 1) % n});
        }
    }
    if (closed) {
        for (int j = 0; j < n; ++j) {  // the m-gon at angle b number j
            graph.faces.emplace_back();
            for (int i = 0; i < m; ++i) {
                graph.faces.back().push_back(i * n + j);
            }
        }
        for (int i = 0; i < m; ++i) {  // the n-gon at angle a number i
            graph.faces.emplace_back();
            for (int j = 0; j < n; ++j) {
                graph.faces.back().push_back(i * n + j);
            }
        }
    }
    scaleToCircumradius(graph, 1.0);
    return graph;
}

}  // namespace

void connectNearestPairs(EdgeGraph& graph) {
    const int n = static_cast<int>(graph.vertices.size());
    double shortest = std::numeric_limits<double>::infinity();
    for (int a = 0; a < n; ++a) {
        for (int b = a + 1; b < n; ++b) {
            const double d = distanceSquared(graph.vertices[a], graph.vertices[b]);
            if (d > 0.0 && d < shortest) {
                shortest = d;
            }
        }
    }
    // Squared distances: a relative tolerance of 2e-6 on them is 1e-6 on the distances.
    const double limit = shortest * (1.0 + 2e-6);
    for (int a = 0; a < n; ++a) {
        for (int b = a + 1; b < n; ++b) {
            const double d = distanceSquared(graph.vertices[a], graph.vertices[b]);
            if (d > 0.0 && d <= limit) {
                graph.addEdge(a, b);
            }
        }
    }
}

double circumradius(const EdgeGraph& graph) {
    // Every coordinate is first scaled by a power of two that brings the largest one near 1,
    // which is exact: squares neither overflow (1e200) nor vanish (1e-200), and coordinates of
    // ordinary size give the very same result as without scaling.
    const double largestCoordinate = largestMagnitude(graph.vertices);
    if (largestCoordinate == 0.0 || !std::isfinite(largestCoordinate)) {
        return largestCoordinate;
    }
    const int exponent = std::ilogb(largestCoordinate);
    double largest = 0.0;
    for (const Vertex4& v : graph.vertices) {
        double sum = 0.0;
        for (double c : v) {
            const double scaled = std::ldexp(c, -exponent);
            sum += scaled * scaled;
        }
        largest = std::max(largest, sum);
    }
    return std::ldexp(std::sqrt(largest), exponent);
}

void scaleToCircumradius(EdgeGraph& graph, double radius) {
    const double current = circumradius(graph);
    if (current == 0.0 || !std::isfinite(current)) {
        return;
    }
    for (Vertex4& v : graph.vertices) {
        for (double& c : v) {
            c = scaledCoordinate(c, current, radius);
        }
    }
}

double scaledCoordinate(double c, double current, double radius) {
    // radius / current overflows or vanishes for a tiny or huge figure; then each coordinate is
    // divided first, which keeps every value within 1 of radius.
    const double factor = radius / current;
    return std::isnormal(factor) ? c * factor : c / current * radius;
}

EdgeGraph makeFiveCell() {
    // Four vertices at (+-1, +-1, +-1) with an even number of minus signs, shifted down in q,
    // and one on the q axis: all ten pairs are sqrt 8 apart, all vertices 4 / sqrt 5 from 0.
    const double low = -1.0 / std::sqrt(5.0);
    EdgeGraph graph;
    graph.addVertex(1, 1, 1, low);
    graph.addVertex(1, -1, -1, low);
    graph.addVertex(-1, 1, -1, low);
    graph.addVertex(-1, -1, 1, low);
    graph.addVertex(0, 0, 0, 4.0 / std::sqrt(5.0));
    connectNearestPairs(graph);
    graph.faces = planeCycles(graph, 3);
    scaleToCircumradius(graph, 1.0);
    return graph;
}

EdgeGraph makeTesseract() {
    PointSet points;
    points.addPermutations({1, 1, 1, 1}, false);
    return regularPolytope(points, 4);
}

EdgeGraph makeSixteenCell() {
    PointSet points;
    points.addPermutations({1, 0, 0, 0}, false);
    return regularPolytope(points, 3);
}

EdgeGraph makeTwentyFourCell() {
    PointSet points;
    points.addPermutations({1, 1, 0, 0}, false);
    return regularPolytope(points, 3);
}

EdgeGraph makeSixHundredCell() {
    PointSet points;
    points.addPermutations({1, 0, 0, 0}, false);                     // 8
    points.addPermutations({0.5, 0.5, 0.5, 0.5}, false);             // 16
    points.addPermutations({kPhi / 2, 0.5, 0.5 / kPhi, 0.0}, true);  // 96
    return regularPolytope(points, 3);
}

EdgeGraph makeOneTwentyCell() {
    // The standard coordinates of circumradius 2 sqrt 2.
    const double phi2 = kPhi * kPhi;
    const double root5 = std::sqrt(5.0);
    PointSet points;
    points.addPermutations({0, 0, 2, 2}, false);                          // 24
    points.addPermutations({1, 1, 1, root5}, false);                      // 64
    points.addPermutations({1 / phi2, kPhi, kPhi, kPhi}, false);          // 64
    points.addPermutations({1 / kPhi, 1 / kPhi, 1 / kPhi, phi2}, false);  // 64
    points.addPermutations({0, 1 / phi2, 1, phi2}, true);                 // 96
    points.addPermutations({0, 1 / kPhi, kPhi, root5}, true);             // 96
    points.addPermutations({1 / kPhi, 1, kPhi, 2}, true);                 // 192
    return regularPolytope(points, 5);
}

EdgeGraph makeDuoprism(int p, int q) {
    // Polygon radii that give both polygons the edge length 1.
    return torusGrid(p, q, 0.5 / std::sin(kTwoPi / 2 / p), 0.5 / std::sin(kTwoPi / 2 / q), true);
}

EdgeGraph makeCliffordTorus(int m, int n) {
    return torusGrid(m, n, 1.0, 1.0, false);
}

EdgeGraph makeHopfCircles(int rings, int circles, int segments) {
    EdgeGraph graph;
    for (int k = 0; k < rings; ++k) {
        // Polar angle of the ring on the 2-sphere; the fibre over it lies on the torus with
        // radii cos(theta / 2) and sin(theta / 2).
        const double theta = kTwoPi / 2 * (k + 0.5) / rings;
        const double r1 = std::cos(theta / 2);
        const double r2 = std::sin(theta / 2);
        for (int c = 0; c < circles; ++c) {
            // Neighbouring rings are turned half a step against each other.
            const double azimuth = kTwoPi * (c + 0.5 * (k % 2)) / circles;
            const int first = static_cast<int>(graph.vertices.size());
            for (int s = 0; s < segments; ++s) {
                const double psi = kTwoPi * s / segments;
                graph.addVertex(r1 * std::cos(psi), r1 * std::sin(psi),
                                r2 * std::cos(psi + azimuth), r2 * std::sin(psi + azimuth));
            }
            for (int s = 0; s < segments; ++s) {
                graph.addEdge(first + s, first + (s + 1) % segments);
            }
        }
    }
    return graph;
}

}  // namespace tessascene
