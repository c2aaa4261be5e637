// The projected figure: the 3D counterpart of FigureCollection, made fresh for every frame.
#pragma once

#include "math4d/point.h"
#include "scene/scene_records.h"

struct Polyline3 {
    int count = 0;
    Point3 vertices[kMaxVertices];
    float red = 0.0f;
    float green = 0.0f;
    float blue = 0.0f;
};

// True when every one of the polyline's count vertices is finite: only such a polyline is drawn,
// on the desktop and in the web page alike.
inline bool allVerticesFinite(const Polyline3& polyline) {
    for (int j = 0; j < polyline.count; ++j) {
        if (!isFinite(polyline.vertices[j])) {
            return false;
        }
    }
    return true;
}

struct FigureCollection3 {
    int count = 0;
    int lineLoop = 0;
    Polyline3 polylines[kMaxPolylines];

    void setPolylineColour(int i, float red, float green, float blue);

    // Draws every polyline with the primitive lineLoop selects, with lines and points lineWidth
    // pixels wide; leaves line width and point size at 1. A polyline with a non-finite vertex is
    // left out. Defined in figure_draw.cpp, the pipeline's drawing part: the rest needs no GL.
    void draw(float lineWidth) const;
};
