// Start-up state and the per-frame drawing pass.
#include "app/frame.h"

#include <GL/glu.h>
#include <GL/glut.h>

#include "app/process_state.h"
#include "app/status.h"
#include "pipeline/figure_draw.h"
#include "scene/scene_format.h"
#include "viewer/picture_sizes.h"
#include "viewer/readout.h"

void init() {
    viewer.globalStep = 0.0f;
    viewer.camera.setDefaults();

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // The aspect ratio is the float quotient of the fixed window size, widened.
    const float aspect = kWindowWidth / kWindowHeight;
    gluPerspective(kFieldOfViewDegrees, static_cast<double>(aspect), kNearPlane, kFarPlane);

    readSpecialFiles(kFigureFileName, kAffineFileName);
}

void display() {
    writeFrameStart();

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const OrbitCamera& camera = viewer.camera;
    gluLookAt(camera.eye.x, camera.eye.y, camera.eye.z, camera.target.x, camera.target.y,
              camera.target.z, camera.up.x, camera.up.y, camera.up.z);

    camera.drawGridIfShown();
    camera.drawAxesIfShown();
    // The axes flag also governs the q-axis marker and the status lines.
    if (camera.axesShown == 1) {
        drawStatus(kMarkerLength);
    }
    if (viewer.showFigure == 1) {
        drawFigure();
    }

    writeFrameEnd();
    glFlush();
    glutSwapBuffers();
}

void drawFigure() {
    drawFigurePass(viewer.loadedFigure, viewer.loadedAffines, viewer.globalStep,
                   viewer.projectionVector, viewer.figureLineWidth);
}
