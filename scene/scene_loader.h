// Reads the two scene files into the figure, transform list and projection vector it is handed.
#pragma once

#include <istream>

#include "math4d/point.h"
#include "scene/scene_records.h"

// Figure file: line-loop value, colour, polyline count, then per polyline a vertex count and
// x y z q per vertex. Affine file: projection vector, record count, then per record a type and
// its parameters (rotation angles in degrees). Tokens are whitespace-separated; integers may be
// octal (leading 0) or hexadecimal (0x). Everything read is echoed on standard output.
// A file that cannot be opened, ends early or holds a non-number is reported on one line; what
// was read before stays. At most 90 polylines, vertices per polyline and records are kept.
void readSceneFiles(const char* figureName, const char* affineName, FigureCollection& figure,
                    AffineCollection& affines, Point4& projection);

// The same reading from streams already opened, under the given file names. A null stream
// stands for a file that could not be opened; when the figure's is null the affine stream is
// not touched.
void readSceneStreams(std::istream* figure, const char* figureName, std::istream* affine,
                      const char* affineName, FigureCollection& figureOut,
                      AffineCollection& affinesOut, Point4& projection);
