// The frame readout on standard output: the bracket lines of every frame, the q-axis marker's
// image and the four status lines. Display-free, so every front writes the same bytes.
#pragma once

#include "math4d/point.h"
#include "viewer/viewer_state.h"

// Length along q of the axis point whose image the marker shows and the status lines give.
constexpr float kMarkerLength = 3.0f;

// The image of the q-axis point (0, 0, 0, length) projected along projection; not finite when
// the projection's q is 0.
Point3 qMarkerImage(Point4 projection, float length);

// "           Start Draw           ", flushed: the first line of every frame.
void writeFrameStart();

// The projection vector, the marker image p, the eye and the global step on four flushed lines;
// every number but the step cut toward zero to two decimals.
void writeStatusLines(const ViewerState& state, const Point3& p);

// "-----------End Draw-----------" and "==============================", flushed: the last two
// lines of every frame.
void writeFrameEnd();
