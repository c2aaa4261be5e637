// The figure pass: compose, transform, project and draw the loaded figure.
#include "pipeline/figure_draw.h"

#include <GL/gl.h>

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
}  // namespace

void drawFigurePass(const FigureCollection& figure, const AffineCollection& affines, float step,
                    Point4 projection, float lineWidth) {
    // Copies of the loaded records go in; the loaded ones are never changed.
    const FigureCollection transformed = applyAffineCollection(figure, affines, step);
    transformed.draw(projection, lineWidth);
}

void FigureCollection::draw(Point4 projection, float lineWidth) const {
    const FigureCollection3 projected = project(projection);
    projected.draw(lineWidth);
}

void FigureCollection3::draw(float lineWidth) const {
    glLineWidth(lineWidth);
    glPointSize(lineWidth);

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
        for (int j = 0; j < polyline.count; ++j) {
            const Point3& v = polyline.vertices[j];
            glVertex3d(v.x, v.y, v.z);
        }
        glEnd();
    }

    glLineWidth(1.0f);
    glPointSize(1.0f);
}
