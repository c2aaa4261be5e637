// The figures tessascene generates by name: the polytopes, duoprisms, the Clifford torus grid and
// the Hopf circles, each with its size and colour. A new figure is one row of the table in
// generators.cpp.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "tessascene/figures/edge_graph.h"

namespace tessascene {

// A generated figure as it is written unless the options say otherwise.
struct GeneratedFigure {
    EdgeGraph graph;
    double size = 0.0;  // circumradius
    std::array<double, 3> colour = {1.0, 1.0, 1.0};
};

// A figure generate knows, as a program that offers them lists it (the web page's menu).
struct FigureKind {
    std::string name;
    int parameterCount = 0;         // 0, 1 or 2, after NAME: and separated by commas
    std::string parameterNames;     // e.g. "P,Q"; empty without parameters
    std::array<int, 2> defaults{};  // of the parameters
    int minimum = 0;                // of each parameter
    int maximum = 0;                // of each parameter
};

// Every figure generate knows, in the order of its help.
std::vector<FigureKind> figureKinds();

// Whether source (NAME or NAME:A,B) names a figure generate knows; slice generates such a
// source and imports any other.
bool namesGenerator(const std::string& source);

// Checks a request NAME or NAME:A,B; false with a usage error naming what is wrong.
bool checkFigureRequest(const std::string& request, std::string& error);

// The figure of a request NAME or NAME:A,B, its rounding noise set to 0 (a coordinate within
// 1e-9 of zero relative to the largest one); false with the usage error checkFigureRequest gives.
bool generateFigure(const std::string& request, GeneratedFigure& figure, std::string& error);

}  // namespace tessascene
