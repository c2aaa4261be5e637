// What a mouse event or a key press does to the viewer's state. The GLUT callbacks of the
// application shell hand the state in and draw a frame when these report one is due.
#pragma once

#include <array>

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

// What a key changes.
enum class KeyAction : int {
    kGlobalStep,
    kProjectionX,
    kProjectionY,
    kProjectionZ,
    kProjectionQ,
    kLineWidth,
    kToggleGrids,
    kToggleAxes,
    kToggleFigure,
    kToggleDropLines,
};

// One row of the keyboard table: the keys, what they change and by how much, and the words
// that name the effect wherever the keys are listed or shown as buttons.
struct KeyBinding {
    unsigned char key;    // a letter in lower case stands for both cases
    unsigned char alias;  // a second key with the same effect, or 0
    KeyAction action;
    float amount;       // added to the value; 0 for a switch
    const char* label;  // a few words, e.g. "step +1"
    const char* help;   // one sentence
};

// A pointer drag and what it does, for the lists of inputs.
struct DragBinding {
    const char* input;  // e.g. "left drag"
    const char* help;
};

constexpr int kKeyBindingCount = 16;
constexpr int kDragBindingCount = 2;

// The keyboard table handleKey runs on, in the order the keys are listed.
const std::array<KeyBinding, kKeyBindingCount>& keyTable();

// The drags handleMouseMotion acts on.
const std::array<DragBinding, kDragBindingCount>& dragTable();

// Applies the key's effect and keeps figureLineWidth within 1 to 10. Returns whether a frame is
// due (always: every key redraws, also one that changes nothing).
bool handleKey(ViewerState& state, unsigned char key);
