#include "tessascene/figures/wythoff.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>

#include "tessascene/figures/polytopes.h"

namespace tessascene {

namespace {

using Matrix4 = std::array<std::array<double, 4>, 4>;

Vertex4 normalised(const Vertex4& v) {
    const double length = std::sqrt(dot(v, v));
    return {v[0] / length, v[1] / length, v[2] / length, v[3] / length};
}

// The reflection in the hyperplane through the origin with the unit normal n.
Matrix4 reflection(const Vertex4& n) {
    Matrix4 m{};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            m[r][c] = (r == c ? 1.0 : 0.0) - 2.0 * n[r] * n[c];
        }
    }
    return m;
}

Matrix4 product(const Matrix4& a, const Matrix4& b) {
    Matrix4 m{};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            for (int k = 0; k < 4; ++k) {
                m[r][c] += a[r][k] * b[k][c];
            }
        }
    }
    return m;
}

Vertex4 transformed(const Matrix4& m, const Vertex4& v) {
    Vertex4 out{};
    for (int r = 0; r < 4; ++r) {
        out[r] = m[r][0] * v[0] + m[r][1] * v[1] + m[r][2] * v[2] + m[r][3] * v[3];
    }
    return out;
}

// Finds points again by their coordinates rounded to a grid of spacing `cell`, far finer than
// the distance between any two vertices and far coarser than rounding errors. A coordinate close
// to a rounding boundary is also looked up on the other side of it, so two computations of one
// point never miss each other.
class PointIndex {
public:
    explicit PointIndex(double cell) : cell_(cell) {}

    // The index stored for p, or -1.
    int find(const Vertex4& p) const {
        std::array<std::int64_t, 4> base{}, other{};
        int uncertain = 0;  // bit c: coordinate c is near a boundary
        for (int c = 0; c < 4; ++c) {
            const double scaled = p[c] / cell_;
            base[c] = std::llround(scaled);
            const double fraction = scaled - std::floor(scaled);
            if (std::fabs(fraction - 0.5) < 0.05) {
                uncertain |= 1 << c;
                other[c] = static_cast<double>(base[c]) > scaled ? base[c] - 1 : base[c] + 1;
            }
        }
        for (int choice = 0; choice < 16; ++choice) {
            if ((choice & ~uncertain) != 0) {
                continue;
            }
            std::array<std::int64_t, 4> key = base;
            for (int c = 0; c < 4; ++c) {
                if ((choice >> c & 1) != 0) {
                    key[c] = other[c];
                }
            }
            const auto found = map_.find(key);
            if (found != map_.end()) {
                return found->second;
            }
        }
        return -1;
    }

    void insert(const Vertex4& p, int index) {
        std::array<std::int64_t, 4> key{};
        for (int c = 0; c < 4; ++c) {
            key[c] = std::llround(p[c] / cell_);
        }
        map_.emplace(key, index);
    }

private:
    struct KeyHash {
        std::size_t operator()(const std::array<std::int64_t, 4>& key) const {
            std::uint64_t h = 1469598103934665603ull;
            for (std::int64_t k : key) {
                h = (h ^ static_cast<std::uint64_t>(k)) * 1099511628211ull;
            }
            return static_cast<std::size_t>(h);
        }
    };
    double cell_;
    std::unordered_map<std::array<std::int64_t, 4>, int, KeyHash> map_;
};

// The orbit of a point under the group the maps generate: the points (the seed first) and, for
// each map, the index of its image of every point.
struct Orbit {
    std::vector<Vertex4> points;
    std::vector<std::vector<int>> images;
};

Orbit orbitOf(const Vertex4& seed, const std::vector<Matrix4>& maps) {
    Orbit orbit;
    PointIndex index(1e-7 * std::max(std::sqrt(dot(seed, seed)), 1e-300));
    orbit.points.push_back(seed);
    index.insert(seed, 0);
    orbit.images.assign(maps.size(), {});
    for (std::size_t v = 0; v < orbit.points.size(); ++v) {
        for (std::size_t g = 0; g < maps.size(); ++g) {
            const Vertex4 image = transformed(maps[g], orbit.points[v]);
            int found = index.find(image);
            if (found < 0) {
                found = static_cast<int>(orbit.points.size());
                orbit.points.push_back(image);
                index.insert(image, found);
            }
            orbit.images[g].push_back(found);
        }
    }
    return orbit;
}

struct IndicesHash {
    std::size_t operator()(const std::vector<int>& indices) const {
        std::uint64_t h = 1469598103934665603ull;
        for (int i : indices) {
            h = (h ^ static_cast<std::uint64_t>(i)) * 1099511628211ull;
        }
        return static_cast<std::size_t>(h);
    }
};

// The orbit of a shape (vertex indices: an edge, a polygon in order, a set) under the
// permutations images[g] for g in generators. Each image keeps the order of shape's indices;
// images with the same set of vertices are one.
std::vector<std::vector<int>> shapeOrbit(const std::vector<int>& shape,
                                         const std::vector<std::vector<int>>& images,
                                         const std::vector<int>& generators) {
    std::vector<std::vector<int>> shapes = {shape};
    std::unordered_set<std::vector<int>, IndicesHash> seen;
    std::vector<int> key(shape);
    std::sort(key.begin(), key.end());
    seen.insert(key);
    for (std::size_t s = 0; s < shapes.size(); ++s) {
        for (int g : generators) {
            std::vector<int> image(shapes[s].size());
            for (std::size_t i = 0; i < image.size(); ++i) {
                image[i] = images[g][shapes[s][i]];
            }
            key = image;
            std::sort(key.begin(), key.end());
            if (seen.insert(key).second) {
                shapes.push_back(std::move(image));
            }
        }
    }
    return shapes;
}

// A group given by its simple roots (unit normals of its mirrors) and Coxeter matrix.
struct ReflectionGroup {
    std::vector<Vertex4> normals;
    std::vector<std::vector<int>> order;  // order[i][j]: the order of the product of i and j
};

// A chain diagram with the given orders between neighbours.
std::vector<std::vector<int>> chain(const std::vector<int>& links) {
    const std::size_t n = links.size() + 1;
    std::vector<std::vector<int>> order(n, std::vector<int>(n, 2));
    for (std::size_t i = 0; i < links.size(); ++i) {
        order[i][i + 1] = order[i + 1][i] = links[i];
    }
    return order;
}

ReflectionGroup rankFourGroup(CoxeterGroup group) {
    const double r = 1.0 / std::sqrt(2.0);
    switch (group) {
        case CoxeterGroup::kA4: {
            // The mirrors that swap neighbouring vertices of the 5-cell of makeFiveCell, so that
            // A4:1000 is that 5-cell itself.
            const double low = -1.0 / std::sqrt(5.0);
            const Vertex4 p[5] = {{1, 1, 1, low},
                                  {1, -1, -1, low},
                                  {-1, 1, -1, low},
                                  {-1, -1, 1, low},
                                  {0, 0, 0, 4.0 / std::sqrt(5.0)}};
            ReflectionGroup g{{}, chain({3, 3, 3})};
            for (int i = 0; i < 4; ++i) {
                g.normals.push_back(normalised({p[i][0] - p[i + 1][0], p[i][1] - p[i + 1][1],
                                                p[i][2] - p[i + 1][2], p[i][3] - p[i + 1][3]}));
            }
            return g;
        }
        case CoxeterGroup::kB4:  // B4:1000 is the tesseract (+-1, +-1, +-1, +-1)
            return {{{0, 0, 0, 1}, {0, 0, r, -r}, {0, r, -r, 0}, {r, -r, 0, 0}}, chain({4, 3, 3})};
        case CoxeterGroup::kD4: {
            ReflectionGroup g{{{r, -r, 0, 0}, {0, r, -r, 0}, {0, 0, r, -r}, {0, 0, r, r}},
                              chain({3, 3})};
            for (auto& row : g.order) {
                row.push_back(2);
            }
            g.order.push_back({2, 3, 2, 2});
            g.order[1][3] = 3;
            return g;
        }
        case CoxeterGroup::kF4:  // F4:1000 is the 24-cell, permutations of (+-1, +-1, 0, 0)
            return {{{0, r, -r, 0}, {0, 0, r, -r}, {0, 0, 0, 1}, {0.5, -0.5, -0.5, -0.5}},
                    chain({3, 4, 3})};
        case CoxeterGroup::kH4:
            // Four vertices of the 600-cell of makeSixHundredCell, so that H4:0001 is that
            // 600-cell, and the 120-cell H4:1000 has a cell about each of its vertices.
            return {{{0, 0, 1, 0},
                     {0, 0.5, -kPhi / 2, 0.5 / kPhi},
                     {0.5, -kPhi / 2, 0, -0.5 / kPhi},
                     {-1, 0, 0, 0}},
                    chain({5, 3, 3})};
    }
    return {};
}

ReflectionGroup rankThreeGroup(PolyhedralGroup group) {
    const double r = 1.0 / std::sqrt(2.0);
    switch (group) {
        case PolyhedralGroup::kA3:  // A3:100 is the tetrahedron of the cube's corners
            return {{{0, r, -r, 0}, {r, -r, 0, 0}, {0, r, r, 0}}, chain({3, 3})};
        case PolyhedralGroup::kB3:  // B3:100 is the cube (+-1, +-1, +-1)
            return {{{0, 0, 1, 0}, {0, r, -r, 0}, {r, -r, 0, 0}}, chain({4, 3})};
        case PolyhedralGroup::kH3:
            return {{{-1, 0, 0, 0}, {kPhi / 2, -0.5, -0.5 / kPhi, 0}, {0, 1, 0, 0}}, chain({5, 3})};
    }
    return {};
}

// Solves the 4x4 system a x = b (a regular) by Gaussian elimination with partial pivoting.
Vertex4 solve(Matrix4 a, Vertex4 b) {
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int row = col + 1; row < 4; ++row) {
            if (std::fabs(a[row][col]) > std::fabs(a[pivot][col])) {
                pivot = row;
            }
        }
        std::swap(a[col], a[pivot]);
        std::swap(b[col], b[pivot]);
        for (int row = col + 1; row < 4; ++row) {
            const double f = a[row][col] / a[col][col];
            for (int c = col; c < 4; ++c) {
                a[row][c] -= f * a[col][c];
            }
            b[row] -= f * b[col];
        }
    }
    Vertex4 x{};
    for (int row = 3; row >= 0; --row) {
        double sum = b[row];
        for (int c = row + 1; c < 4; ++c) {
            sum -= a[row][c] * x[c];
        }
        x[row] = sum / a[row][row];
    }
    return x;
}

// The point at distance 1 from every ringed mirror, on the positive side, and on every other
// mirror; for a rank-3 group also on q = 0.
Vertex4 seedPoint(const ReflectionGroup& group, const std::vector<bool>& rings) {
    Matrix4 a{};
    Vertex4 b{};
    for (std::size_t i = 0; i < group.normals.size(); ++i) {
        for (int c = 0; c < 4; ++c) {
            a[i][c] = group.normals[i][c];
        }
        b[i] = rings[i] ? 1.0 : 0.0;
    }
    if (group.normals.size() == 3) {
        a[3] = {0, 0, 0, 1};
    }
    return solve(a, b);
}

// Whether the nodes form a part of the diagram whose every connected piece holds a ringed node:
// exactly the parts whose subgroup moves the seed in all their directions, so that the orbit
// of the seed under them is a face of full dimension.
bool active(const ReflectionGroup& group, const std::vector<int>& nodes,
            const std::vector<bool>& rings) {
    for (int start : nodes) {
        // The piece of start: the nodes reached through links of order 3 or more.
        std::vector<int> piece = {start};
        for (std::size_t k = 0; k < piece.size(); ++k) {
            for (int other : nodes) {
                if (group.order[piece[k]][other] >= 3 &&
                    std::find(piece.begin(), piece.end(), other) == piece.end()) {
                    piece.push_back(other);
                }
            }
        }
        if (std::none_of(piece.begin(), piece.end(), [&](int n) { return rings[n]; })) {
            return false;
        }
    }
    return true;
}

// The seed's polygon of the rank-2 subgroup of mirrors i and j, in order around it: the points
// w(seed) for the words w = r_i, r_i r_j, r_i r_j r_i, ..., each new one once.
std::vector<int> seedPolygon(const Orbit& orbit, int i, int j, int order) {
    std::vector<int> polygon = {0};
    for (int length = 1; length <= 2 * order; ++length) {
        int v = 0;
        for (int letter = length; letter >= 1; --letter) {  // the last letter acts first
            v = orbit.images[letter % 2 == 1 ? i : j][v];
        }
        if (v == 0) {
            break;
        }
        if (v != polygon.back()) {
            polygon.push_back(v);
        }
    }
    return polygon;
}

// The Wythoff figure of a group of rank 3 or 4 with the given rings; cells for rank 4 only.
Polychoron wythoff(const ReflectionGroup& group, const std::vector<bool>& rings) {
    const int rank = static_cast<int>(group.normals.size());
    std::vector<Matrix4> mirrors;
    std::vector<int> all;
    for (int i = 0; i < rank; ++i) {
        mirrors.push_back(reflection(group.normals[i]));
        all.push_back(i);
    }
    const Orbit orbit = orbitOf(seedPoint(group, rings), mirrors);

    Polychoron result;
    EdgeGraph& graph = result.graph;
    for (const Vertex4& p : orbit.points) {
        graph.addVertex(p[0], p[1], p[2], p[3]);
    }
    for (int i = 0; i < rank; ++i) {
        if (rings[i]) {
            for (const std::vector<int>& e :
                 shapeOrbit({0, orbit.images[i][0]}, orbit.images, all)) {
                graph.addEdge(e[0], e[1]);
            }
        }
    }
    for (int i = 0; i < rank; ++i) {
        for (int j = i + 1; j < rank; ++j) {
            if (active(group, {i, j}, rings)) {
                const std::vector<int> seed =
                    seedPolygon(orbit, rings[i] ? i : j, rings[i] ? j : i, group.order[i][j]);
                for (std::vector<int>& face : shapeOrbit(seed, orbit.images, all)) {
                    graph.faces.push_back(std::move(face));
                }
            }
        }
    }
    if (rank == 4) {
        for (int left = 0; left < 4; ++left) {  // the three nodes other than left
            std::vector<int> nodes;
            for (int n = 0; n < 4; ++n) {
                if (n != left) {
                    nodes.push_back(n);
                }
            }
            if (!active(group, nodes, rings)) {
                continue;
            }
            std::vector<int> seedCell;
            for (const std::vector<int>& point : shapeOrbit({0}, orbit.images, nodes)) {
                seedCell.push_back(point[0]);
            }
            std::sort(seedCell.begin(), seedCell.end());
            for (std::vector<int>& cell : shapeOrbit(seedCell, orbit.images, all)) {
                std::sort(cell.begin(), cell.end());
                result.cells.push_back(std::move(cell));
            }
        }
    }
    scaleToCircumradius(graph, 1.0);
    return result;
}

Vertex4 minus(const Vertex4& a, const Vertex4& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2], a[3] - b[3]};
}

// The 3D cross product of the x, y, z parts.
Vertex4 cross(const Vertex4& a, const Vertex4& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0], 0.0};
}

// The faces of a convex polyhedron in q = 0 whose edges are known: the planes through a vertex
// and two of its neighbours that have every vertex on one side, each face's vertices in order
// around it.
std::vector<std::vector<int>> convexFaces(const EdgeGraph& graph) {
    const int n = static_cast<int>(graph.vertices.size());
    std::vector<std::vector<int>> neighbours(n);
    for (const auto& e : graph.edges) {
        neighbours[e.first].push_back(e.second);
        neighbours[e.second].push_back(e.first);
    }
    const double tolerance = 1e-9 * circumradius(graph);
    std::unordered_set<std::vector<int>, IndicesHash> seen;
    std::vector<std::vector<int>> faces;
    for (int v = 0; v < n; ++v) {
        const Vertex4& p = graph.vertices[v];
        for (int u : neighbours[v]) {
            for (int w : neighbours[v]) {
                const Vertex4 normal =
                    cross(minus(graph.vertices[u], p), minus(graph.vertices[w], p));
                const double length = std::sqrt(dot(normal, normal));
                if (u >= w || length < tolerance * tolerance) {
                    continue;
                }
                std::vector<int> on;
                int above = 0, below = 0;
                for (int k = 0; k < n; ++k) {
                    const double d = dot(normal, minus(graph.vertices[k], p)) / length;
                    above += d > tolerance ? 1 : 0;
                    below += d < -tolerance ? 1 : 0;
                    if (std::fabs(d) <= tolerance) {
                        on.push_back(k);
                    }
                }
                std::vector<int> key = on;  // already increasing
                if ((above > 0 && below > 0) || !seen.insert(key).second) {
                    continue;
                }
                // Order the face's vertices by their angle about its centre.
                Vertex4 centre{};
                for (int k : on) {
                    for (int c = 0; c < 3; ++c) {
                        centre[c] += graph.vertices[k][c] / static_cast<double>(on.size());
                    }
                }
                const Vertex4 e1 = normalised(minus(graph.vertices[on[0]], centre));
                const Vertex4 e2 =
                    cross({normal[0] / length, normal[1] / length, normal[2] / length, 0.0}, e1);
                std::vector<std::pair<double, int>> around;
                for (int k : on) {
                    const Vertex4 d = minus(graph.vertices[k], centre);
                    around.emplace_back(std::atan2(dot(d, e2), dot(d, e1)), k);
                }
                std::sort(around.begin(), around.end());
                faces.emplace_back();
                for (const auto& entry : around) {
                    faces.back().push_back(entry.second);
                }
            }
        }
    }
    return faces;
}

// |x - m x|^2 as the quadratic form of (I - m)^T (I - m).
Matrix4 distanceForm(const Matrix4& m) {
    Matrix4 d{};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            for (int k = 0; k < 4; ++k) {
                const double a = (k == r ? 1.0 : 0.0) - m[k][r];
                const double b = (k == c ? 1.0 : 0.0) - m[k][c];
                d[r][c] += a * b;
            }
        }
    }
    return d;
}

}  // namespace

bool parseWythoffSymbol(const std::string& text, WythoffSymbol& symbol, std::string& error) {
    static const std::pair<const char*, CoxeterGroup> groups[] = {{"A4", CoxeterGroup::kA4},
                                                                  {"B4", CoxeterGroup::kB4},
                                                                  {"D4", CoxeterGroup::kD4},
                                                                  {"F4", CoxeterGroup::kF4},
                                                                  {"H4", CoxeterGroup::kH4}};
    const std::size_t colon = text.find(':');
    const std::string group = text.substr(0, colon);
    const std::string rings = colon == std::string::npos ? "" : text.substr(colon + 1);
    const auto named = std::find_if(std::begin(groups), std::end(groups),
                                    [&](const auto& g) { return group == g.first; });
    if (named == std::end(groups)) {
        error = "bad Wythoff symbol '" + text + "': GROUP must be A4, B4, D4, F4 or H4";
        return false;
    }
    if (rings.size() != 4 || rings.find_first_not_of("01") != std::string::npos ||
        rings == "0000") {
        error = "bad Wythoff symbol '" + text +
                "': RINGS must be four digits 0 or 1, one per node, at least one 1";
        return false;
    }
    symbol.group = named->second;
    for (int i = 0; i < 4; ++i) {
        symbol.rings[i] = rings[i] == '1';
    }
    return true;
}

Polychoron makeWythoffPolytope(const WythoffSymbol& symbol) {
    return wythoff(rankFourGroup(symbol.group),
                   std::vector<bool>(symbol.rings.begin(), symbol.rings.end()));
}

EdgeGraph makeWythoffPolyhedron(PolyhedralGroup group, const std::array<bool, 3>& rings) {
    return wythoff(rankThreeGroup(group), std::vector<bool>(rings.begin(), rings.end())).graph;
}

EdgeGraph makeSnubPolyhedron(PolyhedralGroup group) {
    const ReflectionGroup g = rankThreeGroup(group);
    const Matrix4 r0 = reflection(g.normals[0]), r1 = reflection(g.normals[1]),
                  r2 = reflection(g.normals[2]);
    // The rotations about the chamber's corners: a (order m01) and b (order m12) move the seed
    // along a face, c = r0 r2 (order 2) along the edge between two triangles.
    const Matrix4 a = product(r0, r1), b = product(r1, r2), c = product(r0, r2);
    const Matrix4 qa = distanceForm(a), qb = distanceForm(b), qc = distanceForm(c);
    const auto form = [](const Matrix4& q, const Vertex4& x) { return dot(x, transformed(q, x)); };
    // Newton's method on |x - a x|^2 = |x - c x|^2, |x - b x|^2 = |x - c x|^2 and the sum of the
    // distances to the three mirrors = 1, from the centre of the chamber. The forms are
    // quadratic, so the Jacobian's rows are 2 (Qa - Qc) x and 2 (Qb - Qc) x.
    Vertex4 x = seedPoint(g, {true, true, true});
    for (int step = 0; step < 50; ++step) {
        Matrix4 jacobian{};
        Vertex4 value{};
        const Vertex4 ga = transformed(qa, x), gb = transformed(qb, x), gc = transformed(qc, x);
        for (int k = 0; k < 4; ++k) {
            jacobian[0][k] = 2.0 * (ga[k] - gc[k]);
            jacobian[1][k] = 2.0 * (gb[k] - gc[k]);
            jacobian[2][k] = g.normals[0][k] + g.normals[1][k] + g.normals[2][k];
        }
        jacobian[3] = {0, 0, 0, 1};
        value[0] = form(qa, x) - form(qc, x);
        value[1] = form(qb, x) - form(qc, x);
        value[2] = dot(x, g.normals[0]) + dot(x, g.normals[1]) + dot(x, g.normals[2]) - 1.0;
        const Vertex4 change = solve(jacobian, value);
        for (int k = 0; k < 3; ++k) {
            x[k] -= change[k];
        }
    }
    const Orbit orbit = orbitOf(x, {a, b});
    EdgeGraph graph;
    for (const Vertex4& p : orbit.points) {
        graph.addVertex(p[0], p[1], p[2], 0.0);
    }
    connectNearestPairs(graph);
    graph.faces = convexFaces(graph);
    scaleToCircumradius(graph, 1.0);
    return graph;
}

}  // namespace tessascene
