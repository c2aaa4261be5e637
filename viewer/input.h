// What a mouse event or a key press does to the viewer's state. The GLUT callbacks of the
// application shell hand the state in and draw a frame when these report one is due.
#pragma once

#include "viewer/viewer_state.h"

// Mouse buttons as GLUT numbers them.
enum MouseButton : int {
    kLeftButton = 0,
    kRightButton = 2,
};

// A button pressed or released at window pixel (x, y): remembers the button and the position.
void handleMouseButton(ViewerState& state, int button, int x, int y);

// The pointer moved to (x, y) with a button held: a left drag orbits, a right drag zooms, by the
// movement since the last event. Returns whether a frame is due (always, for every motion).
bool handleMouseMotion(ViewerState& state, int x, int y);

// Applies the key's effect and keeps figureLineWidth within 1 to 10. Returns whether a frame is
// due (always: every key redraws, also one that changes nothing).
bool handleKey(ViewerState& state, unsigned char key);
