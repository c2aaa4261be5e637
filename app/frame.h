// Start-up state and the frame pass.
#pragma once

// Sets the global step to 0, puts the camera in its start state, sets the 50-degree 4:3
// perspective and reads the two scene files from the working directory. Called once by main.
void init();

// Draws one whole frame (grids, axes, q-axis marker with status lines, figure), writes its
// bracket lines and swaps the buffers. GLUT's display callback; the input callbacks call it too.
void display();

// The figure pass: composes the loaded transform list under the global step (printing the
// matrix), transforms and projects copies of the loaded figure and draws them at
// figureLineWidth.
void drawFigure();
