// The text of the viewer's two scene files. Every number is written exactly as the viewer's
// loader echoes a 32-bit float, so the loader reads each value back and its echo repeats the
// text.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "tessascene/figures/geometry.h"

namespace tessascene {

// The contents of the figure file: one colour and line-loop value for the whole figure.
struct SceneFigure {
    int lineLoop = 0;
    std::array<double, 3> colour = {1.0, 1.0, 1.0};  // red, green, blue
    std::vector<std::vector<Vertex4>> polylines;
};

// One record of the affine file, with its parameters as the file gives them: 5 for types 1, 2,
// 4 and 5, 7 for types 3 and 6, whose first parameter is an angle in degrees.
struct AffineRecord {
    int type = 0;
    std::vector<double> params;
};

// The contents of the affine file.
struct SceneAffines {
    Vertex4 projection = {0.0, 0.0, 0.0, 1.0};
    std::vector<AffineRecord> records;
};

// The two scene files of a scene, as text.
struct SceneTexts {
    std::string figure;
    std::string affine;
};

// v rounded to a 32-bit float and written in the stream's default notation (six significant
// digits, no trailing zeros). Values below the smallest normal float, and -0, are written as 0.
// v must be finite and within the float range.
std::string formatFloat(double v);

// True when v is finite and within the float range, so formatFloat may write it.
bool fitsFloat(double v);

// The figure file's text. Coordinates within 1e-9 of zero, relative to the largest coordinate
// of the figure, are written as 0. Fails with a one-line error when a value does not fit a float.
bool figureFileText(const SceneFigure& figure, std::string& text, std::string& error);

// The affine file's text. Fails with a one-line error when a value does not fit a float or a
// record has the wrong number of parameters for its type.
bool affineFileText(const SceneAffines& affines, std::string& text, std::string& error);

// True when c, a coordinate of a figure whose largest coordinate magnitude is largest, is
// written as a number the viewer reads back: within the float range, and either negligible
// (within 1e-9 of zero relative to largest, written as 0) or at least the smallest normal float.
bool writableCoordinate(double c, double largest);

}  // namespace tessascene
