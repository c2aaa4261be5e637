// Mouse and keyboard handling: every event changes the state it is handed and asks for a frame.
#include "viewer/input.h"

#include <cctype>

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
void applyKey(ViewerState& state, unsigned char key) {
    // Letters act the same in either case.
    switch (std::tolower(key)) {
        case 'x':
            toggle(state.camera.gridShown);
            break;
        case 'c':
            toggle(state.camera.axesShown);
            break;
        case 'v':
            toggle(state.showFigure);
            break;
        case 'b':
            toggle(state.showDropLines);
            break;
        case 'q':
            state.projectionVector.x += kProjectionStep;
            break;
        case 'a':
            state.projectionVector.x -= kProjectionStep;
            break;
        case 'w':
            state.projectionVector.y += kProjectionStep;
            break;
        case 's':
            state.projectionVector.y -= kProjectionStep;
            break;
        case 'e':
            state.projectionVector.z += kProjectionStep;
            break;
        case 'd':
            state.projectionVector.z -= kProjectionStep;
            break;
        case 'r':
            state.projectionVector.q += kProjectionStep;
            break;
        case 'f':
            state.projectionVector.q -= kProjectionStep;
            break;
        case 'o':
            state.figureLineWidth += kLineWidthStep;
            break;
        case 'l':
            state.figureLineWidth -= kLineWidthStep;
            break;
        case '.':
        case '>':
            state.globalStep += kGlobalStepIncrement;
            break;
        case ',':
        case '<':
            state.globalStep -= kGlobalStepIncrement;
            break;
        default:
            break;
    }
}

// Keeps the figure's line width within 1 to 10 pixels.
void boundLineWidth(float& width) {
    if (width < kMinLineWidth) {
        width = kMinLineWidth;
    }
    if (width > kMaxLineWidth) {
        width = kMaxLineWidth;
    }
}
}  // namespace

void handleMouseButton(ViewerState& state, int button, int x, int y) {
    // Press and release are handled alike: the latest event's button wins.
    state.lastMouseX = x;
    state.lastMouseY = y;
    state.mouseButton = button;
}

bool handleMouseMotion(ViewerState& state, int x, int y) {
    // Previous minus new: a leftward or upward drag gives positive values.
    const int dx = state.lastMouseX - x;
    const int dy = state.lastMouseY - y;
    if (state.mouseButton == kLeftButton) {
        state.camera.rotate(static_cast<float>(dx), static_cast<float>(dy));
    } else if (state.mouseButton == kRightButton) {
        state.camera.zoom(dy);
    }
    state.lastMouseX = x;
    state.lastMouseY = y;
    return true;
}

bool handleKey(ViewerState& state, unsigned char key) {
    applyKey(state, key);
    boundLineWidth(state.figureLineWidth);
    return true;
}
