// Fitting polylines of data points into a figure file: simplified in 4D when there are too many
// points, and cut into polylines of the capacity's length.
//
// The simplification is Ramer-Douglas-Peucker run best-first over all polylines at once: each
// step keeps the point that lies farthest from the line drawn so far, wherever it is, so the
// largest distance of any data point from the drawn line falls as fast as the greedy order
// allows, and the vertices go to the polylines that need them most. Its measure is the very
// distance that is reported; Visvalingam-Whyatt ranks points by triangle area, which bounds
// no distance. Only data points are ever kept.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tessascene/figures/geometry.h"
#include "tessascene/figures/trails.h"

namespace tessascene {

// What fitting did to the data.
struct FitReport {
    std::size_t pointsIn = 0;      // data points
    std::size_t verticesKept = 0;  // data points that are vertices of the drawing
    double largestDistance = 0.0;  // of any data point from its part of the drawn line
    bool simplified = false;       // false: every point was kept
};

// For each path, the indices of its points to keep: at most a path's first and last point when
// it is closed (lineLoop 1) and the result must fit one polyline. Every path keeps its first and
// last point. Exposed for the tests; fitPaths uses it.
//   lineLoop 0: path i with k kept points takes ceil((k - 1) / (capacity.vertices - 1))
//               polylines (one for k <= 1), and all of them together at most capacity.polylines;
//   lineLoop 1: every path must fit a single polyline of capacity.vertices.
// Returns false when the paths cannot fit even with their end points alone.
bool choosePoints(const std::vector<std::vector<Vertex4>>& paths, int lineLoop,
                  const FigureCapacity& capacity, std::vector<std::vector<std::size_t>>& kept,
                  double& largestDistance, std::string& error);

// Lays the paths out as the figure file's polylines for lineLoop 0, 1 or 3, simplifying them
// when simplify is true and they do not fit as they are (line-loop 3 shows every point or
// fails). In lineLoop 0 a long path is cut into polylines that share the vertex at each cut.
// Returns false with a one-line error when the data cannot fit.
bool fitPaths(const std::vector<std::vector<Vertex4>>& paths, int lineLoop,
              const FigureCapacity& capacity, bool simplify,
              std::vector<std::vector<Vertex4>>& polylines, FitReport& report, std::string& error);

// The distance from p to the segment from a to b (to a when a == b).
double distanceToSegment(const Vertex4& p, const Vertex4& a, const Vertex4& b);

}  // namespace tessascene
