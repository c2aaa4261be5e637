#include "app/input_callbacks.h"

#include "app/frame.h"
#include "app/process_state.h"
#include "viewer/input.h"

void mouse(int button, int /*state*/, int x, int y) {
    handleMouseButton(viewer, button, x, y);
}

void motion(int x, int y) {
    if (handleMouseMotion(viewer, x, y)) {
        display();
    }
}

void keyboard(unsigned char key, int /*x*/, int /*y*/) {
    if (handleKey(viewer, key)) {
        display();
    }
}
