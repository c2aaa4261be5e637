// The cut works on the figure's 2-faces rather than on a convex hull of the crossing points: a
// convex face crossed by the hyperplane gives one segment between two points named by what they
// are (a vertex, or the crossing on an edge), so which points coincide and which are joined
// needs no tolerance beyond the one that says whether a vertex lies on the hyperplane, and
// figures that are not convex (the torus grid, OFF files) are cut as well. A hull would have to
// decide with tolerances which facets are coplanar and which nearby points are one.
#include "tessascene/cut/slice.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

#include "tessascene/figures/polytopes.h"

namespace tessascene {

namespace {

// Builds the cut's vertex list: each point is found by what it is (a vertex of the figure, or
// the crossing on an edge) and by its 32-bit float coordinates, so each is made once.
class CutPoints {
public:
    CutPoints(const EdgeGraph& source, const Hyperplane& plane, const std::vector<double>& side,
              EdgeGraph& cut)
        : source_(source), plane_(plane), side_(side), cut_(cut) {
        normalSquared_ = dot(plane.normal, plane.normal);
        int nonZero = 0;
        for (int c = 0; c < 4; ++c) {
            if (plane.normal[c] != 0.0) {
                ++nonZero;
                axis_ = c;
            }
        }
        if (nonZero != 1) {
            axis_ = -1;
        }
    }

    // The cut vertex at the figure's vertex v, which lies on the plane.
    int atVertex(int v) {
        const auto found = byVertex_.find(v);
        if (found != byVertex_.end()) {
            return found->second;
        }
        const int index = add(source_.vertices[v]);
        byVertex_.emplace(v, index);
        return index;
    }

    // The cut vertex where the edge a-b crosses the plane; a and b lie strictly on either side.
    int onEdge(int a, int b) {
        if (a > b) {
            std::swap(a, b);  // the same arithmetic from both faces that share the edge
        }
        const std::uint64_t key = static_cast<std::uint64_t>(a) << 32 | static_cast<unsigned>(b);
        const auto found = byEdge_.find(key);
        if (found != byEdge_.end()) {
            return found->second;
        }
        const Vertex4& p = source_.vertices[a];
        const Vertex4& q = source_.vertices[b];
        const double t = side_[a] / (side_[a] - side_[b]);
        Vertex4 point{};
        for (int c = 0; c < 4; ++c) {
            point[c] = p[c] + t * (q[c] - p[c]);
        }
        const int index = add(point);
        byEdge_.emplace(key, index);
        return index;
    }

private:
    // Projects point onto the plane and returns the cut vertex with its float coordinates.
    int add(Vertex4 point) {
        const double off = (dot(plane_.normal, point) - plane_.offset) / normalSquared_;
        for (int c = 0; c < 4; ++c) {
            point[c] -= off * plane_.normal[c];
        }
        if (axis_ >= 0) {
            point[axis_] = plane_.offset / plane_.normal[axis_];
        }
        std::array<float, 4> key{};
        for (int c = 0; c < 4; ++c) {
            key[c] = static_cast<float>(point[c]) + 0.0f;  // -0 and 0 are one value
        }
        const auto found = byFloats_.find(key);
        if (found != byFloats_.end()) {
            return found->second;
        }
        const int index = cut_.addVertex(point[0], point[1], point[2], point[3]);
        byFloats_.emplace(key, index);
        return index;
    }

    const EdgeGraph& source_;
    const Hyperplane& plane_;
    const std::vector<double>& side_;
    EdgeGraph& cut_;
    double normalSquared_ = 1.0;
    int axis_ = -1;  // the only coordinate the normal has, or -1
    std::unordered_map<int, int> byVertex_;
    std::unordered_map<std::uint64_t, int> byEdge_;
    std::map<std::array<float, 4>, int> byFloats_;
};

// Joins the cut points of one face that is crossed more than twice: sorted along the line they
// lie on (the direction between the two farthest apart), then paired off in turn.
void joinAlongLine(std::vector<int> points, EdgeGraph& cut) {
    const auto& at = cut.vertices;
    int from = points[0], to = points[1];
    double widest = -1.0;
    for (int a : points) {
        for (int b : points) {
            Vertex4 d{};
            for (int c = 0; c < 4; ++c) {
                d[c] = at[b][c] - at[a][c];
            }
            if (dot(d, d) > widest) {
                widest = dot(d, d);
                from = a;
                to = b;
            }
        }
    }
    Vertex4 direction{};
    for (int c = 0; c < 4; ++c) {
        direction[c] = at[to][c] - at[from][c];
    }
    std::sort(points.begin(), points.end(),
              [&](int a, int b) { return dot(at[a], direction) < dot(at[b], direction); });
    for (std::size_t i = 0; i + 1 < points.size(); i += 2) {
        cut.addEdge(points[i], points[i + 1]);
    }
}

}  // namespace

Extent extentAlong(const EdgeGraph& graph, const Vertex4& normal) {
    Extent extent{dot(graph.vertices[0], normal), dot(graph.vertices[0], normal)};
    for (const Vertex4& v : graph.vertices) {
        const double d = dot(v, normal);
        extent.low = std::min(extent.low, d);
        extent.high = std::max(extent.high, d);
    }
    return extent;
}

double onPlaneTolerance(const EdgeGraph& graph, const Vertex4& normal) {
    return 1e-9 * circumradius(graph) * std::sqrt(dot(normal, normal));
}

EdgeGraph cutFigure(const EdgeGraph& graph, const Hyperplane& plane) {
    // Which side of the plane each vertex lies on: its signed value, 0 on the plane.
    const double tolerance = onPlaneTolerance(graph, plane.normal);
    std::vector<double> side(graph.vertices.size());
    for (std::size_t v = 0; v < side.size(); ++v) {
        const double d = dot(graph.vertices[v], plane.normal) - plane.offset;
        side[v] = std::fabs(d) <= tolerance ? 0.0 : d;
    }
    const auto crosses = [&side](int a, int b) {
        return (side[a] < 0.0 && side[b] > 0.0) || (side[a] > 0.0 && side[b] < 0.0);
    };

    EdgeGraph cut;
    CutPoints points(graph, plane, side, cut);
    for (std::size_t v = 0; v < side.size(); ++v) {
        if (side[v] == 0.0) {
            points.atVertex(static_cast<int>(v));
        }
    }
    if (graph.faces.empty()) {
        for (const auto& e : graph.edges) {
            if (crosses(e.first, e.second)) {
                points.onEdge(e.first, e.second);
            }
        }
        return cut;
    }

    for (const auto& e : graph.edges) {
        if (side[e.first] == 0.0 && side[e.second] == 0.0) {
            cut.addEdge(points.atVertex(e.first), points.atVertex(e.second));
        }
    }
    std::vector<int> met;
    for (const std::vector<int>& face : graph.faces) {
        met.clear();
        bool inPlane = true;
        const std::size_t n = face.size();
        for (std::size_t i = 0; i < n; ++i) {
            const int a = face[i];
            const int b = face[(i + 1) % n];
            inPlane = inPlane && side[a] == 0.0;
            if (side[a] == 0.0) {
                met.push_back(points.atVertex(a));
            } else if (crosses(a, b)) {
                met.push_back(points.onEdge(a, b));
            }
        }
        if (inPlane) {
            continue;  // its edges are edges in the plane, added above
        }
        std::sort(met.begin(), met.end());
        met.erase(std::unique(met.begin(), met.end()), met.end());
        if (met.size() == 2) {
            cut.addEdge(met[0], met[1]);
        } else if (met.size() > 2) {
            joinAlongLine(met, cut);
        }
    }
    return cut;
}

}  // namespace tessascene
