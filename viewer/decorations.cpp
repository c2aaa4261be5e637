// The axes with their cones and the three plane grids, and the camera methods that show them.
#include "viewer/decorations.h"

#include <GL/glut.h>

#include "viewer/orbit_camera.h"
#include "viewer/picture_sizes.h"

namespace {
// One axis line from the origin to (x, y, z), in the current colour.
void axisLine(double x, double y, double z) {
    glBegin(GL_LINES);
    glVertex3d(0.0, 0.0, 0.0);
    glVertex3d(x, y, z);
    glEnd();
}

// A cone of the given height standing on (x, y, z); a GLUT cone points along local +z, so the
// rotation (angle in degrees about axis ax, ay, az) turns it onto its axis. Angle 0: no rotation.
void axisCone(double x, double y, double z, double angle, double ax, double ay, double az,
              double height) {
    glPushMatrix();
    glTranslated(x, y, z);
    if (angle != 0.0) {
        glRotated(angle, ax, ay, az);
    }
    glutSolidCone(kConeRadius, height, kConeSlices, kConeStacks);
    glPopMatrix();
}

// One grid segment; the caller is inside a GL_LINES block.
void segment(double x0, double y0, double z0, double x1, double y1, double z1) {
    glVertex3d(x0, y0, z0);
    glVertex3d(x1, y1, z1);
}
}  // namespace

void drawAxes(int showX, int showY, int showZ, int length) {
    const double l = length;
    glLineWidth(kAxisLineWidth);

    glColor3f(1.0f, 0.0f, 0.0f);
    if (showX == 1) {
        axisLine(l, 0.0, 0.0);
        axisCone(l, 0.0, 0.0, 90.0, 0.0, 1.0, 0.0, kConeHeight);
    }
    glColor3f(0.0f, 1.0f, 0.0f);
    if (showY == 1) {
        axisLine(0.0, l, 0.0);
        axisCone(0.0, l, 0.0, -90.0, 1.0, 0.0, 0.0, kYConeHeight);
    }
    glColor3f(0.0f, 0.0f, 1.0f);
    if (showZ == 1) {
        axisLine(0.0, 0.0, l);
        axisCone(0.0, 0.0, l, 0.0, 0.0, 0.0, 0.0, kConeHeight);
    }

    glLineWidth(1.0f);
}

void drawGrids(int showXY, int showYZ, int showXZ, int halfExtent) {
    const double n = halfExtent;
    glColor3f(kGridGrey, kGridGrey, kGridGrey);
    glBegin(GL_LINES);
    if (showXY == 1) {
        for (int k = -halfExtent; k <= halfExtent; ++k) {
            const double i = k;
            segment(-n, i, 0.0, n, i, 0.0);
            segment(i, -n, 0.0, i, n, 0.0);
        }
    }
    if (showYZ == 1) {
        for (int k = -halfExtent; k <= halfExtent; ++k) {
            const double i = k;
            segment(0.0, -n, i, 0.0, n, i);
            segment(0.0, i, -n, 0.0, i, n);
        }
    }
    if (showXZ == 1) {
        for (int k = -halfExtent; k <= halfExtent; ++k) {
            const double i = k;
            segment(-n, 0.0, i, n, 0.0, i);
            segment(i, 0.0, -n, i, 0.0, n);
        }
    }
    glEnd();
}

void OrbitCamera::drawGridIfShown() const {
    if (gridShown == 1) {
        drawGrids(1, 1, 1, kGridHalfExtent);
    }
}

void OrbitCamera::drawAxesIfShown() const {
    if (axesShown == 1) {
        drawAxes(1, 1, 1, kAxisLength);
    }
}
