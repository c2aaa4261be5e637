// Mouse and keyboard handling: every event changes the state it is handed and asks for a frame.
// The keys act through one table, which also names their effects for the lists of inputs.
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

// The keyboard table, in the order the keys are listed; a minus amount is added as it stands
// (x += -0.1f gives the same float as x -= 0.1f).
const std::array<KeyBinding, kKeyBindingCount> kKeys = {{
    {'>', '.', KeyAction::kGlobalStep, kGlobalStepIncrement, "step +1",
     "global step + 1: advances the animated transforms one increment"},
    {'<', ',', KeyAction::kGlobalStep, -kGlobalStepIncrement, "step -1", "global step - 1"},
    {'q', 0, KeyAction::kProjectionX, kProjectionStep, "x +0.1", "projection vector x + 0.1"},
    {'a', 0, KeyAction::kProjectionX, -kProjectionStep, "x -0.1", "projection vector x - 0.1"},
    {'w', 0, KeyAction::kProjectionY, kProjectionStep, "y +0.1", "projection vector y + 0.1"},
    {'s', 0, KeyAction::kProjectionY, -kProjectionStep, "y -0.1", "projection vector y - 0.1"},
    {'e', 0, KeyAction::kProjectionZ, kProjectionStep, "z +0.1", "projection vector z + 0.1"},
    {'d', 0, KeyAction::kProjectionZ, -kProjectionStep, "z -0.1", "projection vector z - 0.1"},
    {'r', 0, KeyAction::kProjectionQ, kProjectionStep, "q +0.1", "projection vector q + 0.1"},
    {'f', 0, KeyAction::kProjectionQ, -kProjectionStep, "q -0.1", "projection vector q - 0.1"},
    {'o', 0, KeyAction::kLineWidth, kLineWidthStep, "width +1",
     "figure line width + 1 (1 to 10 pixels)"},
    {'l', 0, KeyAction::kLineWidth, -kLineWidthStep, "width -1", "figure line width - 1"},
    {'x', 0, KeyAction::kToggleGrids, 0.0f, "grids", "plane grids on/off"},
    {'c', 0, KeyAction::kToggleAxes, 0.0f, "axes", "axes, q marker and status lines on/off"},
    {'v', 0, KeyAction::kToggleFigure, 0.0f, "figure", "figure on/off"},
    {'b', 0, KeyAction::kToggleDropLines, 0.0f, "drop lines",
     "drop lines from the q marker to the axes on/off"},
}};

// What handleMouseMotion does with a held button.
const std::array<DragBinding, kDragBindingCount> kDrags = {{
    {"left drag", "orbit the camera around the origin"},
    {"right drag", "zoom: up comes closer, down goes away"},
}};

// Applies one row of the table.
void apply(ViewerState& state, const KeyBinding& binding) {
    switch (binding.action) {
        case KeyAction::kGlobalStep:
            state.globalStep += binding.amount;
            break;
        case KeyAction::kProjectionX:
            state.projectionVector.x += binding.amount;
            break;
        case KeyAction::kProjectionY:
            state.projectionVector.y += binding.amount;
            break;
        case KeyAction::kProjectionZ:
            state.projectionVector.z += binding.amount;
            break;
        case KeyAction::kProjectionQ:
            state.projectionVector.q += binding.amount;
            break;
        case KeyAction::kLineWidth:
            state.figureLineWidth += binding.amount;
            break;
        case KeyAction::kToggleGrids:
            toggle(state.camera.gridShown);
            break;
        case KeyAction::kToggleAxes:
            toggle(state.camera.axesShown);
            break;
        case KeyAction::kToggleFigure:
            toggle(state.showFigure);
            break;
        case KeyAction::kToggleDropLines:
            toggle(state.showDropLines);
            break;
    }
}

// Applies the effect of one key; keys outside the table change nothing.
void applyKey(ViewerState& state, unsigned char key) {
    // Letters act the same in either case.
    const int lowered = std::tolower(key);
    for (const KeyBinding& binding : kKeys) {
        if (lowered == binding.key || (binding.alias != 0 && lowered == binding.alias)) {
            apply(state, binding);
            return;
        }
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

const std::array<KeyBinding, kKeyBindingCount>& keyTable() {
    return kKeys;
}

const std::array<DragBinding, kDragBindingCount>& dragTable() {
    return kDrags;
}

bool handleKey(ViewerState& state, unsigned char key) {
    applyKey(state, key);
    boundLineWidth(state.figureLineWidth);
    return true;
}
