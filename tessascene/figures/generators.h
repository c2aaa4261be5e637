// The figures tessascene generates by name: the regular polytopes, duoprisms, the Clifford torus
// grid, the Hopf circles, the convex uniform polychora and any Wythoff figure of a rank-4 group,
// each with its size and colour. A new figure is one row of the table in generators.cpp.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "tessascene/figures/edge_graph.h"

namespace tessascene {

// A generated figure as it is written unless the options say otherwise.
struct GeneratedFigure {
    EdgeGraph graph;
    std::vector<std::vector<int>> cells;  // each cell's vertices, increasing; empty unless built
    double size = 0.0;                    // circumradius
    std::array<double, 3> colour = {1.0, 1.0, 1.0};
};

// A figure generate knows, as a program that offers them lists it (the web page's menu).
struct FigureKind {
    std::string name;
    std::string alias;              // the figure's other name, or ""
    std::string parameterNames;     // after NAME: as the help writes them ("P,Q", "GROUP:RINGS");
                                    // empty without parameters
    int parameterCount = 0;         // whole numbers after NAME:, separated by commas: 0, 1 or 2
    bool symbol = false;            // NAME:GROUP:RINGS, which must be given (no whole numbers)
    std::array<int, 2> defaults{};  // of the whole numbers
    int minimum = 0;                // of each whole number
    int maximum = 0;                // of each whole number
    bool fits = true;               // whether a figure file holds it with its defaults
};

// Every figure generate knows, in the table's order.
std::vector<FigureKind> figureKinds();

// Whether source (NAME or NAME:PARAMETERS) names a figure generate knows; slice and project
// generate such a source and import any other.
bool namesGenerator(const std::string& source);

// Checks a request NAME or NAME:PARAMETERS; false with a usage error naming what is wrong.
bool checkFigureRequest(const std::string& request, std::string& error);

// The figure of a request NAME or NAME:PARAMETERS, its rounding noise set to 0 (a coordinate
// within 1e-9 of zero relative to the largest one); false with the usage error
// checkFigureRequest gives.
bool generateFigure(const std::string& request, GeneratedFigure& figure, std::string& error);

// A uniform polychoron of the table as the help lists it, with the vertex and edge counts of the
// published tables of the uniform polychora.
struct UniformListing {
    std::string name;
    std::string alias;  // the figure's other name, or ""
    int vertices = 0;
    int edges = 0;
    bool fits = true;  // whether a figure file holds it (90 polylines of 90 vertices)
};

// The uniform polychora by name, in the table's order; the regular ones and the figures that
// take parameters are not among them.
std::vector<UniformListing> uniformListings();

}  // namespace tessascene
