// Entry point: opens the window, prepares the process-wide state and hands control to GLUT.
#include <GL/glut.h>

#include "app/frame.h"
#include "app/input_callbacks.h"
#include "app/process_state.h"
#include "tessaview_version.h"

namespace {
constexpr const char* kWindowTitle = TESSAVIEW_WINDOW_TITLE;
constexpr int kWindowX = 100;
constexpr int kWindowY = 150;
}  // namespace

// argc/argv go to GLUT only; the program has no options of its own. Never returns in practice.
int main(int argc, char** argv) {
    const int width = static_cast<int>(kWindowWidth);
    const int height = static_cast<int>(kWindowHeight);

    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(width, height);
    glutInitWindowPosition(kWindowX, kWindowY);
    glutCreateWindow(kWindowTitle);
    glutDisplayFunc(display);
    glClearColor(1.0f, 1.0f, 1.0f, 0.0f);
    glEnable(GL_DEPTH_TEST);
    init();
    glutMouseFunc(mouse);
    glutMotionFunc(motion);
    glutKeyboardFunc(keyboard);
    glViewport(0, 0, width, height);
    glutMainLoop();
    return 0;
}
