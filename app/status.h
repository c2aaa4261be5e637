// The q-axis marker and the four console status lines.
#pragma once

#include "math4d/point.h"

// A 4D segment from start to end.
struct Segment4 {
    Point4 start;
    Point4 end;

    // The start's four coordinates, then the end's.
    Segment4(float sx, float sy, float sz, float sq, float ex, float ey, float ez, float eq);
};

// Draws the image of the q-axis point (0, 0, 0, length) under the current projection as a
// magenta ball joined to the origin, the drop lines when showDropLines is 1, and writes the
// projection vector, that image, the eye and the global step on four console lines. An image
// that is not finite (projection q of 0) is not drawn; the four lines are written regardless.
void drawStatus(float length);
