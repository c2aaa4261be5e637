// The figure pass of every frame.
#pragma once

#include "math4d/point.h"
#include "scene/scene_records.h"

// Composes affines under step (printing the matrix), transforms and projects copies of figure
// along projection and draws them with lines and points lineWidth pixels wide. Polylines whose
// projection is not finite are left out. Neither record is changed.
void drawFigurePass(const FigureCollection& figure, const AffineCollection& affines, float step,
                    Point4 projection, float lineWidth);
