// The q-axis marker, its drop lines and the four console status lines.
#include "app/status.h"

#include <GL/glut.h>

#include "app/process_state.h"
#include "viewer/picture_sizes.h"
#include "viewer/readout.h"

namespace {
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

}  // namespace

Segment4::Segment4(float sx, float sy, float sz, float sq, float ex, float ey, float ez, float eq) {
    start.set(sx, sy, sz, sq);
    end.set(ex, ey, ez, eq);
}

void drawStatus(float length) {
    glColor3f(1.0f, 0.0f, 1.0f);
    const Point3 p = qMarkerImage(viewer.projectionVector, length);
    // With a q component of 0 the image is not finite: nothing is drawn, the lines still print.
    if (isFinite(p)) {
        drawMarker(p);
    }
    writeStatusLines(viewer, p);
}
