#include "tessascene/uniform_names.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tessascene/polytopes.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
const double kPhi = (1.0 + std::sqrt(5.0)) / 2.0;

// How a named figure is made.
enum class Make {
    kWythoff,         // a rank-4 Wythoff figure: group, rings
    kPrism,           // the prism of a rank-3 Wythoff polyhedron: group, rings
    kSnubPrism,       // the prism of a snub polyhedron: group
    kSnub24Cell,      // makeSnubTwentyFourCell
    kGrandAntiprism,  // makeGrandAntiprism
};

// One row of the name table. The counts are those of the published tables of the uniform
// polychora; the tests check the made figures against them.
struct Entry {
    const char* name;
    const char* alias;  // "" when the figure has one name
    Make make;
    int group;          // a CoxeterGroup or a PolyhedralGroup
    const char* rings;  // one digit per node, left to right
    int vertices;
    int edges;
    bool fits;  // whether a figure file holds it; the tests check it too
};

constexpr int kA4 = static_cast<int>(CoxeterGroup::kA4);
constexpr int kB4 = static_cast<int>(CoxeterGroup::kB4);
constexpr int kF4 = static_cast<int>(CoxeterGroup::kF4);
constexpr int kH4 = static_cast<int>(CoxeterGroup::kH4);
constexpr int kA3 = static_cast<int>(PolyhedralGroup::kA3);
constexpr int kB3 = static_cast<int>(PolyhedralGroup::kB3);
constexpr int kH3 = static_cast<int>(PolyhedralGroup::kH3);

// The rings of an operation count from the base's node: 5-cell, tesseract, 24-cell and 120-cell
// stand on node 0, the 16-cell and the 600-cell on node 3 (their rings read backwards).
// clang-format off
const Entry kTable[] = {
    {"rectified-5-cell",         "", Make::kWythoff, kA4, "0100",   10,    30, true},
    {"truncated-5-cell",         "", Make::kWythoff, kA4, "1100",   20,    40, true},
    {"cantellated-5-cell",       "", Make::kWythoff, kA4, "1010",   30,    90, true},
    {"bitruncated-5-cell",       "", Make::kWythoff, kA4, "0110",   30,    60, true},
    {"cantitruncated-5-cell",    "", Make::kWythoff, kA4, "1110",   60,   120, true},
    {"runcinated-5-cell",        "", Make::kWythoff, kA4, "1001",   20,    60, true},
    {"runcitruncated-5-cell",    "", Make::kWythoff, kA4, "1101",   60,   150, true},
    {"omnitruncated-5-cell",     "", Make::kWythoff, kA4, "1111",  120,   240, true},

    {"rectified-tesseract",      "", Make::kWythoff, kB4, "0100",   32,    96, true},
    {"truncated-tesseract",      "", Make::kWythoff, kB4, "1100",   64,   128, true},
    {"cantellated-tesseract",    "", Make::kWythoff, kB4, "1010",   96,   288, true},
    {"bitruncated-tesseract",    "bitruncated-16-cell",   Make::kWythoff, kB4, "0110", 96, 192, true},
    {"cantitruncated-tesseract", "", Make::kWythoff, kB4, "1110",  192,   384, true},
    {"runcinated-tesseract",     "runcinated-16-cell",    Make::kWythoff, kB4, "1001", 64, 192, true},
    {"runcitruncated-tesseract", "", Make::kWythoff, kB4, "1101",  192,   480, true},
    {"omnitruncated-tesseract",  "omnitruncated-16-cell", Make::kWythoff, kB4, "1111", 384, 768, true},
    {"rectified-16-cell",        "", Make::kWythoff, kB4, "0010",   24,    96, true},  // the 24-cell
    {"truncated-16-cell",        "", Make::kWythoff, kB4, "0011",   48,   120, true},
    {"runcitruncated-16-cell",   "", Make::kWythoff, kB4, "1011",  192,   480, true},

    {"rectified-24-cell",        "cantellated-16-cell",    Make::kWythoff, kF4, "0100", 96, 288, true},
    {"truncated-24-cell",        "cantitruncated-16-cell", Make::kWythoff, kF4, "1100", 192, 384, true},
    {"cantellated-24-cell",      "", Make::kWythoff, kF4, "1010",  288,   864, true},
    {"bitruncated-24-cell",      "", Make::kWythoff, kF4, "0110",  288,   576, true},
    {"cantitruncated-24-cell",   "", Make::kWythoff, kF4, "1110",  576,  1152, true},
    {"runcinated-24-cell",       "", Make::kWythoff, kF4, "1001",  144,   576, true},
    {"runcitruncated-24-cell",   "", Make::kWythoff, kF4, "1101",  576,  1440, true},
    {"omnitruncated-24-cell",    "", Make::kWythoff, kF4, "1111", 1152,  2304, true},
    {"snub-24-cell",             "", Make::kSnub24Cell, 0, "",      96,   432, true},

    {"rectified-120-cell",       "", Make::kWythoff, kH4, "0100", 1200,  3600, true},
    {"truncated-120-cell",       "", Make::kWythoff, kH4, "1100", 2400,  4800, true},
    {"cantellated-120-cell",     "", Make::kWythoff, kH4, "1010", 3600, 10800, false},
    {"bitruncated-120-cell",     "bitruncated-600-cell",   Make::kWythoff, kH4, "0110", 3600, 7200, true},
    {"cantitruncated-120-cell",  "", Make::kWythoff, kH4, "1110", 7200, 14400, false},
    {"runcinated-120-cell",      "runcinated-600-cell",    Make::kWythoff, kH4, "1001", 2400, 7200, true},
    {"runcitruncated-120-cell",  "", Make::kWythoff, kH4, "1101", 7200, 18000, false},
    {"omnitruncated-120-cell",   "omnitruncated-600-cell", Make::kWythoff, kH4, "1111", 14400, 28800, false},
    {"rectified-600-cell",       "", Make::kWythoff, kH4, "0010",  720,  3600, true},
    {"truncated-600-cell",       "", Make::kWythoff, kH4, "0011", 1440,  4320, true},
    {"cantellated-600-cell",     "", Make::kWythoff, kH4, "0101", 3600, 10800, false},
    {"cantitruncated-600-cell",  "", Make::kWythoff, kH4, "0111", 7200, 14400, false},
    {"runcitruncated-600-cell",  "", Make::kWythoff, kH4, "1011", 7200, 18000, false},
    {"grand-antiprism",          "", Make::kGrandAntiprism, 0, "", 100,   500, true},

    {"tetrahedron-prism",                 "", Make::kPrism, kA3, "100",   8,  16, true},
    {"octahedron-prism",                  "", Make::kPrism, kB3, "001",  12,  30, true},
    {"dodecahedron-prism",                "", Make::kPrism, kH3, "100",  40,  80, true},
    {"icosahedron-prism",                 "", Make::kPrism, kH3, "001",  24,  72, true},
    {"truncated-tetrahedron-prism",       "", Make::kPrism, kA3, "110",  24,  48, true},
    {"cuboctahedron-prism",               "", Make::kPrism, kB3, "010",  24,  60, true},
    {"truncated-cube-prism",              "", Make::kPrism, kB3, "110",  48,  96, true},
    {"truncated-octahedron-prism",        "", Make::kPrism, kB3, "011",  48,  96, true},
    {"rhombicuboctahedron-prism",         "", Make::kPrism, kB3, "101",  48, 120, true},
    {"truncated-cuboctahedron-prism",     "", Make::kPrism, kB3, "111",  96, 192, true},
    {"snub-cube-prism",                   "", Make::kSnubPrism, kB3, "", 48, 144, true},
    {"icosidodecahedron-prism",           "", Make::kPrism, kH3, "010",  60, 150, true},
    {"truncated-dodecahedron-prism",      "", Make::kPrism, kH3, "110", 120, 240, true},
    {"truncated-icosahedron-prism",       "", Make::kPrism, kH3, "011", 120, 240, true},
    {"rhombicosidodecahedron-prism",      "", Make::kPrism, kH3, "101", 120, 300, true},
    {"truncated-icosidodecahedron-prism", "", Make::kPrism, kH3, "111", 240, 480, true},
    {"snub-dodecahedron-prism",           "", Make::kSnubPrism, kH3, "", 120, 360, true},
};
// clang-format on

// antiprism-prism:N takes N from 3 to this; 5 when N is not given.
constexpr int kAntiprismMost = 1000;
constexpr int kAntiprismDefault = 5;
constexpr int kAntiprismFits = 667;  // the largest N a figure file holds; the tests check it

const Entry* findEntry(const std::string& name) {
    for (const Entry& entry : kTable) {
        if (name == entry.name || name == entry.alias) {
            return name.empty() ? nullptr : &entry;
        }
    }
    return nullptr;
}

std::array<double, 3> colourOf(Make make, int group) {
    if (make == Make::kPrism || make == Make::kSnubPrism) {
        return {0.0, 0.5, 0.5};
    }
    if (make == Make::kSnub24Cell) {
        return {0.45, 0.2, 0.75};
    }
    if (make == Make::kGrandAntiprism) {
        return {0.2, 0.45, 0.7};
    }
    switch (static_cast<CoxeterGroup>(group)) {
        case CoxeterGroup::kA4:
            return {0.85, 0.1, 0.1};
        case CoxeterGroup::kB4:
            return {1.0, 0.5, 0.0};
        case CoxeterGroup::kD4:
            return {0.1, 0.55, 0.1};
        case CoxeterGroup::kF4:
            return {0.6, 0.1, 0.7};
        case CoxeterGroup::kH4:
            return {0.1, 0.3, 0.8};
    }
    return {1.0, 1.0, 1.0};
}

// A whole number from low to high, digits only.
bool parseCount(const std::string& text, int low, int high, int& value) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    value = std::stoi(text);
    return value >= low && value <= high;
}

template <std::size_t N>
std::array<bool, N> ringsOf(const char* digits) {
    std::array<bool, N> rings{};
    for (std::size_t i = 0; i < N; ++i) {
        rings[i] = digits[i] == '1';
    }
    return rings;
}

UniformFigure figureOf(const Entry& entry) {
    UniformFigure figure;
    figure.colour = colourOf(entry.make, entry.group);
    switch (entry.make) {
        case Make::kWythoff:
            figure.polytope = makeWythoffPolytope(
                {static_cast<CoxeterGroup>(entry.group), ringsOf<4>(entry.rings)});
            break;
        case Make::kPrism:
            figure.polytope = makePrism(makeWythoffPolyhedron(
                static_cast<PolyhedralGroup>(entry.group), ringsOf<3>(entry.rings)));
            break;
        case Make::kSnubPrism:
            figure.polytope =
                makePrism(makeSnubPolyhedron(static_cast<PolyhedralGroup>(entry.group)));
            break;
        case Make::kSnub24Cell:
            figure.polytope = makeSnubTwentyFourCell();
            break;
        case Make::kGrandAntiprism:
            figure.polytope = makeGrandAntiprism();
            break;
    }
    // The 120-cell's family is larger in the view for its detail, as the 120-cell is.
    figure.size = entry.make == Make::kWythoff && entry.group == kH4 ? 2.2 : 2.0;
    return figure;
}

// The neighbours of every vertex, and whether two vertices are joined.
struct Adjacency {
    std::vector<std::vector<int>> neighbours;
    std::vector<std::vector<char>> joined;

    explicit Adjacency(const EdgeGraph& graph)
        : neighbours(graph.vertices.size()),
          joined(graph.vertices.size(), std::vector<char>(graph.vertices.size(), 0)) {
        for (const auto& [a, b] : graph.edges) {
            neighbours[a].push_back(b);
            neighbours[b].push_back(a);
            joined[a][b] = joined[b][a] = 1;
        }
    }
};

// The vertices of a cycle of the graph (given as a set) in order around it.
std::vector<int> inCycleOrder(const std::vector<int>& cycle, const Adjacency& adjacency) {
    std::vector<int> ordered = {cycle[0]};
    for (bool grown = true; grown && ordered.size() < cycle.size();) {
        grown = false;
        for (int v : cycle) {
            if (adjacency.joined[ordered.back()][v] != 0 &&
                std::find(ordered.begin(), ordered.end(), v) == ordered.end()) {
                ordered.push_back(v);
                grown = true;
                break;
            }
        }
    }
    return ordered;
}

// The 600-cell without the removed vertices: what is left of its vertices, edges, triangles
// and tetrahedra (its 4-cliques), renumbered; renumber maps old indices to new ones (-1:
// removed).
Polychoron withoutVertices(const EdgeGraph& cell600, const Adjacency& adjacency,
                           const std::vector<char>& removed, std::vector<int>& renumber) {
    Polychoron result;
    EdgeGraph& graph = result.graph;
    renumber.assign(cell600.vertices.size(), -1);
    for (std::size_t v = 0; v < cell600.vertices.size(); ++v) {
        if (removed[v] == 0) {
            const Vertex4& p = cell600.vertices[v];
            renumber[v] = graph.addVertex(p[0], p[1], p[2], p[3]);
        }
    }
    for (const auto& [a, b] : cell600.edges) {
        if (removed[a] == 0 && removed[b] == 0) {
            graph.addEdge(renumber[a], renumber[b]);
        }
    }
    for (const std::vector<int>& face : cell600.faces) {
        if (std::none_of(face.begin(), face.end(), [&](int v) { return removed[v] != 0; })) {
            graph.faces.push_back({renumber[face[0]], renumber[face[1]], renumber[face[2]]});
        }
    }
    const int n = static_cast<int>(cell600.vertices.size());
    for (int a = 0; a < n; ++a) {
        for (int b : adjacency.neighbours[a]) {
            for (int c : adjacency.neighbours[a]) {
                for (int d : adjacency.neighbours[a]) {
                    if (a < b && b < c && c < d && adjacency.joined[b][c] != 0 &&
                        adjacency.joined[b][d] != 0 && adjacency.joined[c][d] != 0 &&
                        removed[a] + removed[b] + removed[c] + removed[d] == 0) {
                        result.cells.push_back(
                            {renumber[a], renumber[b], renumber[c], renumber[d]});
                    }
                }
            }
        }
    }
    return result;
}

// The old vertices' new indices, sorted, for a cell.
std::vector<int> renumbered(const std::vector<int>& old, const std::vector<int>& renumber) {
    std::vector<int> cell;
    for (int v : old) {
        cell.push_back(renumber[v]);
    }
    std::sort(cell.begin(), cell.end());
    return cell;
}

// The index of the graph's vertex nearest p.
int nearestVertex(const EdgeGraph& graph, const Vertex4& p) {
    int best = 0;
    double bestDistance = HUGE_VAL;
    for (std::size_t v = 0; v < graph.vertices.size(); ++v) {
        double d = 0.0;
        for (int c = 0; c < 4; ++c) {
            d += (graph.vertices[v][c] - p[c]) * (graph.vertices[v][c] - p[c]);
        }
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(v);
        }
    }
    return best;
}

}  // namespace

const std::vector<UniformListing>& uniformListings() {
    static const std::vector<UniformListing> listings = [] {
        std::vector<UniformListing> all;
        for (const Entry& entry : kTable) {
            UniformListing listing;
            listing.names.push_back(entry.name);
            if (entry.alias[0] != '\0') {
                listing.names.push_back(entry.alias);
            }
            listing.vertices = entry.vertices;
            listing.edges = entry.edges;
            listing.fits = entry.fits;
            all.push_back(listing);
        }
        return all;
    }();
    return listings;
}

bool namesUniformFigure(const std::string& request) {
    const std::string name = request.substr(0, request.find(':'));
    return name == "wythoff" || name == "antiprism-prism" || findEntry(name) != nullptr;
}

bool checkUniformRequest(const std::string& request, std::string& error) {
    const std::size_t colon = request.find(':');
    const std::string name = request.substr(0, colon);
    const std::string parameters = colon == std::string::npos ? "" : request.substr(colon + 1);
    if (name == "wythoff") {
        WythoffSymbol symbol;
        if (colon == std::string::npos) {
            error = "wythoff needs GROUP:RINGS, for example wythoff:F4:1001";
            return false;
        }
        return parseWythoffSymbol(parameters, symbol, error);
    }
    if (name == "antiprism-prism") {
        int n = 0;
        if (colon != std::string::npos && !parseCount(parameters, 3, kAntiprismMost, n)) {
            error = "bad parameter '" + parameters +
                    "' for antiprism-prism: expected a whole number from 3 to " +
                    std::to_string(kAntiprismMost);
            return false;
        }
        return true;
    }
    if (colon != std::string::npos) {
        error = "the figure " + name + " takes no parameters";
        return false;
    }
    return true;
}

UniformFigure makeUniformFigure(const std::string& request) {
    const std::size_t colon = request.find(':');
    const std::string name = request.substr(0, colon);
    const std::string parameters = colon == std::string::npos ? "" : request.substr(colon + 1);
    if (name == "wythoff") {
        WythoffSymbol symbol;
        std::string error;
        parseWythoffSymbol(parameters, symbol, error);
        UniformFigure figure;
        figure.polytope = makeWythoffPolytope(symbol);
        figure.colour = colourOf(Make::kWythoff, static_cast<int>(symbol.group));
        figure.size = symbol.group == CoxeterGroup::kH4 ? 2.2 : 2.0;
        return figure;
    }
    if (name == "antiprism-prism") {
        int n = kAntiprismDefault;
        if (colon != std::string::npos) {
            parseCount(parameters, 3, kAntiprismMost, n);
        }
        UniformFigure figure;
        figure.polytope = makePrism(makeAntiprism(n));
        figure.colour = colourOf(Make::kPrism, 0);
        return figure;
    }
    return figureOf(*findEntry(name));
}

std::string uniformFigureHelp() {
    std::string text =
        "  The convex uniform polychora by name, with their vertices (V) and edges (E);\n"
        "  both names of a line make the figure. The seven marked 'too large' need more\n"
        "  than 90 polylines and are refused with how much they overshoot:\n";
    char line[256];
    for (const UniformListing& listing : uniformListings()) {
        std::string names = listing.names[0];
        if (listing.names.size() > 1) {
            names += ", " + listing.names[1];
        }
        std::snprintf(line, sizeof line, "  %-46s %5d V %6d E%s\n", names.c_str(), listing.vertices,
                      listing.edges, listing.fits ? "" : "  too large");
        text += line;
    }
    std::snprintf(line, sizeof line,
                  "  antiprism-prism[:N]\n"
                  "                    the prism of the N-gonal antiprism, N from 3 to %d\n"
                  "                    (default %d): 4*N vertices, 10*N edges; fits up to N = %d\n",
                  kAntiprismMost, kAntiprismDefault, kAntiprismFits);
    text += line;
    return text;
}

Polychoron makePrism(const EdgeGraph& polyhedron) {
    Polychoron prism;
    EdgeGraph& graph = prism.graph;
    const int n = static_cast<int>(polyhedron.vertices.size());
    const auto [a0, b0] = polyhedron.edges.front();
    double length = 0.0;
    for (int c = 0; c < 3; ++c) {
        const double d = polyhedron.vertices[a0][c] - polyhedron.vertices[b0][c];
        length += d * d;
    }
    length = std::sqrt(length);
    for (const double q : {-length / 2, length / 2}) {
        for (const Vertex4& v : polyhedron.vertices) {
            graph.addVertex(v[0], v[1], v[2], q);
        }
    }
    std::vector<int> bottom(n), top(n);
    for (int v = 0; v < n; ++v) {
        bottom[v] = v;
        top[v] = v + n;
        graph.addEdge(v, v + n);
    }
    prism.cells = {bottom, top};
    for (const auto& [a, b] : polyhedron.edges) {
        graph.addEdge(a, b);
        graph.addEdge(a + n, b + n);
        graph.faces.push_back({a, b, b + n, a + n});
    }
    for (const std::vector<int>& face : polyhedron.faces) {
        std::vector<int> lifted = face;
        for (int& v : lifted) {
            v += n;
        }
        graph.faces.push_back(face);
        graph.faces.push_back(lifted);
        std::vector<int> cell = face;
        cell.insert(cell.end(), lifted.begin(), lifted.end());
        std::sort(cell.begin(), cell.end());
        prism.cells.push_back(cell);
    }
    scaleToCircumradius(graph, 1.0);
    return prism;
}

EdgeGraph makeAntiprism(int n) {
    // Top vertex j at angle 2 pi j / n and height h, bottom vertex j half a step further at -h;
    // the polygons' radius gives their sides length 1, h the slanted edges.
    const double radius = 0.5 / std::sin(kPi / n);
    const double across = 2.0 * radius * std::sin(kPi / (2 * n));
    const double h = 0.5 * std::sqrt(1.0 - across * across);
    EdgeGraph graph;
    for (int j = 0; j < n; ++j) {
        const double a = 2.0 * kPi * j / n;
        graph.addVertex(radius * std::cos(a), radius * std::sin(a), h, 0.0);
    }
    for (int j = 0; j < n; ++j) {
        const double a = 2.0 * kPi * (j + 0.5) / n;
        graph.addVertex(radius * std::cos(a), radius * std::sin(a), -h, 0.0);
    }
    std::vector<int> top, bottom;
    for (int j = 0; j < n; ++j) {
        const int next = (j + 1) % n;
        graph.addEdge(j, next);
        graph.addEdge(n + j, n + next);
        graph.addEdge(j, n + j);
        graph.addEdge(next, n + j);
        graph.faces.push_back({j, next, n + j});
        graph.faces.push_back({n + j, n + next, next});
        top.push_back(j);
        bottom.push_back(n + j);
    }
    graph.faces.push_back(top);
    graph.faces.push_back(bottom);
    return graph;
}

Polychoron makeSnubTwentyFourCell() {
    // In makeSixHundredCell's coordinates the 24-cell's vertices are the 24 whose coordinates
    // are all 0, +-1/2 or +-1; each of the other 96 has one coordinate +-phi/2.
    const EdgeGraph cell600 = makeSixHundredCell();
    const Adjacency adjacency(cell600);
    std::vector<char> removed(cell600.vertices.size(), 1);
    for (std::size_t v = 0; v < removed.size(); ++v) {
        for (double c : cell600.vertices[v]) {
            if (std::fabs(std::fabs(c) - kPhi / 2) < 1e-9) {
                removed[v] = 0;
            }
        }
    }
    std::vector<int> renumber;
    Polychoron snub = withoutVertices(cell600, adjacency, removed, renumber);
    for (std::size_t v = 0; v < removed.size(); ++v) {
        if (removed[v] != 0) {  // an icosahedron: the neighbours of the vertex taken away
            snub.cells.push_back(renumbered(adjacency.neighbours[v], renumber));
        }
    }
    return snub;
}

Polychoron makeGrandAntiprism() {
    const EdgeGraph cell600 = makeSixHundredCell();
    const Adjacency adjacency(cell600);
    // One great decagon through (1, 0, 0, 0) and a neighbour: on a great circle, the next of
    // two vertices 36 degrees apart is phi times the last less the one before.
    std::vector<int> first = {nearestVertex(cell600, {1, 0, 0, 0})};
    first.push_back(adjacency.neighbours[first[0]].front());
    while (first.size() < 10) {
        const Vertex4& last = cell600.vertices[first.back()];
        const Vertex4& before = cell600.vertices[first[first.size() - 2]];
        Vertex4 next{};
        for (int c = 0; c < 4; ++c) {
            next[c] = kPhi * last[c] - before[c];
        }
        first.push_back(nearestVertex(cell600, next));
    }
    // The other: the vertices orthogonal to the first decagon's plane.
    const Vertex4& a = cell600.vertices[first[0]];
    const Vertex4& b = cell600.vertices[first[1]];
    std::vector<int> second;
    for (std::size_t v = 0; v < cell600.vertices.size(); ++v) {
        double da = 0.0, db = 0.0;
        for (int c = 0; c < 4; ++c) {
            da += a[c] * cell600.vertices[v][c];
            db += b[c] * cell600.vertices[v][c];
        }
        if (std::fabs(da) < 1e-9 && std::fabs(db) < 1e-9) {
            second.push_back(static_cast<int>(v));
        }
    }
    second = inCycleOrder(second, adjacency);

    std::vector<char> removed(cell600.vertices.size(), 0);
    for (const std::vector<int>* ring : {&first, &second}) {
        for (int v : *ring) {
            removed[v] = 1;
        }
    }
    std::vector<int> renumber;
    Polychoron antiprism = withoutVertices(cell600, adjacency, removed, renumber);
    for (const std::vector<int>* ring : {&first, &second}) {
        const int k = static_cast<int>(ring->size());
        for (int i = 0; i < k; ++i) {
            const int v = (*ring)[i], next = (*ring)[(i + 1) % k],
                      before = (*ring)[(i + k - 1) % k];
            // The pentagonal antiprism where v was: its neighbours but the two on the ring.
            std::vector<int> cell;
            for (int w : adjacency.neighbours[v]) {
                if (w != next && w != before) {
                    cell.push_back(w);
                }
            }
            antiprism.cells.push_back(renumbered(cell, renumber));
            // The pentagon between the antiprisms of v and next: their common neighbours.
            std::vector<int> pentagon;
            for (int w : adjacency.neighbours[v]) {
                if (adjacency.joined[w][next] != 0) {
                    pentagon.push_back(w);
                }
            }
            pentagon = inCycleOrder(pentagon, adjacency);
            for (int& w : pentagon) {
                w = renumber[w];
            }
            antiprism.graph.faces.push_back(pentagon);
        }
    }
    return antiprism;
}
