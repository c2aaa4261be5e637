#include "tessascene/figures/generators.h"

#include <functional>
#include <string_view>
#include <utility>

#include "tessascene/figures/geometry.h"
#include "tessascene/figures/numbers.h"
#include "tessascene/figures/polytopes.h"
#include "tessascene/figures/uniform_polytopes.h"
#include "tessascene/figures/wythoff.h"

namespace tessascene {

namespace {

// How a figure is written unless the options say otherwise. Sizes fill the viewer's start view;
// the 120-cell and its family are larger for their detail.
struct Look {
    double size;                   // circumradius
    std::array<double, 3> colour;  // red, green, blue
};

// The regular polytopes' looks, which the other figures of their groups share.
const Look kA4Look = {2.0, {0.85, 0.1, 0.1}};  // the 5-cell's
const Look kB4Look = {2.0, {1.0, 0.5, 0.0}};   // the tesseract's
const Look kD4Look = {2.0, {0.1, 0.55, 0.1}};  // the 16-cell's
const Look kF4Look = {2.0, {0.6, 0.1, 0.7}};   // the 24-cell's
const Look kH4Look = {2.2, {0.1, 0.3, 0.8}};   // the 120-cell's
const Look kPrismLook = {2.0, {0.0, 0.5, 0.5}};

// The look of the Wythoff figures of group.
Look groupLook(CoxeterGroup group) {
    switch (group) {
        case CoxeterGroup::kA4:
            return kA4Look;
        case CoxeterGroup::kB4:
            return kB4Look;
        case CoxeterGroup::kD4:
            return kD4Look;
        case CoxeterGroup::kF4:
            return kF4Look;
        case CoxeterGroup::kH4:
            break;
    }
    return kH4Look;
}

// What may follow NAME: in a request.
enum class ParameterKind {
    kNone,           // nothing
    kWholeNumbers,   // count whole numbers separated by commas; without them, the defaults
    kWythoffSymbol,  // GROUP:RINGS (wythoff.h), which must be given
};

struct ParameterRule {
    ParameterKind kind = ParameterKind::kNone;
    int count = 0;                  // of whole numbers: 1 or 2
    std::array<int, 2> defaults{};  // of the whole numbers
    int minimum = 0;                // of each whole number
    int maximum = 0;                // of each: keeps a typo from exhausting memory
    const char* names = "";         // as the help writes them, "P,Q"
};

// A request's parameters as read.
struct Request {
    std::array<int, 2> numbers{};
    WythoffSymbol symbol;
};

// The vertex and edge counts of a uniform polychoron in the published tables, and whether a
// figure file holds it; vertices 0: a figure the help describes in words instead.
struct Published {
    int vertices = 0;
    int edges = 0;
    bool fits = true;
};

constexpr bool kTooLarge = false;

using Maker = std::function<Polychoron(const Request&)>;

// What generate knows about one figure.
struct Generator {
    Generator(const char* name, const char* alias, Look look, Maker make, Published published = {},
              ParameterRule parameters = {})
        : name(name),
          alias(alias),
          look(look),
          make(std::move(make)),
          published(published),
          parameters(parameters) {}

    const char* name;
    const char* alias;  // the figure's other name, or ""
    Look look;          // of a Wythoff symbol: its group's instead
    Maker make;
    Published published;
    ParameterRule parameters;
};

// Makers of the table's rows.
Maker fixed(EdgeGraph (*make)()) {
    return [make](const Request&) { return Polychoron{make(), {}}; };
}
Maker fixed(Polychoron (*make)()) {
    return [make](const Request&) { return make(); };
}
Maker numbered(EdgeGraph (*make)(int, int)) {
    return [make](const Request& r) { return Polychoron{make(r.numbers[0], r.numbers[1]), {}}; };
}

// Rings as a row writes them, one digit 0 or 1 per node from left to right.
template <std::size_t N>
std::array<bool, N> ringsOf(const char* digits) {
    std::array<bool, N> rings{};
    for (std::size_t i = 0; i < N; ++i) {
        rings[i] = digits[i] == '1';
    }
    return rings;
}

// The Wythoff figure of group with rings.
Maker wythoff(CoxeterGroup group, const char* rings) {
    const WythoffSymbol symbol{group, ringsOf<4>(rings)};
    return [symbol](const Request&) { return makeWythoffPolytope(symbol); };
}

// The prism of the uniform polyhedron of group with rings.
Maker prism(PolyhedralGroup group, const char* rings) {
    const std::array<bool, 3> ringed = ringsOf<3>(rings);
    return
        [group, ringed](const Request&) { return makePrism(makeWythoffPolyhedron(group, ringed)); };
}

// The prism of the snub polyhedron of group.
Maker snubPrism(PolyhedralGroup group) {
    return [group](const Request&) { return makePrism(makeSnubPolyhedron(group)); };
}

constexpr CoxeterGroup kA4 = CoxeterGroup::kA4;
constexpr CoxeterGroup kB4 = CoxeterGroup::kB4;
constexpr CoxeterGroup kF4 = CoxeterGroup::kF4;
constexpr CoxeterGroup kH4 = CoxeterGroup::kH4;
constexpr PolyhedralGroup kA3 = PolyhedralGroup::kA3;
constexpr PolyhedralGroup kB3 = PolyhedralGroup::kB3;
constexpr PolyhedralGroup kH3 = PolyhedralGroup::kH3;

// Every figure, one row each. The uniform polychora's rings count from the base's node: the
// 5-cell, tesseract, 24-cell and 120-cell stand on node 0, the 16-cell and the 600-cell on
// node 3 (their rings read backwards). The tests check each row against its published counts.
const std::vector<Generator>& generators() {
    constexpr ParameterKind kNumbers = ParameterKind::kWholeNumbers;
    const Published unlisted;
    // clang-format off
    static const std::vector<Generator> table = {
        {"5-cell",         "",       kA4Look, fixed(makeFiveCell)},
        {"tesseract",      "8-cell", kB4Look, fixed(makeTesseract)},
        {"16-cell",        "",       kD4Look, fixed(makeSixteenCell)},
        {"24-cell",        "",       kF4Look, fixed(makeTwentyFourCell)},
        {"120-cell",       "",       kH4Look, fixed(makeOneTwentyCell)},
        {"600-cell",       "",       {2.2, {0.0, 0.5, 0.5}}, fixed(makeSixHundredCell)},
        {"duoprism",       "",       {1.8, {0.55, 0.45, 0.0}}, numbered(makeDuoprism), unlisted,
         {kNumbers, 2, {5, 7}, 3, 1000, "P,Q"}},
        {"clifford-torus", "",       {1.8, {0.8, 0.1, 0.4}}, numbered(makeCliffordTorus), unlisted,
         {kNumbers, 2, {16, 16}, 3, 1000, "M,N"}},
        {"3-sphere",       "",       {1.8, {0.25, 0.25, 0.45}},
         [](const Request& r) {
             return Polychoron{makeHopfCircles(r.numbers[0], r.numbers[1], 40), {}};
         },
         unlisted, {kNumbers, 2, {2, 8}, 1, 90, "RINGS,CIRCLES"}},
        {"wythoff",        "",       kA4Look,
         [](const Request& r) { return makeWythoffPolytope(r.symbol); },
         unlisted, {ParameterKind::kWythoffSymbol, 0, {}, 0, 0, "GROUP:RINGS"}},
        {"antiprism-prism", "",      kPrismLook,
         [](const Request& r) { return makePrism(makeAntiprism(r.numbers[0])); },
         unlisted, {kNumbers, 1, {5, 0}, 3, 1000, "N"}},

        {"rectified-5-cell",         "", kA4Look, wythoff(kA4, "0100"), {10, 30}},
        {"truncated-5-cell",         "", kA4Look, wythoff(kA4, "1100"), {20, 40}},
        {"cantellated-5-cell",       "", kA4Look, wythoff(kA4, "1010"), {30, 90}},
        {"bitruncated-5-cell",       "", kA4Look, wythoff(kA4, "0110"), {30, 60}},
        {"cantitruncated-5-cell",    "", kA4Look, wythoff(kA4, "1110"), {60, 120}},
        {"runcinated-5-cell",        "", kA4Look, wythoff(kA4, "1001"), {20, 60}},
        {"runcitruncated-5-cell",    "", kA4Look, wythoff(kA4, "1101"), {60, 150}},
        {"omnitruncated-5-cell",     "", kA4Look, wythoff(kA4, "1111"), {120, 240}},

        {"rectified-tesseract",      "", kB4Look, wythoff(kB4, "0100"), {32, 96}},
        {"truncated-tesseract",      "", kB4Look, wythoff(kB4, "1100"), {64, 128}},
        {"cantellated-tesseract",    "", kB4Look, wythoff(kB4, "1010"), {96, 288}},
        {"bitruncated-tesseract",    "bitruncated-16-cell", kB4Look, wythoff(kB4, "0110"), {96, 192}},
        {"cantitruncated-tesseract", "", kB4Look, wythoff(kB4, "1110"), {192, 384}},
        {"runcinated-tesseract",     "runcinated-16-cell", kB4Look, wythoff(kB4, "1001"), {64, 192}},
        {"runcitruncated-tesseract", "", kB4Look, wythoff(kB4, "1101"), {192, 480}},
        {"omnitruncated-tesseract",  "omnitruncated-16-cell", kB4Look, wythoff(kB4, "1111"),
         {384, 768}},
        {"rectified-16-cell",        "", kB4Look, wythoff(kB4, "0010"), {24, 96}},  // the 24-cell
        {"truncated-16-cell",        "", kB4Look, wythoff(kB4, "0011"), {48, 120}},
        {"runcitruncated-16-cell",   "", kB4Look, wythoff(kB4, "1011"), {192, 480}},

        {"rectified-24-cell",        "cantellated-16-cell", kF4Look, wythoff(kF4, "0100"), {96, 288}},
        {"truncated-24-cell",        "cantitruncated-16-cell", kF4Look, wythoff(kF4, "1100"),
         {192, 384}},
        {"cantellated-24-cell",      "", kF4Look, wythoff(kF4, "1010"), {288, 864}},
        {"bitruncated-24-cell",      "", kF4Look, wythoff(kF4, "0110"), {288, 576}},
        {"cantitruncated-24-cell",   "", kF4Look, wythoff(kF4, "1110"), {576, 1152}},
        {"runcinated-24-cell",       "", kF4Look, wythoff(kF4, "1001"), {144, 576}},
        {"runcitruncated-24-cell",   "", kF4Look, wythoff(kF4, "1101"), {576, 1440}},
        {"omnitruncated-24-cell",    "", kF4Look, wythoff(kF4, "1111"), {1152, 2304}},
        {"snub-24-cell",             "", {2.0, {0.45, 0.2, 0.75}}, fixed(makeSnubTwentyFourCell),
         {96, 432}},

        {"rectified-120-cell",       "", kH4Look, wythoff(kH4, "0100"), {1200, 3600}},
        {"truncated-120-cell",       "", kH4Look, wythoff(kH4, "1100"), {2400, 4800}},
        {"cantellated-120-cell",     "", kH4Look, wythoff(kH4, "1010"), {3600, 10800, kTooLarge}},
        {"bitruncated-120-cell",     "bitruncated-600-cell", kH4Look, wythoff(kH4, "0110"),
         {3600, 7200}},
        {"cantitruncated-120-cell",  "", kH4Look, wythoff(kH4, "1110"), {7200, 14400, kTooLarge}},
        {"runcinated-120-cell",      "runcinated-600-cell", kH4Look, wythoff(kH4, "1001"),
         {2400, 7200}},
        {"runcitruncated-120-cell",  "", kH4Look, wythoff(kH4, "1101"), {7200, 18000, kTooLarge}},
        {"omnitruncated-120-cell",   "omnitruncated-600-cell", kH4Look, wythoff(kH4, "1111"),
         {14400, 28800, kTooLarge}},
        {"rectified-600-cell",       "", kH4Look, wythoff(kH4, "0010"), {720, 3600}},
        {"truncated-600-cell",       "", kH4Look, wythoff(kH4, "0011"), {1440, 4320}},
        {"cantellated-600-cell",     "", kH4Look, wythoff(kH4, "0101"), {3600, 10800, kTooLarge}},
        {"cantitruncated-600-cell",  "", kH4Look, wythoff(kH4, "0111"), {7200, 14400, kTooLarge}},
        {"runcitruncated-600-cell",  "", kH4Look, wythoff(kH4, "1011"), {7200, 18000, kTooLarge}},
        {"grand-antiprism",          "", {2.0, {0.2, 0.45, 0.7}}, fixed(makeGrandAntiprism),
         {100, 500}},

        {"tetrahedron-prism",                 "", kPrismLook, prism(kA3, "100"), {8, 16}},
        {"octahedron-prism",                  "", kPrismLook, prism(kB3, "001"), {12, 30}},
        {"dodecahedron-prism",                "", kPrismLook, prism(kH3, "100"), {40, 80}},
        {"icosahedron-prism",                 "", kPrismLook, prism(kH3, "001"), {24, 72}},
        {"truncated-tetrahedron-prism",       "", kPrismLook, prism(kA3, "110"), {24, 48}},
        {"cuboctahedron-prism",               "", kPrismLook, prism(kB3, "010"), {24, 60}},
        {"truncated-cube-prism",              "", kPrismLook, prism(kB3, "110"), {48, 96}},
        {"truncated-octahedron-prism",        "", kPrismLook, prism(kB3, "011"), {48, 96}},
        {"rhombicuboctahedron-prism",         "", kPrismLook, prism(kB3, "101"), {48, 120}},
        {"truncated-cuboctahedron-prism",     "", kPrismLook, prism(kB3, "111"), {96, 192}},
        {"snub-cube-prism",                   "", kPrismLook, snubPrism(kB3), {48, 144}},
        {"icosidodecahedron-prism",           "", kPrismLook, prism(kH3, "010"), {60, 150}},
        {"truncated-dodecahedron-prism",      "", kPrismLook, prism(kH3, "110"), {120, 240}},
        {"truncated-icosahedron-prism",       "", kPrismLook, prism(kH3, "011"), {120, 240}},
        {"rhombicosidodecahedron-prism",      "", kPrismLook, prism(kH3, "101"), {120, 300}},
        {"truncated-icosidodecahedron-prism", "", kPrismLook, prism(kH3, "111"), {240, 480}},
        {"snub-dodecahedron-prism",           "", kPrismLook, snubPrism(kH3), {120, 360}},
    };
    // clang-format on
    return table;
}

// Whether name is one of g's names.
bool named(const Generator& g, const std::string& name) {
    return name == g.name || (g.alias[0] != '\0' && name == g.alias);
}

// The whole numbers after NAME: of rule, separated by commas, each from rule.minimum to
// rule.maximum. false: they are not.
bool readParameters(const ParameterRule& rule, const std::string& text,
                    std::array<int, 2>& values) {
    std::size_t start = 0;
    for (int i = 0; i < rule.count; ++i) {
        const std::size_t comma = i + 1 < rule.count ? text.find(',', start) : text.size();
        long long value = 0;
        if (comma == std::string::npos ||
            readWholeNumber(std::string_view(text).substr(start, comma - start), value) !=
                NumberRead::kNumber ||
            value < rule.minimum || value > rule.maximum) {
            return false;
        }
        values[static_cast<std::size_t>(i)] = static_cast<int>(value);
        start = comma + 1;
    }
    return true;
}

// Finds the generator for NAME[:PARAMETERS] and its parameters. false: a usage error.
bool findGenerator(const std::string& request, const Generator*& found, Request& parameters,
                   std::string& error) {
    const size_t colon = request.find(':');
    const std::string name = request.substr(0, colon);
    for (const Generator& g : generators()) {
        if (!named(g, name)) {
            continue;
        }
        const ParameterRule& rule = g.parameters;
        parameters = Request{};
        parameters.numbers = rule.defaults;
        if (rule.kind == ParameterKind::kWythoffSymbol) {
            if (colon == std::string::npos) {
                error = name + " needs GROUP:RINGS, for example " + name + ":F4:1001";
                return false;
            }
            if (!parseWythoffSymbol(request.substr(colon + 1), parameters.symbol, error)) {
                return false;
            }
        } else if (colon != std::string::npos) {
            const std::string text = request.substr(colon + 1);
            if (rule.kind == ParameterKind::kNone) {
                error = "the figure " + name + " takes no parameters";
                return false;
            }
            if (!readParameters(rule, text, parameters.numbers)) {
                error = (rule.count == 1 ? "bad parameter '" : "bad parameters '") + text +
                        "' for " + name + ": expected " +
                        (rule.count == 1 ? "a whole number" : "two whole numbers") + " from " +
                        std::to_string(rule.minimum) + " to " + std::to_string(rule.maximum) +
                        (rule.count == 1 ? "" : ", separated by a comma");
                return false;
            }
        }
        found = &g;
        return true;
    }
    error = "unknown figure '" + name + "'; see tessascene --help";
    return false;
}

}  // namespace

bool namesGenerator(const std::string& source) {
    const std::string name = source.substr(0, source.find(':'));
    for (const Generator& g : generators()) {
        if (named(g, name)) {
            return true;
        }
    }
    return false;
}

bool checkFigureRequest(const std::string& request, std::string& error) {
    const Generator* generator = nullptr;
    Request parameters;
    return findGenerator(request, generator, parameters, error);
}

bool generateFigure(const std::string& request, GeneratedFigure& figure, std::string& error) {
    const Generator* generator = nullptr;
    Request parameters;
    if (!findGenerator(request, generator, parameters, error)) {
        return false;
    }
    const Look look = generator->parameters.kind == ParameterKind::kWythoffSymbol
                          ? groupLook(parameters.symbol.group)
                          : generator->look;
    Polychoron made = generator->make(parameters);
    figure = GeneratedFigure{std::move(made.graph), std::move(made.cells), look.size, look.colour};
    clearRoundingNoise(figure.graph.vertices);
    return true;
}

std::vector<FigureKind> figureKinds() {
    std::vector<FigureKind> kinds;
    for (const Generator& g : generators()) {
        const ParameterRule& rule = g.parameters;
        kinds.push_back({g.name, g.alias, rule.names,
                         rule.kind == ParameterKind::kWholeNumbers ? rule.count : 0,
                         rule.kind == ParameterKind::kWythoffSymbol, rule.defaults, rule.minimum,
                         rule.maximum, g.published.fits});
    }
    return kinds;
}

std::vector<UniformListing> uniformListings() {
    std::vector<UniformListing> listings;
    for (const Generator& g : generators()) {
        if (g.published.vertices > 0) {
            listings.push_back(
                {g.name, g.alias, g.published.vertices, g.published.edges, g.published.fits});
        }
    }
    return listings;
}

}  // namespace tessascene
