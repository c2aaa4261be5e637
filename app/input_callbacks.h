// The GLUT input callbacks, named as they are registered. Each hands the process-wide state to
// the viewer's input handling and draws the frame it asks for.
#pragma once

// glutMouseFunc: remembers the button (GLUT numbering) and the position; press and release alike.
void mouse(int button, int state, int x, int y);

// glutMotionFunc: left drag orbits, right drag zooms, by the movement since the last event; then
// redraws.
void motion(int x, int y);

// glutKeyboardFunc: applies the key's effect, keeps figureLineWidth within 1 to 10, redraws.
void keyboard(unsigned char key, int x, int y);
