// The scene records: the figure (polylines of 4D vertices) and the list of affine transforms.
// Plain values of fixed capacity with no pointers, copied whole; no accessor checks an index.
#pragma once

#include "math4d/point.h"
#include "scene/scene_format.h"

class AffineTransform;
struct FigureCollection3;

// One coloured polyline; only vertices[0] to vertices[count-1] are meaningful.
struct Polyline {
    int count = 0;
    Point4 vertices[kMaxVertices];
    float red = 0.0f;  // colour components go to OpenGL unchanged, unclamped
    float green = 0.0f;
    float blue = 0.0f;

    // j in 0..89; count is not changed.
    void setVertex(int j, float x, float y, float z, float q);
    void setColour(float r, float g, float b);
    // Copies red, green and blue from source, nothing else.
    void copyColour(const Polyline& source);
};

// The figure. lineLoop (a LineLoopMode) selects how every polyline is drawn; any other value
// draws nothing.
struct FigureCollection {
    int count = 0;
    int lineLoop = 0;
    Polyline polylines[kMaxPolylines];

    // Stores p's colour, count and first count vertices into polylines[i]; later slots keep
    // what they held.
    void setPolyline(int i, Polyline p);
    void copyPolylineColour(int i, const Polyline& source);

    // A new figure with every vertex replaced by transform.composite x (x, y, z, q, 1).
    FigureCollection transform(AffineTransform transform) const;
    // A new 3D figure: every vertex slid along direction onto q = 0 (see projectTo3D).
    FigureCollection3 project(Point4 direction) const;
    // Projects along projection and draws the result with OpenGL, lineWidth pixels wide.
    // Defined in pipeline/figure_draw.cpp, the pipeline's drawing part; the scene layer has no GL.
    void draw(Point4 projection, float lineWidth) const;
};

// One elementary transform; type is a TransformType, and any value outside 1..6 is skipped by
// the composition.
struct Affine {
    float params[7] = {};
    int type = 0;

    void set(int newType, float p0, float p1, float p2, float p3, float p4, float p5, float p6);
};

// The transform list, applied in index order; only records[0] to records[count-1] are used.
struct AffineCollection {
    Affine records[kMaxAffines];
    int count = 0;

    // count 0 and every record empty (type 0, all parameters 0).
    void reset();
    // Sets records[i]; count is not changed.
    void setAffine(int i, int type, float p0, float p1, float p2, float p3, float p4, float p5,
                   float p6);
};
