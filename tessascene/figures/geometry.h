// The geometry every part of tessascene shares: a 4D point, the room a figure file has, and a
// figure's bounding box with the move that centres it.
#pragma once

#include <array>
#include <vector>

#include "scene/scene_format.h"

namespace tessascene {

using Vertex4 = std::array<double, 4>;  // x, y, z, q

// The dot product of a and b as 4-vectors.
inline double dot(const Vertex4& a, const Vertex4& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
}

// How much one figure file holds.
struct FigureCapacity {
    int vertices = kMaxVertices;    // per polyline
    int polylines = kMaxPolylines;  // per figure
};

// An axis-aligned box in 4D; empty until a point is added.
struct BoundingBox4 {
    Vertex4 low = {0, 0, 0, 0};
    Vertex4 high = {0, 0, 0, 0};
    bool empty = true;

    // Grows the box to hold p.
    void add(const Vertex4& p);
    // The centre, computed as low/2 + high/2 so that it cannot overflow.
    Vertex4 centre() const;
    // The length of the diagonal; 0 for an empty box. Coordinates must be finite and at most
    // 1e300 in size.
    double diagonal() const;
};

// The largest coordinate magnitude of the points; 0 for none.
double largestMagnitude(const std::vector<Vertex4>& points);

// Sets to 0 the rounding noise of computed coordinates, such as cos(pi / 2) = 6e-17: every
// coordinate within 1e-9 of zero relative to the largest one of the points.
void clearRoundingNoise(std::vector<Vertex4>& points);

// Subtracts offset from every point.
void shiftPoints(std::vector<Vertex4>& points, const Vertex4& offset);

}  // namespace tessascene
