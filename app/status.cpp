// The q-axis marker, its drop lines and the four console status lines.
#include "app/status.h"

#include <GL/glut.h>

#include <iostream>

#include "app/process_state.h"
#include "math4d/scalar_helpers.h"

namespace {
constexpr double kBallRadius = 0.1;
constexpr int kBallSlices = 10;
constexpr int kBallStacks = 10;

// Every number of the readout keeps two decimals, cut toward zero.
ConsoleFloat cut(float value) {
    return consoleFloat(truncateDecimals(value, 2));
}

// Two segments from the foot point on one axis: to the marker p and back to the origin.
void dropLinePair(double footX, double footY, double footZ, const Point3& p) {
    glVertex3d(footX, footY, footZ);
    glVertex3d(p.x, p.y, p.z);
    glVertex3d(footX, footY, footZ);
    glVertex3d(0.0, 0.0, 0.0);
}

// Magenta ball at p joined to the origin, plus the coloured drop lines when they are switched on.
// p must be finite.
void drawMarker(const Point3& p) {
    glPushMatrix();
    glTranslated(p.x, p.y, p.z);
    glutSolidSphere(kBallRadius, kBallSlices, kBallStacks);
    glPopMatrix();

    glBegin(GL_LINES);
    glVertex3d(0.0, 0.0, 0.0);
    glVertex3d(p.x, p.y, p.z);
    glEnd();

    if (viewer.showDropLines == 1) {
        glBegin(GL_LINES);
        glColor3f(1.0f, 0.0f, 0.0f);
        dropLinePair(p.x, 0.0, 0.0, p);
        glColor3f(0.0f, 1.0f, 0.0f);
        dropLinePair(0.0, p.y, 0.0, p);
        glColor3f(0.0f, 0.0f, 1.0f);
        dropLinePair(0.0, 0.0, p.z, p);
        glEnd();
    }
}

// The four readout lines; non-finite or huge values print as the stream prints them.
void writeStatusLines(const Point3& p) {
    const Point4& v = viewer.projectionVector;
    const Point3& eye = viewer.camera.eye;
    std::cout << "Projection Vector (x,y,z,q) (" << cut(v.x) << " , " << cut(v.y) << " , "
              << cut(v.z) << " , " << cut(v.q) << ")" << std::endl;
    std::cout << "Q 3D Projection (x,y,z) (" << cut(p.x) << " , " << cut(p.y) << " , " << cut(p.z)
              << ")" << std::endl;
    std::cout << "Eye (x,y,z)  " << cut(eye.x) << "    " << cut(eye.y) << "     " << cut(eye.z)
              << std::endl;
    std::cout << "GLOBAL STEP " << consoleFloat(viewer.globalStep) << std::endl;
}
}  // namespace

Segment4::Segment4(float sx, float sy, float sz, float sq, float ex, float ey, float ez, float eq) {
    start.set(sx, sy, sz, sq);
    end.set(ex, ey, ez, eq);
}

void drawStatus(float length) {
    const Segment4 qAxis(0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, length);
    glColor3f(1.0f, 0.0f, 1.0f);
    const Point3 p = projectTo3D(qAxis.end, viewer.projectionVector);
    // With a q component of 0 the image is not finite: nothing is drawn, the lines still print.
    if (isFinite(p)) {
        drawMarker(p);
    }
    writeStatusLines(p);
}
