#include "tessascene/figures/simplify.h"

#include <algorithm>
#include <cmath>
#include <queue>

namespace tessascene {

namespace {

// A stretch of a path between two kept points, with the point inside it farthest from the
// segment that joins them.
struct Stretch {
    double distance = 0.0;
    std::size_t path = 0;
    std::size_t first = 0;
    std::size_t last = 0;
    std::size_t farthest = 0;

    bool operator<(const Stretch& other) const { return distance < other.distance; }
};

// The farthest point strictly between first and last; false when there is none.
bool findFarthest(const std::vector<Vertex4>& points, std::size_t path, std::size_t first,
                  std::size_t last, Stretch& stretch) {
    if (last - first < 2) {
        return false;
    }
    stretch = Stretch{-1.0, path, first, last, first + 1};
    for (std::size_t i = first + 1; i < last; ++i) {
        const double d = distanceToSegment(points[i], points[first], points[last]);
        if (d > stretch.distance) {
            stretch.distance = d;
            stretch.farthest = i;
        }
    }
    return true;
}

// Polylines an open path of k kept points needs when each holds perPolyline vertices and
// consecutive ones share the vertex at the cut.
std::size_t piecesFor(std::size_t k, std::size_t perPolyline) {
    return k <= 2 ? 1 : (k - 2) / (perPolyline - 1) + 1;
}

std::string tooManyPaths(std::size_t paths, int capacity) {
    return "the data has " + std::to_string(paths) +
           " polylines (parts separated by blank lines, rows of NaN or --group); a figure holds "
           "at most " +
           std::to_string(capacity);
}

}  // namespace

double distanceToSegment(const Vertex4& p, const Vertex4& a, const Vertex4& b) {
    double along = 0.0, length2 = 0.0;
    for (int i = 0; i < 4; ++i) {
        along += (p[i] - a[i]) * (b[i] - a[i]);
        length2 += (b[i] - a[i]) * (b[i] - a[i]);
    }
    const double t = length2 > 0.0 ? std::clamp(along / length2, 0.0, 1.0) : 0.0;
    double sum = 0.0;
    for (int i = 0; i < 4; ++i) {
        const double d = p[i] - (a[i] + t * (b[i] - a[i]));
        sum += d * d;
    }
    return std::sqrt(sum);
}

bool choosePoints(const std::vector<std::vector<Vertex4>>& paths, int lineLoop,
                  const FigureCapacity& capacity, std::vector<std::vector<std::size_t>>& kept,
                  double& largestDistance, std::string& error) {
    const std::size_t perPolyline = static_cast<std::size_t>(std::max(capacity.vertices, 3));
    const std::size_t polylines = static_cast<std::size_t>(std::max(capacity.polylines, 0));
    kept.assign(paths.size(), {});
    largestDistance = 0.0;
    if (paths.size() > polylines) {
        error = tooManyPaths(paths.size(), capacity.polylines);
        return false;
    }

    std::vector<std::vector<char>> keep(paths.size());
    std::vector<std::size_t> count(paths.size(), 0);
    std::size_t pieces = 0;
    std::priority_queue<Stretch> queue;
    for (std::size_t p = 0; p < paths.size(); ++p) {
        const std::size_t n = paths[p].size();
        keep[p].assign(n, 0);
        if (n > 0) {
            keep[p].front() = keep[p].back() = 1;
            count[p] = std::min<std::size_t>(n, 2);
        }
        pieces += 1;
        Stretch s;
        if (n > 0 && findFarthest(paths[p], p, 0, n - 1, s)) {
            queue.push(s);
        }
    }

    // Best first: the point farthest from the drawn line is kept next while the capacity
    // allows. A point that does not fit stays out and bounds the distance of its stretch.
    while (!queue.empty()) {
        const Stretch s = queue.top();
        queue.pop();
        const std::size_t k = count[s.path];
        const std::size_t more = lineLoop == kLineLoopClosed
                                     ? 0
                                     : piecesFor(k + 1, perPolyline) - piecesFor(k, perPolyline);
        const bool fits =
            lineLoop == kLineLoopClosed ? k + 1 <= perPolyline : pieces + more <= polylines;
        if (!fits) {
            largestDistance = std::max(largestDistance, s.distance);
            continue;
        }
        keep[s.path][s.farthest] = 1;
        ++count[s.path];
        pieces += more;
        const std::vector<Vertex4>& points = paths[s.path];
        Stretch part;
        if (findFarthest(points, s.path, s.first, s.farthest, part)) {
            queue.push(part);
        }
        if (findFarthest(points, s.path, s.farthest, s.last, part)) {
            queue.push(part);
        }
    }

    for (std::size_t p = 0; p < paths.size(); ++p) {
        kept[p].reserve(count[p]);
        for (std::size_t i = 0; i < keep[p].size(); ++i) {
            if (keep[p][i]) {
                kept[p].push_back(i);
            }
        }
    }
    return true;
}

bool fitPaths(const std::vector<std::vector<Vertex4>>& paths, int lineLoop,
              const FigureCapacity& capacity, bool simplify,
              std::vector<std::vector<Vertex4>>& polylines, FitReport& report, std::string& error) {
    polylines.clear();
    report = FitReport{};
    const std::size_t perPolyline = static_cast<std::size_t>(std::max(capacity.vertices, 3));
    const std::size_t maxPolylines = static_cast<std::size_t>(std::max(capacity.polylines, 0));
    for (const auto& path : paths) {
        report.pointsIn += path.size();
    }
    if (report.pointsIn == 0) {
        error = "the data has no points";
        return false;
    }

    if (lineLoop == kLineLoopPoints) {
        if (report.pointsIn > perPolyline * maxPolylines) {
            error = "line-loop 3 shows at most " + std::to_string(perPolyline * maxPolylines) +
                    " points, and the data has " + std::to_string(report.pointsIn) +
                    "; use line-loop 0 to draw it as simplified lines";
            return false;
        }
        polylines.emplace_back();
        for (const auto& path : paths) {
            for (const Vertex4& v : path) {
                if (polylines.back().size() == perPolyline) {
                    polylines.emplace_back();
                }
                polylines.back().push_back(v);
            }
        }
        report.verticesKept = report.pointsIn;
        return true;
    }
    if (lineLoop != kLineLoopOpen && lineLoop != kLineLoopClosed) {
        error = "the line-loop value must be 0, 1 or 3";
        return false;
    }

    std::size_t needed = 0, longest = 0;
    for (const auto& path : paths) {
        needed += lineLoop == kLineLoopClosed ? 1 : piecesFor(path.size(), perPolyline);
        longest = std::max(longest, path.size());
    }
    const bool fitsAsIs =
        needed <= maxPolylines && (lineLoop == kLineLoopOpen || longest <= perPolyline);
    std::vector<std::vector<std::size_t>> kept(paths.size());
    if (fitsAsIs) {
        for (std::size_t p = 0; p < paths.size(); ++p) {
            kept[p].resize(paths[p].size());
            for (std::size_t i = 0; i < kept[p].size(); ++i) {
                kept[p][i] = i;
            }
        }
    } else if (!simplify) {
        if (paths.size() > maxPolylines) {
            error = tooManyPaths(paths.size(), capacity.polylines);
        } else if (lineLoop == kLineLoopClosed) {
            error = "a closed polyline of " + std::to_string(longest) +
                    " points does not fit the " + std::to_string(perPolyline) +
                    " vertices of one polyline; leave out --no-simplify to simplify it";
        } else {
            error = "the data needs " + std::to_string(needed) +
                    " polylines; a figure holds at most " + std::to_string(maxPolylines) + ", " +
                    std::to_string(needed - maxPolylines) +
                    " too many; leave out --no-simplify to simplify it";
        }
        return false;
    } else {
        if (!choosePoints(paths, lineLoop, capacity, kept, report.largestDistance, error)) {
            return false;
        }
        report.simplified = true;
    }

    for (std::size_t p = 0; p < paths.size(); ++p) {
        const std::vector<std::size_t>& indices = kept[p];
        report.verticesKept += indices.size();
        // A closed path fits one polyline (checked above); an open one is cut where needed.
        const std::size_t per = lineLoop == kLineLoopClosed ? indices.size() : perPolyline;
        for (const PathPiece& piece : cutOpenPath(indices.size(), per)) {
            polylines.emplace_back();
            for (std::size_t j = piece.first; j <= piece.last; ++j) {
                polylines.back().push_back(paths[p][indices[j]]);
            }
        }
    }
    return true;
}

}  // namespace tessascene
