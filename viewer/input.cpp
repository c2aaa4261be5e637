// Mouse and keyboard callbacks: every change they make is followed at once by a full frame.
#include "viewer/input.h"

#include <GL/glut.h>

#include "app/frame.h"
#include "app/process_state.h"

namespace {
// Each projection key moves one component by this single-precision step.
constexpr float kProjectionStep = 0.1f;
constexpr float kLineWidthStep = 1.0f;
constexpr float kMinLineWidth = 1.0f;
constexpr float kMaxLineWidth = 10.0f;
constexpr float kGlobalStepIncrement = 1.0f;

// A display flag switched between 0 and 1.
void toggle(int& flag) {
    flag = 1 - flag;
}

// Applies the effect of one key; keys without an effect change nothing.
void applyKey(unsigned char key) {
    switch (key) {
        case 'X':
        case 'x':
            toggle(camera.gridShown);
            break;
        case 'C':
        case 'c':
            toggle(camera.axesShown);
            break;
        case 'V':
        case 'v':
            toggle(showFigure);
            break;
        case 'B':
        case 'b':
            toggle(showDropLines);
            break;
        case 'Q':
        case 'q':
            projectionVector.x += kProjectionStep;
            break;
        case 'A':
        case 'a':
            projectionVector.x -= kProjectionStep;
            break;
        case 'W':
        case 'w':
            projectionVector.y += kProjectionStep;
            break;
        case 'S':
        case 's':
            projectionVector.y -= kProjectionStep;
            break;
        case 'E':
        case 'e':
            projectionVector.z += kProjectionStep;
            break;
        case 'D':
        case 'd':
            projectionVector.z -= kProjectionStep;
            break;
        case 'R':
        case 'r':
            projectionVector.q += kProjectionStep;
            break;
        case 'F':
        case 'f':
            projectionVector.q -= kProjectionStep;
            break;
        case 'O':
        case 'o':
            figureLineWidth += kLineWidthStep;
            break;
        case 'L':
        case 'l':
            figureLineWidth -= kLineWidthStep;
            break;
        case '.':
        case '>':
            globalStep += kGlobalStepIncrement;
            break;
        case ',':
        case '<':
            globalStep -= kGlobalStepIncrement;
            break;
        default:
            break;
    }
}

// Keeps the figure's line width within 1 to 10 pixels.
void boundLineWidth() {
    if (figureLineWidth < kMinLineWidth) {
        figureLineWidth = kMinLineWidth;
    }
    if (figureLineWidth > kMaxLineWidth) {
        figureLineWidth = kMaxLineWidth;
    }
}
}  // namespace

void mouse(int button, int /*state*/, int x, int y) {
    // Press and release are handled alike: the latest event's button wins.
    lastMouseX = x;
    lastMouseY = y;
    mouseButton = button;
}

void motion(int x, int y) {
    // Previous minus new: a leftward or upward drag gives positive values.
    const int dx = lastMouseX - x;
    const int dy = lastMouseY - y;
    if (mouseButton == GLUT_LEFT_BUTTON) {
        camera.rotate(static_cast<float>(dx), static_cast<float>(dy));
    } else if (mouseButton == GLUT_RIGHT_BUTTON) {
        camera.zoom(dy);
    }
    lastMouseX = x;
    lastMouseY = y;
    display();
}

void keyboard(unsigned char key, int /*x*/, int /*y*/) {
    applyKey(key);
    boundLineWidth();
    display();
}
