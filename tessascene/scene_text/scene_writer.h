// The text of the viewer's two scene files. Every number is written as the shortest text that
// the viewer's loader reads back as the same 32-bit float.
#pragma once

#include <array>
#include <cstddef>
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

// v as the figure file holds it: rounded to a 32-bit float, 0 below the smallest normal float
// (and for -0).
float writtenFloat(double v);

// v rounded to a 32-bit float and written as the shortest text in printf's "%g" notation that
// reads back as that float (1 to 9 significant digits). Values below the smallest normal float,
// and -0, are written as 0. v must be finite and within the float range.
std::string formatFloat(double v);

// True when v is finite and within the float range, so formatFloat may write it.
bool fitsFloat(double v);

// The figure file's text, every coordinate as formatFloat writes it: a coordinate that is a
// normal float is never written as 0. Fails with a one-line error when a value does not fit a
// float, or is below the normal range without being negligible (see writableCoordinate).
bool figureFileText(const SceneFigure& figure, std::string& text, std::string& error);

// What a figure file holds as the viewer reads it back.
struct WrittenFigure {
    std::size_t vertices = 0;  // distinct vertices, each as its four written floats
    std::size_t edges = 0;     // distinct edges between two distinct vertices
};

// Counts the vertices and edges of figure as figureFileText writes it: the polylines' edges as
// its line-loop value draws them (none for points), an edge of a vertex to itself left out.
WrittenFigure countWritten(const SceneFigure& figure);

// The affine file's text. Fails with a one-line error when a value does not fit a float or a
// record has the wrong number of parameters for its type.
bool affineFileText(const SceneAffines& affines, std::string& text, std::string& error);

// True when c, a coordinate of a figure whose largest coordinate magnitude is largest, is
// written as a number the viewer reads back: within the float range, and either at least the
// smallest normal float, or below it and negligible (within 1e-9 of zero relative to largest),
// which is written as 0.
bool writableCoordinate(double c, double largest);

}  // namespace tessascene
