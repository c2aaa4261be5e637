// The orbit camera: an eye on a sphere around a fixed target, moved by mouse drags.
#pragma once

#include "math4d/point.h"

class OrbitCamera {
public:
    Point3 eye;         // eye position in scene coordinates
    Point3 target;      // the point looked at and orbited; fixed after setDefaults
    Point3 up;          // up vector for the look-at; fixed after setDefaults
    int gridShown = 0;  // 1 draws the three plane grids
    int axesShown = 0;  // 1 draws the axes, the q-axis marker and the status lines

    // Orbit angles in radians, shared by the class. azimuth turns about y and is never wrapped;
    // elevation stays within +-(pi/2 - 0.01), positive puts the eye below the target.
    static float azimuth;
    static float elevation;

    // Start state: angles -2.2 and -1.1, eye (-1.6, 5, 2), target the origin, y up, grids
    // hidden, axes shown.
    void setDefaults();

    // Distance between eye and target.
    float distance() const;
    // dx, dy in pixels of mouse movement (previous minus new); 200 pixels make one radian.
    // Puts the eye back on the sphere of the distance it had.
    void rotate(float dx, float dy);
    // Moves the eye dy percent of its offset toward the target (away for negative dy); a step
    // that would end at a distance of 1 or less, or 550 or more, is refused whole.
    void zoom(int dy);

    // Draw the grids or the axes when their flag is 1, with GL. Defined with the decorations in
    // viewer/decorations.cpp, the viewer's drawing part: the rest of this class needs no GL.
    void drawGridIfShown() const;
    void drawAxesIfShown() const;
};
