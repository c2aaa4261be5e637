// The figure pass: compose, transform, project and draw the loaded figure.
#include "pipeline/figure_draw.h"

#include <GL/gl.h>

#include "app/process_state.h"
#include "pipeline/composition.h"
#include "pipeline/figure_projection.h"

namespace {
// The OpenGL primitive a line-loop value selects, or false when it selects none.
bool primitiveFor(int lineLoop, GLenum* mode) {
    switch (lineLoop) {
        case 0:
            *mode = GL_LINE_STRIP;
            return true;
        case 1:
            *mode = GL_LINE_LOOP;
            return true;
        case 3:
            *mode = GL_POINTS;
            return true;
        default:
            return false;
    }
}

// True when every one of the polyline's count vertices can be handed to OpenGL.
bool allVerticesFinite(const Polyline3& polyline) {
    for (int j = 0; j < polyline.count; ++j) {
        if (!isFinite(polyline.vertices[j])) {
            return false;
        }
    }
    return true;
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
        for (int j = 0; j < polyline.count; ++j) {
            const Point3& v = polyline.vertices[j];
            glVertex3d(v.x, v.y, v.z);
        }
        glEnd();
    }

    glLineWidth(1.0f);
    glPointSize(1.0f);
}
