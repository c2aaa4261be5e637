#include "tessascene/figures/geometry.h"

#include <algorithm>
#include <cmath>

namespace tessascene {

void BoundingBox4::add(const Vertex4& p) {
    if (empty) {
        low = high = p;
        empty = false;
        return;
    }
    for (int i = 0; i < 4; ++i) {
        low[i] = std::min(low[i], p[i]);
        high[i] = std::max(high[i], p[i]);
    }
}

Vertex4 BoundingBox4::centre() const {
    Vertex4 c{};
    for (int i = 0; i < 4; ++i) {
        c[i] = low[i] / 2 + high[i] / 2;
    }
    return c;
}

double BoundingBox4::diagonal() const {
    double sum = 0.0;
    for (int i = 0; i < 4; ++i) {
        const double side = high[i] - low[i];
        sum += side * side;
    }
    return std::sqrt(sum);
}

double largestMagnitude(const std::vector<Vertex4>& points) {
    double largest = 0.0;
    for (const Vertex4& p : points) {
        for (double c : p) {
            largest = std::max(largest, std::fabs(c));
        }
    }
    return largest;
}

void clearRoundingNoise(std::vector<Vertex4>& points) {
    const double negligible = largestMagnitude(points) * 1e-9;
    for (Vertex4& v : points) {
        for (double& c : v) {
            c = std::fabs(c) <= negligible ? 0.0 : c;
        }
    }
}

void shiftPoints(std::vector<Vertex4>& points, const Vertex4& offset) {
    for (Vertex4& p : points) {
        for (int i = 0; i < 4; ++i) {
            p[i] -= offset[i];
        }
    }
}

}  // namespace tessascene
