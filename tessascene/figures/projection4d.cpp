#include "tessascene/figures/projection4d.h"

#include <algorithm>
#include <cmath>
#include <queue>

#include "tessascene/figures/numbers.h"
#include "tessascene/figures/polytopes.h"

namespace tessascene {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180.0;

double norm(const Vertex4& v) {
    return std::sqrt(dot(v, v));
}

// a + f b
Vertex4 plus(const Vertex4& a, double f, const Vertex4& b) {
    return {a[0] + f * b[0], a[1] + f * b[1], a[2] + f * b[2], a[3] + f * b[3]};
}

// A great-circle arc from unit a to unit b: a, the unit w orthogonal to a in the arc's plane
// towards b, and the angle. A zero angle (a == b) leaves w at 0.
struct Arc {
    Vertex4 a{};
    Vertex4 w{};
    double angle = 0.0;

    Vertex4 at(double t) const {
        return plus(plus(Vertex4{}, std::cos(t * angle), a), std::sin(t * angle), w);
    }
};

// The arc between unit a and unit b; false when they are opposite (or nearly: no plane).
bool arcBetween(const Vertex4& a, const Vertex4& b, Arc& arc) {
    const double c = dot(a, b);
    const Vertex4 rest = plus(b, -c, a);
    const double s = norm(rest);
    arc.a = a;
    arc.angle = std::atan2(s, c);
    if (s < 1e-12) {
        arc.w = {};
        arc.angle = 0.0;
        return c > 0.0;
    }
    arc.w = {rest[0] / s, rest[1] / s, rest[2] / s, rest[3] / s};
    return true;
}

// The angle between unit vectors, accurate also when it is tiny.
double angleBetween(const Vertex4& u, const Vertex4& v) {
    const Vertex4 d = plus(u, -1.0, v);
    return 2.0 * std::asin(std::min(1.0, norm(d) / 2.0));
}

// The angle between the unit pole and the nearest point of the arc.
double angleToArc(const Vertex4& pole, const Arc& arc) {
    const double pa = dot(pole, arc.a), pw = dot(pole, arc.w);
    const double along = std::atan2(pw, pa);  // where the pole's foot lies on the circle
    if (arc.angle > 0.0 && along >= 0.0 && along <= arc.angle) {
        const Vertex4 perpendicular = plus(plus(pole, -pa, arc.a), -pw, arc.w);
        return std::atan2(norm(perpendicular), std::hypot(pa, pw));
    }
    Vertex4 end = arc.at(1.0);
    return std::min(angleBetween(pole, arc.a), angleBetween(pole, end));
}

// The smallest angle between the pole and a vertex or an arc; once it is below enough, the
// first angle found below it, which is all a search for the best pole needs to know.
double clearance(const Vertex4& pole, const std::vector<Vertex4>& directions,
                 const std::vector<Arc>& arcs, double enough = 0.0) {
    double nearest = kPi;
    for (std::size_t i = 0; i < directions.size() && nearest >= enough; ++i) {
        nearest = std::min(nearest, angleBetween(pole, directions[i]));
    }
    for (std::size_t i = 0; i < arcs.size() && nearest >= enough; ++i) {
        nearest = std::min(nearest, angleToArc(pole, arcs[i]));
    }
    return nearest;
}

// Turns v by degrees in the plane of axes first and q (axis 3): first towards q.
Vertex4 turned(Vertex4 v, int first, int degrees) {
    const double c = std::cos(degrees * kDegree), s = std::sin(degrees * kDegree);
    const double x = v[first], q = v[3];
    v[first] = c * x - s * q;
    v[3] = s * x + c * q;
    return v;
}

// The distance from p to the segment from a to b, in 3D (q is 0 for all three).
double distanceToChord(const Vertex4& p, const Vertex4& a, const Vertex4& b) {
    const Vertex4 ab = plus(b, -1.0, a), ap = plus(p, -1.0, a);
    const double length = dot(ab, ab);
    const double t = length > 0.0 ? std::clamp(dot(ap, ab) / length, 0.0, 1.0) : 0.0;
    return norm(plus(ap, -t, ab));
}

// How far the drawing of arc with the given pieces strays from its image: the distance of a
// piece's middle from its chord. The images of pieces of equal angle all lie on one circle and
// are longest where the arc comes nearest the pole (where its q is largest), so the piece there
// and its neighbours are the ones measured.
double strayOf(const Arc& arc, int pieces, double radius) {
    double top = std::atan2(arc.w[3], arc.a[3]);  // where q is largest on the great circle
    if (!(top >= 0.0 && top <= arc.angle)) {
        top = arc.a[3] >= arc.at(1.0)[3] ? 0.0 : arc.angle;
    }
    const int nearest =
        arc.angle > 0.0 ? std::min(pieces - 1, static_cast<int>(top / arc.angle * pieces)) : 0;
    double largest = 0.0;
    for (int i = std::max(0, nearest - 1); i <= std::min(pieces - 1, nearest + 1); ++i) {
        const Vertex4 start = stereographicPoint(arc.at(double(i) / pieces), radius);
        const Vertex4 end = stereographicPoint(arc.at(double(i + 1) / pieces), radius);
        const Vertex4 middle = stereographicPoint(arc.at((i + 0.5) / pieces), radius);
        largest = std::max(largest, distanceToChord(middle, start, end));
    }
    return largest;
}

}  // namespace

Vertex4 perspectivePoint(const Vertex4& p, double eye) {
    // eye / (eye - q) as one factor, and q = 0.
    const double factor = eye / (eye - p[3]);
    return {p[0] * factor, p[1] * factor, p[2] * factor, 0.0};
}

bool projectPerspective(const EdgeGraph& figure, double eye, EdgeGraph& projected,
                        std::string& error) {
    double highest = -HUGE_VAL;
    for (const Vertex4& v : figure.vertices) {
        highest = std::max(highest, v[3]);
    }
    if (!figure.vertices.empty() && !(highest < eye)) {
        error = "the eye at q = " + numberText(eye) +
                " is not beyond the figure, whose q reaches " + numberText(highest) +
                "; give --perspective a distance above " + numberText(highest);
        return false;
    }
    projected = figure;  // the edges, faces and vertex lines stay
    for (Vertex4& v : projected.vertices) {
        v = perspectivePoint(v, eye);
    }
    return true;
}

Vertex4 stereographicPoint(const Vertex4& direction, double radius) {
    // 1 - q loses no digits for points far from the pole, and the pole rule keeps every point
    // at least a small angle away, so the factor stays finite.
    const double factor = radius / (1.0 - direction[3]);
    return {direction[0] * factor, direction[1] * factor, direction[2] * factor, 0.0};
}

bool prepareStereographic(const EdgeGraph& figure, StereographicView& view, std::string& error) {
    view = StereographicView{};
    view.radius = circumradius(figure);
    if (figure.vertices.empty() || view.radius == 0.0) {
        error = "the figure has no vertex away from its centre to put on the 3-sphere";
        return false;
    }
    for (std::size_t v = 0; v < figure.vertices.size(); ++v) {
        // Divided by the radius first: no square overflows or vanishes.
        Vertex4 d{};
        for (int c = 0; c < 4; ++c) {
            d[c] = figure.vertices[v][c] / view.radius;
        }
        const double length = norm(d);
        if (length < 1e-9) {
            view.problemVertex = static_cast<int>(v);
            error =
                "a vertex lies at the centre of the figure, where no direction puts it on "
                "the 3-sphere; move the figure (--center) or leave the vertex out";
            return false;
        }
        view.directions.push_back({d[0] / length, d[1] / length, d[2] / length, d[3] / length});
    }
    view.arcs = figure.edges;
    std::vector<Arc> arcs(view.arcs.size());
    for (std::size_t e = 0; e < arcs.size(); ++e) {
        const auto [a, b] = view.arcs[e];
        if (!arcBetween(view.directions[a], view.directions[b], arcs[e])) {
            view.problemVertex = a;
            error =
                "an edge joins two opposite points of the 3-sphere (through the centre), "
                "which no single arc joins";
            return false;
        }
    }

    const Vertex4 north = {0, 0, 0, 1};
    view.clearanceDegrees = clearance(north, view.directions, arcs) / kDegree;
    if (view.clearanceDegrees < kPoleClearanceDegrees) {
        // Turning the figure by t in the plane of axis and q is seeing it from the pole
        // turned back by t: (sin t on that axis, cos t on q).
        const char* const planes[3] = {"zq", "yq", "xq"};
        double best = -1.0;
        for (int p = 0; p < 3 && best < kPoleClearanceDegrees; ++p) {
            for (int t = 1; t < 360; ++t) {
                Vertex4 pole = {0, 0, 0, std::cos(t * kDegree)};
                pole[2 - p] = std::sin(t * kDegree);
                const double c =
                    clearance(pole, view.directions, arcs, std::max(best, 0.0) * kDegree) / kDegree;
                if (c > best) {
                    best = c;
                    view.turnDegrees = t;
                    std::copy(planes[p], planes[p] + 3, view.turnPlane);
                }
            }
        }
        if (!(best > 1e-7)) {
            error =
                "every pole tried lies on the figure, so its stereographic image would "
                "reach infinity";
            return false;
        }
        view.clearanceDegrees = best;
        const int axis =
            2 -
            static_cast<int>(std::find(planes, planes + 3, std::string(view.turnPlane)) - planes);
        for (Vertex4& d : view.directions) {
            d = turned(d, axis, view.turnDegrees);
        }
    }
    return true;
}

std::vector<int> shareArcPieces(const StereographicView& view, std::size_t budget) {
    const std::size_t count = view.arcs.size();
    std::vector<int> pieces(count, 1);
    std::vector<Arc> arcs(count);
    using Entry = std::pair<double, std::size_t>;  // stray, arc
    std::priority_queue<Entry> queue;
    for (std::size_t e = 0; e < count; ++e) {
        arcBetween(view.directions[view.arcs[e].first], view.directions[view.arcs[e].second],
                   arcs[e]);
        queue.emplace(strayOf(arcs[e], 1, view.radius), e);
    }
    // Strays below this are rounding: the image is straight.
    const double straight = 1e-12 * view.radius;
    for (std::size_t spare = budget > count ? budget - count : 0; spare > 0 && !queue.empty();
         --spare) {
        const auto [stray, e] = queue.top();
        if (!(stray > straight)) {
            break;
        }
        queue.pop();
        ++pieces[e];
        queue.emplace(strayOf(arcs[e], pieces[e], view.radius), e);
    }
    return pieces;
}

EdgeGraph stereographicFigure(const StereographicView& view, const std::vector<int>& pieces) {
    EdgeGraph graph;
    for (const Vertex4& d : view.directions) {
        const Vertex4 p = stereographicPoint(d, view.radius);
        graph.addVertex(p[0], p[1], p[2], 0.0);
    }
    for (std::size_t e = 0; e < view.arcs.size(); ++e) {
        const auto [a, b] = view.arcs[e];
        Arc arc;
        arcBetween(view.directions[a], view.directions[b], arc);
        int previous = a;
        for (int i = 1; i < pieces[e]; ++i) {
            const Vertex4 p = stereographicPoint(arc.at(double(i) / pieces[e]), view.radius);
            const int v = graph.addVertex(p[0], p[1], p[2], 0.0);
            graph.addEdge(previous, v);
            previous = v;
        }
        graph.addEdge(previous, b);
    }
    return graph;
}

}  // namespace tessascene
