// The figure pass of every frame.
#pragma once

// Composes the loaded transform list under the global step (printing the matrix), transforms
// and projects copies of the loaded figure and draws them at figureLineWidth. Polylines whose
// projection is not finite are left out.
void drawFigure();
