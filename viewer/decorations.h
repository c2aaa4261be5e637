// Axes and plane grids around the origin, drawn in the camera's view.
#pragma once

// Each axis whose flag is 1 as a 3-pixel line from the origin to length, capped with a cone:
// x red, y green, z blue. Leaves the line width at 1.
void drawAxes(int showX, int showY, int showZ, int length);

// Dark grey unit grids from -halfExtent to halfExtent in the planes whose flag is 1, all in one
// line block.
void drawGrids(int showXY, int showYZ, int showXZ, int halfExtent);
