// The figure pass: compose, transform, project and draw the loaded figure.
#include "pipeline/figure_draw.h"

#include <GL/gl.h>

#include <cstdint>
#include <cstring>

#include "app/process_state.h"
#include "pipeline/composition.h"
#include "pipeline/figure_projection.h"

namespace {
// The OpenGL primitive a line-loop value selects, or false when it selects none.
bool primitiveFor(int lineLoop, GLenum* mode) {
    switch (lineLoop) {
        case kLineLoopOpen:
            *mode = GL_LINE_STRIP;
            return true;
        case kLineLoopClosed:
            *mode = GL_LINE_LOOP;
            return true;
        case kLineLoopPoints:
            *mode = GL_POINTS;
            return true;
        default:
            return false;
    }
}

// True when every one of the polyline's count vertices can be handed to OpenGL. A float is
// finite unless all its exponent bits are set, and then adding 1 to the exponent field carries
// into the sign bit; the coordinates are tested that way as integers, four at a time, with no
// branch per coordinate.
bool allVerticesFinite(const Polyline3& polyline) {
    static_assert(sizeof(Point3) == 3 * sizeof(float), "Point3 is three packed floats");
    constexpr std::uint32_t kExponent = 0x7f800000u;
    constexpr std::uint32_t kExponentOne = 0x00800000u;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(polyline.vertices);
    const int floats = 3 * polyline.count;
    std::uint32_t carry[4] = {0, 0, 0, 0};
    int i = 0;
    for (; i + 4 <= floats; i += 4) {
        std::uint32_t bits[4];
        std::memcpy(bits, bytes + 4 * i, sizeof bits);
        for (int lane = 0; lane < 4; ++lane) {
            carry[lane] |= (bits[lane] & kExponent) + kExponentOne;
        }
    }
    for (; i < floats; ++i) {
        std::uint32_t bits;
        std::memcpy(&bits, bytes + 4 * i, sizeof bits);
        carry[0] |= (bits & kExponent) + kExponentOne;
    }
    return ((carry[0] | carry[1] | carry[2] | carry[3]) & 0x80000000u) == 0;
}
}  // namespace

void drawFigure() {
    // Copies of the loaded records go in; the loaded ones are never changed.
    const FigureCollection transformed =
        applyAffineCollection(loadedFigure, loadedAffines, globalStep);
    transformed.draw();
}

void FigureCollection::draw() const {
    const FigureCollection3 projected = project(projectionVector);
    projected.draw();
}

void FigureCollection3::draw() const {
    glLineWidth(figureLineWidth);
    glPointSize(figureLineWidth);

    GLenum mode = GL_POINTS;
    const bool drawn = primitiveFor(lineLoop, &mode);
    for (int i = 0; i < count; ++i) {
        const Polyline3& polyline = polylines[i];
        // A polyline thrown to infinity (projection q of 0) is left out whole.
        if (!allVerticesFinite(polyline)) {
            continue;
        }
        glColor3f(polyline.red, polyline.green, polyline.blue);
        if (!drawn) {
            continue;
        }
        glBegin(mode);
        const int vertexCount = polyline.count;
        for (int j = 0; j < vertexCount; ++j) {
            const Point3& v = polyline.vertices[j];
            glVertex3d(v.x, v.y, v.z);
        }
        glEnd();
    }

    glLineWidth(1.0f);
    glPointSize(1.0f);
}
