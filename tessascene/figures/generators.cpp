#include "tessascene/figures/generators.h"

#include <cmath>
#include <string_view>
#include <vector>

#include "tessascene/figures/geometry.h"
#include "tessascene/figures/numbers.h"
#include "tessascene/figures/polytopes.h"

namespace tessascene {

namespace {

// What generate knows about one figure.
struct Generator {
    const char* name;
    int parameterCount;            // 0, 1 or 2, after NAME: and separated by commas
    const char* parameterNames;    // as the help writes them, "P,Q"
    std::array<int, 2> defaults;   // of the parameters
    int minimum;                   // of each parameter
    int maximum;                   // of each parameter: keeps a typo from exhausting memory
    double size;                   // circumradius
    std::array<double, 3> colour;  // red, green, blue
    EdgeGraph (*make)(int, int);
};

// Adapters to the table's signature; the fixed polytopes take no parameters.
// clang-format off
EdgeGraph fiveCell(int, int) { return makeFiveCell(); }
EdgeGraph tesseract(int, int) { return makeTesseract(); }
EdgeGraph sixteenCell(int, int) { return makeSixteenCell(); }
EdgeGraph twentyFourCell(int, int) { return makeTwentyFourCell(); }
EdgeGraph oneTwentyCell(int, int) { return makeOneTwentyCell(); }
EdgeGraph sixHundredCell(int, int) { return makeSixHundredCell(); }
EdgeGraph threeSphere(int rings, int circles) { return makeHopfCircles(rings, circles, 40); }
// clang-format on

// Sizes fill the viewer's start view; the 120-cell and 600-cell are larger for their detail.
const std::vector<Generator>& generators() {
    static const std::vector<Generator> table = {
        {"5-cell", 0, "", {0, 0}, 0, 0, 2.0, {0.85, 0.1, 0.1}, fiveCell},
        {"tesseract", 0, "", {0, 0}, 0, 0, 2.0, {1.0, 0.5, 0.0}, tesseract},
        {"8-cell", 0, "", {0, 0}, 0, 0, 2.0, {1.0, 0.5, 0.0}, tesseract},
        {"16-cell", 0, "", {0, 0}, 0, 0, 2.0, {0.1, 0.55, 0.1}, sixteenCell},
        {"24-cell", 0, "", {0, 0}, 0, 0, 2.0, {0.6, 0.1, 0.7}, twentyFourCell},
        {"120-cell", 0, "", {0, 0}, 0, 0, 2.2, {0.1, 0.3, 0.8}, oneTwentyCell},
        {"600-cell", 0, "", {0, 0}, 0, 0, 2.2, {0.0, 0.5, 0.5}, sixHundredCell},
        {"duoprism", 2, "P,Q", {5, 7}, 3, 1000, 1.8, {0.55, 0.45, 0.0}, makeDuoprism},
        {"clifford-torus", 2, "M,N", {16, 16}, 3, 1000, 1.8, {0.8, 0.1, 0.4}, makeCliffordTorus},
        {"3-sphere", 2, "RINGS,CIRCLES", {2, 8}, 1, 90, 1.8, {0.25, 0.25, 0.45}, threeSphere},
    };
    return table;
}

// The parameters after NAME: of generator g, whole numbers separated by commas, each from
// g.minimum to g.maximum. false: they are not.
bool readParameters(const Generator& g, const std::string& text, std::array<int, 2>& values) {
    std::size_t start = 0;
    for (int i = 0; i < g.parameterCount; ++i) {
        const std::size_t comma = i + 1 < g.parameterCount ? text.find(',', start) : text.size();
        long long value = 0;
        if (comma == std::string::npos ||
            readWholeNumber(std::string_view(text).substr(start, comma - start), value) !=
                NumberRead::kNumber ||
            value < g.minimum || value > g.maximum) {
            return false;
        }
        values[static_cast<std::size_t>(i)] = static_cast<int>(value);
        start = comma + 1;
    }
    return true;
}

// Finds the generator for NAME[:A,B] and its parameters. false: a usage error.
bool findGenerator(const std::string& request, const Generator*& found,
                   std::array<int, 2>& parameters, std::string& error) {
    const size_t colon = request.find(':');
    const std::string name = request.substr(0, colon);
    for (const Generator& g : generators()) {
        if (name != g.name) {
            continue;
        }
        parameters = g.defaults;
        if (colon != std::string::npos) {
            const std::string text = request.substr(colon + 1);
            if (g.parameterCount == 0) {
                error = "the figure " + name + " takes no parameters";
                return false;
            }
            if (!readParameters(g, text, parameters)) {
                error = "bad parameters '" + text + "' for " + name + ": expected " +
                        (g.parameterCount == 1 ? "a whole number" : "two whole numbers") +
                        " from " + std::to_string(g.minimum) + " to " + std::to_string(g.maximum) +
                        (g.parameterCount == 1 ? "" : ", separated by a comma");
                return false;
            }
        }
        found = &g;
        return true;
    }
    error = "unknown figure '" + name + "'; see tessascene --help";
    return false;
}

// Sets to 0 the rounding noise of the generators' arithmetic, such as cos(pi / 2) = 6e-17: every
// coordinate within 1e-9 of zero relative to the figure's largest coordinate.
void clearRoundingNoise(EdgeGraph& graph) {
    const double negligible = largestMagnitude(graph.vertices) * 1e-9;
    for (Vertex4& v : graph.vertices) {
        for (double& c : v) {
            c = std::fabs(c) <= negligible ? 0.0 : c;
        }
    }
}

}  // namespace

std::vector<FigureKind> figureKinds() {
    std::vector<FigureKind> kinds;
    for (const Generator& g : generators()) {
        kinds.push_back(
            {g.name, g.parameterCount, g.parameterNames, g.defaults, g.minimum, g.maximum});
    }
    return kinds;
}

bool namesGenerator(const std::string& source) {
    const std::string name = source.substr(0, source.find(':'));
    for (const Generator& g : generators()) {
        if (name == g.name) {
            return true;
        }
    }
    return false;
}

bool checkFigureRequest(const std::string& request, std::string& error) {
    const Generator* generator = nullptr;
    std::array<int, 2> parameters{};
    return findGenerator(request, generator, parameters, error);
}

bool generateFigure(const std::string& request, GeneratedFigure& figure, std::string& error) {
    const Generator* generator = nullptr;
    std::array<int, 2> parameters{};
    if (!findGenerator(request, generator, parameters, error)) {
        return false;
    }
    figure = GeneratedFigure{generator->make(parameters[0], parameters[1]), generator->size,
                             generator->colour};
    clearRoundingNoise(figure.graph);
    return true;
}

}  // namespace tessascene
