// Composition of the transform list under the global step.
#pragma once

#include "scene/scene_records.h"

#include "math4d/affine_transform.h"

// Composes the first affines.count records (types 1-6; others are skipped) into one transform
// under the step, nothing printed. Types 4, 5 and 6 take step + p0, step * p0 and step * p0 as
// their factor.
AffineTransform composeAffineCollection(const AffineCollection& affines, float step);

// Composes the first affines.count records (types 1-6; others are skipped) into one matrix under
// the step, prints it as "Matrix of Affine" and returns the figure transformed by it. Types 4, 5
// and 6 take step + p0, step * p0 and step * p0 as their factor.
FigureCollection applyAffineCollection(FigureCollection figure, AffineCollection affines,
                                       float step);
