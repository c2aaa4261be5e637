// tessascene: writes the two scene files of the viewer for a generated or imported 4D figure.

#include <algorithm>
#include <array>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "scene/scene_format.h"
#include "tessascene/data_import.h"
#include "tessascene/placement.h"
#include "tessascene/polytopes.h"
#include "tessascene/scene_writer.h"
#include "tessascene/simplify.h"
#include "tessascene/slice_command.h"
#include "tessascene/table_import.h"
#include "tessascene/text_input.h"
#include "tessascene/trails.h"
#include "tessaview_version.h"
#include "toolkit/shown_name.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitBadFigure = 1;
constexpr int kExitUsage = 2;

const std::string kHelp = std::string(R"(Usage: tessascene generate FIGURE [OPTIONS]
       tessascene import FILE [OPTIONS]
       tessascene slice SOURCE (--at AXIS=C | --hyperplane NX,NY,NZ,NQ:C | --sweep N) [OPTIONS]
       tessascene --help | --version

Writes the viewer's scene files )") +
                          kFigureFileName + " (the figure) and " + kAffineFileName +
                          R"( (projection
vector and transforms) into a folder. Start the viewer in that folder to see the figure.

Commands:
  generate FIGURE   a generated figure, one of:
      5-cell            the 4-simplex: 5 vertices, 10 edges
      tesseract         also 8-cell: 16 vertices, 32 edges
      16-cell           8 vertices, 24 edges
      24-cell           24 vertices, 96 edges
      120-cell          600 vertices, 1200 edges
      600-cell          120 vertices, 720 edges
      duoprism[:P,Q]    a P-gon times a Q-gon, all edges equal: P*Q vertices, 2*P*Q edges
                        (default 5,7)
      clifford-torus[:M,N]
                        an M x N grid on the torus (cos a, sin a, cos b, sin b)/sqrt(2)
                        (default 16,16)
      3-sphere[:RINGS,CIRCLES]
                        great circles of the Hopf fibration that fill the 3-sphere: the
                        circles over CIRCLES points on each of RINGS circles of latitude
                        (default 2,8), each a polygon of 40 edges
  import FILE       a 4D figure in an OFF-family text file (4OFF, nOFF with n = 4, 4VECT, 4SKEL),
                    whose faces and polylines become edges, or 4D points: a text table or
                    numpy's .npy or .npz (below); any of them may be gzip-compressed.
                    FILE - reads standard input
  slice SOURCE      the cross-section of a figure by a hyperplane (below); SOURCE is a FIGURE
                    generate knows or a FILE import reads

Options (for every command; OPTION VALUE and OPTION=VALUE both work):
  -o, --output DIR          folder for the two files, created when missing (default: .)
  --force                   replace scene files already in the folder; without it a folder
                            that holds either file is refused
  --size R|keep             scale the figure about the origin so that its farthest vertex lies
                            at distance R (default: a size that suits the figure, 2 for an
                            import); keep leaves the coordinates as they are
  --center                  first move the centre of the figure's bounding box to the origin
                            (always done for a point table unless --size keep is given)
  --color R,G,B             colour of the figure, each component from 0 to 1
  --line-loop 0|1|3         how the viewer draws the polylines:
                              0  open polylines (default)
                              1  closed loops; every vertex needs an even number of edges
                              3  the vertices as points (also vertices without edges)
  --projection X,Y,Z,Q      the projection vector; Q must not be 0 (default 0.4,-0.3,0.2,1)
  --scale F                 a fixed scaling by F (transform type 1)
  --rotate PLANE:DEG        a fixed rotation by DEG degrees (type 3); may be repeated
  --spin PLANE[:DEG]        a rotation by DEG degrees per global step (type 6), which the keys
                            > and < animate (default DEG 15); may be repeated. Without any
                            --spin the figure spins in xq by 15 degrees; --spin none spins nothing
  -h, --help                show this help and exit
  --version                 show the version and exit

Options for slice (the options above keep their meaning):
  --at AXIS=C               cut with the hyperplane AXIS = C, AXIS one of x y z q; C is measured
                            in the coordinates the figure is written in, after --size
  --hyperplane NX,NY,NZ,NQ:C
                            cut with the hyperplane of the points P with N.P = C, N not 0
  --sweep N                 N cuts (1 to 1000) evenly spaced strictly inside the figure along
                            the direction of --at AXIS or --hyperplane NX,NY,NZ,NQ given without
                            C (default: q), one scene folder each: DIR/000, DIR/001, ...

Options for point tables (import and slice):
  --columns A,B,C,D         the columns of x, y, z and q, by header name or number from 1
                            (default: those named x, y, z and q or w, else the first four
                            columns that hold numbers after an index column)
  --group COLUMN            start a new polyline wherever this column's value changes
  --array NAME              the array of an .npz archive (default: its only one, or arr_0)
  --no-simplify             refuse data that does not fit instead of simplifying it

PLANE is one of xy xz xq yz yq zq; the reversed name (qx, ...) turns the other way. The affine
file lists the transforms in this order: --scale, each --rotate, each --spin, each in the order
given. They act in that order, the first one first.

The edges are drawn as few continuous lines as possible. A figure file holds at most 90
polylines of at most 90 vertices; a figure that does not fit is refused with how much it
overshoots. Every number must be 0 or fit a 32-bit float as a normal number (about 1.2e-38 to
3.4e+38 in size), before and after scaling.

Writing is safe: both files are written under unique temporary names and renamed into place only
when both are complete, so the folder holds either its old pair or the new pair; runs into one
folder take turns. A failed run leaves the folder as it was. What a stopped run left behind is
cleaned up by the next run into the folder.

Point tables: CSV, TSV, semicolon- or blank-separated text, told apart by their content, with
values quoted as in RFC 4180 (separators, "" and line breaks inside quotes). An optional first
row names the columns, as does a '#' comment right above the first row (numpy's
header='x,y,z,q'); other lines starting with '#' are skipped. Columns named x, y, z and q or w
(any case, anywhere; also x1..x4 or x0..x3) are used; otherwise the first four that hold
numbers, after a leading index column (named "", index or Unnamed: 0, as pandas and R write
it). Each row is a point and consecutive rows a polyline; a blank line or a row of NA, NaN or
empty values ends a polyline. Numbers are read as C's strtod reads them (1e-3, -0, .5); in a
semicolon-separated file a decimal comma (0,5) is read when the file has no decimal point.
numpy's .npy (and each array of an .npz): shape (N, 4) is one polyline, (N, k) uses the first
four columns or --columns numbers, (K, N, 4) is K polylines; any integer type, float32 or
float64. A file that is none of these is refused.
Data with more points than a figure holds is simplified: each polyline keeps the data points
that matter most to its shape (Ramer-Douglas-Peucker, best first over all polylines), and one
line reports the points in, the vertices kept and the largest distance of any point from the
drawn line, also as a percentage of the diagonal of the data's bounding box. With line-loop 1
each polyline is drawn closed; line-loop 3 draws every point and is not simplified.

Cross-sections: a figure with 2-faces (the generated polytopes and duoprisms, the Clifford
torus grid, OFF files with faces) is cut into edges: each face the hyperplane crosses gives a
segment, and edges lying in the hyperplane stay. A figure of curves (3-sphere, SKEL and VECT
files, point tables) gives the points where its edges cross, drawn as points (line-loop 3), as
is a cut without edges, such as a single vertex. The cut's vertices are written in 4D, on the
hyperplane, so the viewer projects them as it projects the figure. A hyperplane that misses the
figure is refused with the range that meets it. Every cut of a sweep keeps the figure's scale and
place, so the frames line up. A sweep is written into a temporary folder beside DIR and renamed
to DIR when complete; an existing DIR is kept unless --force is given, and --force replaces only
a folder that holds a sweep, never a link.

Exit status:
  0  the two files were written
  1  the figure cannot be made, imported, fitted into a figure file or written, the
     hyperplane misses it, or the folder already holds a scene file (or the sweep's folder
     exists) and --force is not given
  2  wrong command line
)";

// A rotation in one coordinate plane; plane indexes the weights xy, xz, xq, yz, yq, zq.
struct PlaneTurn {
    int plane = 0;
    double degrees = 0.0;
};

struct Options {
    std::string command;  // "generate" or "import"
    std::string operand;  // the figure name or the file
    std::string output = ".";
    std::optional<double> size;  // 0: keep the coordinates
    std::optional<std::array<double, 3>> colour;
    int lineLoop = kLineLoopOpen;
    Vertex4 projection = {0.4, -0.3, 0.2, 1.0};
    std::optional<double> scale;
    std::vector<PlaneTurn> rotations;
    std::vector<PlaneTurn> spins;
    bool spinGiven = false;
    bool force = false;  // replace scene files already in the folder
    bool help = false;
    bool version = false;
    bool center = false;
    bool noSimplify = false;
    TableOptions table;
    SliceOptions slice;  // --at, --hyperplane, --sweep
};

// What generate knows about one figure.
struct Generator {
    const char* name;
    int parameterCount;            // 0 or 2
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
    // clang-format off
    static const std::vector<Generator> table = {
        {"5-cell",         0, {0, 0},   0, 0,    2.0, {0.85, 0.1, 0.1},   fiveCell},
        {"tesseract",      0, {0, 0},   0, 0,    2.0, {1.0, 0.5, 0.0},    tesseract},
        {"8-cell",         0, {0, 0},   0, 0,    2.0, {1.0, 0.5, 0.0},    tesseract},
        {"16-cell",        0, {0, 0},   0, 0,    2.0, {0.1, 0.55, 0.1},   sixteenCell},
        {"24-cell",        0, {0, 0},   0, 0,    2.0, {0.6, 0.1, 0.7},    twentyFourCell},
        {"120-cell",       0, {0, 0},   0, 0,    2.2, {0.1, 0.3, 0.8},    oneTwentyCell},
        {"600-cell",       0, {0, 0},   0, 0,    2.2, {0.0, 0.5, 0.5},    sixHundredCell},
        {"duoprism",       2, {5, 7},   3, 1000, 1.8, {0.55, 0.45, 0.0},  makeDuoprism},
        {"clifford-torus", 2, {16, 16}, 3, 1000, 1.8, {0.8, 0.1, 0.4},    makeCliffordTorus},
        {"3-sphere",       2, {2, 8},   1, 90,   1.8, {0.25, 0.25, 0.45}, threeSphere},
    };
    // clang-format on
    return table;
}

constexpr double kImportSize = 2.0;
const std::array<double, 3> kImportColour = {0.2, 0.2, 0.7};

// Splits text at commas.
std::vector<std::string> splitCommas(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t comma = text.find(','); comma != std::string::npos; comma = text.find(',', start)) {
        parts.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

// A whole decimal number that fits a 32-bit float; nothing else may follow it.
bool parseNumber(const std::string& text, double& value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) {
        return false;
    }
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && fitsFloat(value);
}

// The first number in text (parts between commas and colons) that is not 0 and does not fit a
// 32-bit float as a normal number, or "" when there is none; text that is no number is left to
// the option's own parsing.
std::string numberBeyondFloat(const std::string& text) {
    std::string part;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != ',' && text[i] != ':') {
            part.push_back(text[i]);
            continue;
        }
        char* end = nullptr;
        errno = 0;
        const double value = part.empty() ? 0.0 : std::strtod(part.c_str(), &end);
        if (!part.empty() && end == part.c_str() + part.size() &&
            (errno == ERANGE ||
             (value != 0.0 && !(std::fabs(value) >= FLT_MIN && std::fabs(value) <= FLT_MAX)))) {
            return part;
        }
        part.clear();
    }
    return "";
}

// Exactly count comma-separated numbers.
bool parseNumbers(const std::string& text, size_t count, std::vector<double>& values) {
    const std::vector<std::string> parts = splitCommas(text);
    values.assign(parts.size(), 0.0);
    if (parts.size() != count) {
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        if (!parseNumber(parts[i], values[i])) {
            return false;
        }
    }
    return true;
}

bool parseInt(const std::string& text, int low, int high, int& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 9) {
        return false;
    }
    value = std::stoi(text);
    return value >= low && value <= high;
}

// PLANE or PLANE:DEG; a reversed plane name negates the angle.
bool parsePlaneTurn(const std::string& text, bool angleOptional, PlaneTurn& turn) {
    static const char* const kPlanes[6] = {"xy", "xz", "xq", "yz", "yq", "zq"};
    const size_t colon = text.find(':');
    const std::string plane = text.substr(0, colon);
    turn.degrees = 15.0;
    if (colon == std::string::npos ? !angleOptional
                                   : !parseNumber(text.substr(colon + 1), turn.degrees)) {
        return false;
    }
    for (int i = 0; i < 6; ++i) {
        const std::string name = kPlanes[i];
        if (plane == name || plane == std::string(name.rbegin(), name.rend())) {
            turn.plane = i;
            if (plane != name) {
                turn.degrees = -turn.degrees;
            }
            return true;
        }
    }
    return false;
}

// Reads the command line into options. Returns false with a message for a usage error.
bool parseArguments(int argc, char** argv, Options& options, std::string& error) {
    std::vector<std::string> operands;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            options.help = true;
            return true;
        }
        if (arg == "--version") {
            options.version = true;
            return true;
        }
        if (arg == "--force") {
            options.force = true;
            continue;
        }
        if (arg.size() < 2 || arg[0] != '-' || (arg[1] >= '0' && arg[1] <= '9')) {
            operands.push_back(arg);
            continue;
        }
        if (arg == "--center" || arg == "--no-simplify") {
            (arg == "--center" ? options.center : options.noSimplify) = true;
            continue;
        }
        std::string value;
        bool hasValue = false;
        const size_t equals = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg = arg.substr(0, equals);
            hasValue = true;
        }
        if (arg == "--force") {
            error = "option --force takes no value";
            return false;
        }
        const bool sliceOption = isSliceOption(arg);  // slice: tessascene/slice_command.cpp
        static const char* const kValued[] = {"-o",          "--output",     "--size",  "--color",
                                              "--line-loop", "--projection", "--scale", "--rotate",
                                              "--spin",      "--columns",    "--group", "--array"};
        bool known = sliceOption;
        for (const char* name : kValued) {
            known = known || arg == name;
        }
        if (!known) {
            error = "unknown option '" + arg + "'";
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= argc) {
                error = "option " + arg + " needs a value";
                return false;
            }
            value = argv[++i];
        }

        std::vector<double> numbers;
        const std::string bad = "bad value '" + value + "' for " + arg + ": ";
        if (const std::string beyond = numberBeyondFloat(value);
            !beyond.empty() && arg != "-o" && arg != "--output") {
            error = bad + beyond +
                    " is not 0 and does not fit a 32-bit float as a normal number (about "
                    "1.2e-38 to 3.4e+38 in size)";
            return false;
        }
        if (sliceOption) {
            std::string problem;
            if (!parseSliceOption(arg, value, options.slice, problem)) {
                error = bad + problem;
                return false;
            }
        } else if (arg == "-o" || arg == "--output") {
            if (value.empty()) {
                error = bad + "expected a folder";
                return false;
            }
            options.output = value;
        } else if (arg == "--size") {
            if (value == "keep") {
                options.size = 0.0;
            } else if (!parseNumbers(value, 1, numbers) || !(numbers[0] > 0.0)) {
                error = bad + "expected a number above 0, or keep";
                return false;
            } else {
                options.size = numbers[0];
            }
        } else if (arg == "--color") {
            if (!parseNumbers(value, 3, numbers) ||
                !(numbers[0] >= 0 && numbers[0] <= 1 && numbers[1] >= 0 && numbers[1] <= 1 &&
                  numbers[2] >= 0 && numbers[2] <= 1)) {
                error = bad + "expected R,G,B, each from 0 to 1";
                return false;
            }
            options.colour = std::array<double, 3>{numbers[0], numbers[1], numbers[2]};
        } else if (arg == "--line-loop") {
            if (value != "0" && value != "1" && value != "3") {
                error = bad + "expected 0, 1 or 3";
                return false;
            }
            options.lineLoop = value[0] - '0';
        } else if (arg == "--projection") {
            // q must stay non-zero also once rounded to a float.
            if (!parseNumbers(value, 4, numbers) || static_cast<float>(numbers[3]) == 0.0f) {
                error = bad + "expected X,Y,Z,Q with Q not 0";
                return false;
            }
            options.projection = {numbers[0], numbers[1], numbers[2], numbers[3]};
        } else if (arg == "--columns") {
            options.table.columns = splitCommas(value);
            const auto& c = options.table.columns;
            if (c.size() != 4 || c[0].empty() || c[1].empty() || c[2].empty() || c[3].empty()) {
                error = bad + "expected four column names or numbers, A,B,C,D";
                return false;
            }
        } else if (arg == "--array") {
            if (value.empty()) {
                error = bad + "expected the name of an array in an .npz archive";
                return false;
            }
            options.table.array = value;
        } else if (arg == "--group") {
            if (value.empty()) {
                error = bad + "expected a column name or number";
                return false;
            }
            options.table.group = value;
        } else if (arg == "--scale") {
            if (!parseNumbers(value, 1, numbers)) {
                error = bad + "expected a number";
                return false;
            }
            options.scale = numbers[0];
        } else {
            const bool spin = arg == "--spin";
            options.spinGiven = options.spinGiven || spin;
            if (spin && value == "none") {
                continue;
            }
            PlaneTurn turn;
            if (!parsePlaneTurn(value, spin, turn)) {
                error = bad + (spin ? "expected PLANE[:DEG]" : "expected PLANE:DEG") +
                        " with PLANE one of xy xz xq yz yq zq";
                return false;
            }
            (spin ? options.spins : options.rotations).push_back(turn);
        }
    }

    if (operands.empty()) {
        error = "missing command: generate, import or slice";
        return false;
    }
    options.command = operands[0];
    if (options.command != "generate" && options.command != "import" &&
        options.command != "slice") {
        error = "unknown command '" + options.command + "'";
        return false;
    }
    if (operands.size() < 2) {
        error = options.command == "generate" ? "generate needs a FIGURE"
                : options.command == "import" ? "import needs a FILE"
                                              : "slice needs a SOURCE, a FIGURE or a FILE";
        return false;
    }
    if (operands.size() > 2) {
        error = "unexpected argument '" + operands[2] + "'";
        return false;
    }
    options.operand = operands[1];
    if (options.command == "generate" &&
        (!options.table.columns.empty() || !options.table.group.empty() ||
         !options.table.array.empty() || options.noSimplify)) {
        error = "--columns, --group, --array and --no-simplify are for imported point tables";
        return false;
    }
    if (!checkSliceOptions(options.command, options.slice, error)) {
        return false;
    }
    if (!options.spinGiven) {
        options.spins.push_back(PlaneTurn{2, 15.0});  // xq
    }
    return true;
}

// Finds the generator for NAME[:A,B] and its two parameters. false: a usage error.
bool findGenerator(const std::string& request, const Generator*& found, int& a, int& b,
                   std::string& error) {
    const size_t colon = request.find(':');
    const std::string name = request.substr(0, colon);
    for (const Generator& g : generators()) {
        if (name != g.name) {
            continue;
        }
        a = g.defaults[0];
        b = g.defaults[1];
        if (colon != std::string::npos) {
            const std::vector<std::string> parts = splitCommas(request.substr(colon + 1));
            if (g.parameterCount == 0) {
                error = "the figure " + name + " takes no parameters";
                return false;
            }
            if (parts.size() != 2 || !parseInt(parts[0], g.minimum, g.maximum, a) ||
                !parseInt(parts[1], g.minimum, g.maximum, b)) {
                error = "bad parameters '" + request.substr(colon + 1) + "' for " + name +
                        ": expected two whole numbers from " + std::to_string(g.minimum) + " to " +
                        std::to_string(g.maximum) + ", separated by a comma";
                return false;
            }
        }
        found = &g;
        return true;
    }
    error = "unknown figure '" + name + "'; see tessascene --help";
    return false;
}

// Whether source (NAME or NAME:A,B) names a figure generate knows; slice generates such a source
// and imports any other.
bool namesGenerator(const std::string& source) {
    const std::string name = source.substr(0, source.find(':'));
    for (const Generator& g : generators()) {
        if (name == g.name) {
            return true;
        }
    }
    return false;
}

// The affine file's records for the options, in the documented order.
SceneAffines affinesFor(const Options& options) {
    SceneAffines affines;
    affines.projection = options.projection;
    if (options.scale) {
        affines.records.push_back({kTransformScale, {*options.scale, 1, 1, 1, 1}});
    }
    const auto turnRecord = [](int type, const PlaneTurn& turn) {
        AffineRecord record{type, {turn.degrees, 0, 0, 0, 0, 0, 0}};
        record.params[1 + turn.plane] = 1.0;
        return record;
    };
    for (const PlaneTurn& turn : options.rotations) {
        affines.records.push_back(turnRecord(kTransformRotate, turn));
    }
    for (const PlaneTurn& turn : options.spins) {
        affines.records.push_back(turnRecord(kTransformStepRotate, turn));
    }
    return affines;
}

// Checks that every coordinate the layout writes can be written as a number the viewer reads
// back; size is the circumradius the figure was scaled to (0: kept). The error names the file
// and line of an imported vertex, or --size for a generated figure.
bool checkCoordinates(const EdgeGraph& graph, const std::vector<std::vector<int>>& layout,
                      const Options& options, double size, std::string& error) {
    double largest = 0.0;
    for (const std::vector<int>& indices : layout) {
        for (int v : indices) {
            for (double c : graph.vertices[v]) {
                largest = std::max(largest, std::fabs(c));
            }
        }
    }
    for (const std::vector<int>& indices : layout) {
        for (int v : indices) {
            for (double c : graph.vertices[v]) {
                if (writableCoordinate(c, largest)) {
                    continue;
                }
                std::ostringstream shown;
                shown << c;
                const bool large = !fitsFloat(c);
                const std::string what =
                    (large ? ", beyond the range" : ", below the normal range");
                if (!graph.vertexLines.empty()) {
                    error = shownName(options.operand) + ":" +
                            std::to_string(graph.vertexLines[v]) + ": a coordinate is " +
                            shown.str() + (size > 0.0 ? " after scaling" : "") + what +
                            " of a 32-bit float; " +
                            (size > 0.0 ? "choose another --size" : "scale it with --size");
                } else {
                    error = "--size " + formatFloat(size) + " makes a coordinate " + shown.str() +
                            what + " of a 32-bit float; choose a larger --size";
                }
                return false;
            }
        }
    }
    return true;
}

int fail(int status, const std::string& message) {
    std::cerr << "tessascene: " << message << "\n";
    if (status == kExitUsage) {
        std::cerr << "Try 'tessascene --help'.\n";
    }
    return status;
}

// Imports the file ("-": standard input) as an OFF-family figure into graph or as a point
// table into table, told apart by its content.
bool importFile(const Options& options, EdgeGraph& graph, PointTable& table, bool& isTable,
                std::string& error) {
    const std::string name = options.operand == "-" ? "standard input" : options.operand;
    std::unique_ptr<Input> input;
    return openInput(options.operand, shownName(name), input, error) &&
           importInput(*input, name, options.table, graph, table, isTable, error);
}

// Moves the centre of the bounding box of the graph's vertices to the origin.
void centreGraph(EdgeGraph& graph) {
    BoundingBox4 box;
    for (const Vertex4& v : graph.vertices) {
        box.add(v);
    }
    shiftPoints(graph.vertices, box.centre());
}

// Fits a point table into the figure's polylines, then centres it on its bounding box and
// scales it as asked (size 0: the coordinates as read). Prints what simplification did.
bool placeTable(const PointTable& table, const Options& options, double size, SceneFigure& figure,
                std::string& error) {
    FitReport report;
    if (!fitPaths(table.paths, options.lineLoop, FigureCapacity{}, !options.noSimplify,
                  figure.polylines, report, error)) {
        error = shownName(options.operand) + ": " + error;
        return false;
    }
    if (report.simplified) {
        const double diagonal = table.box.diagonal();
        const double percent = diagonal > 0.0 ? 100.0 * report.largestDistance / diagonal : 0.0;
        std::cout << "Simplified " << report.pointsIn << " points to " << report.verticesKept
                  << " vertices: every point lies within " << report.largestDistance
                  << " of the drawn line (" << percent
                  << "% of the diagonal of the data's bounding box, " << diagonal << ")\n";
    }
    // One list of all vertices, so that the figure's own scaling applies.
    EdgeGraph all;
    for (const auto& polyline : figure.polylines) {
        all.vertices.insert(all.vertices.end(), polyline.begin(), polyline.end());
    }
    if (options.center || size > 0.0) {
        shiftPoints(all.vertices, table.box.centre());
    }
    if (size > 0.0) {
        scaleToCircumradius(all, size);
    }
    std::size_t next = 0;
    for (auto& polyline : figure.polylines) {
        for (Vertex4& v : polyline) {
            v = all.vertices[next++];
        }
    }
    return true;
}

int run(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseArguments(argc, argv, options, error)) {
        return fail(kExitUsage, error);
    }
    if (options.help) {
        std::cout << kHelp;
        return kExitOk;
    }
    if (options.version) {
        std::cout << "tessascene " << TESSAVIEW_VERSION << "\n";
        return kExitOk;
    }

    EdgeGraph graph;
    PointTable table;
    bool isTable = false;
    double size = kImportSize;  // 0: keep the coordinates
    std::array<double, 3> colour = kImportColour;
    if (options.command == "generate" ||
        (options.command == "slice" && namesGenerator(options.operand))) {
        const Generator* generator = nullptr;
        int a = 0, b = 0;
        if (!findGenerator(options.operand, generator, a, b, error)) {
            return fail(kExitUsage, error);
        }
        graph = generator->make(a, b);
        size = generator->size;
        colour = generator->colour;
    } else if (!importFile(options, graph, table, isTable, error)) {
        return fail(kExitBadFigure, error);
    } else if (isTable) {
        std::cout << "Read "
                  << shownName(options.operand == "-" ? "standard input" : options.operand) << ": "
                  << table.points << " data points, " << table.description << "\n";
    }
    if (options.size) {
        size = *options.size;
    }
    if (options.colour) {
        colour = *options.colour;
    }

    // slice: the figure is placed and scaled as generate and import would write it, then cut
    // (tessascene/slice_command.cpp).
    if (options.command == "slice") {
        if (isTable) {
            graph = graphFromPaths(table.paths, options.lineLoop == kLineLoopClosed);
            if (options.center || size > 0.0) {
                shiftPoints(graph.vertices, table.box.centre());
            }
        } else if (options.center) {
            centreGraph(graph);
        }
        if (size > 0.0) {
            scaleToCircumradius(graph, size);
        }
        if (graph.vertices.empty()) {
            return fail(kExitBadFigure, "the figure has no vertices to cut");
        }
        SliceOutput output{options.output, options.force, options.lineLoop, colour,
                           affinesFor(options)};
        return runSlice(graph, options.slice, output, error) ? kExitOk
                                                             : fail(kExitBadFigure, error);
    }

    SceneFigure figure;
    figure.lineLoop = options.lineLoop;
    figure.colour = colour;
    std::vector<std::vector<int>> layout;
    if (isTable) {
        if (!placeTable(table, options, size, figure, error)) {
            return fail(kExitBadFigure, error);
        }
    } else {
        if (options.center) {
            centreGraph(graph);
        }
        if (size > 0.0) {
            scaleToCircumradius(graph, size);
        }
        if (!layoutPolylines(graph, options.lineLoop, FigureCapacity{}, layout, error)) {
            return fail(kExitBadFigure, error);
        }
        for (const std::vector<int>& indices : layout) {
            figure.polylines.emplace_back();
            for (int v : indices) {
                figure.polylines.back().push_back(graph.vertices[v]);
            }
        }
    }

    if (!checkCoordinates(graph, layout, options, size, error)) {
        return fail(kExitBadFigure, error);
    }

    std::string figureText, affineText, notice;
    SceneWrite how;
    how.replace = options.force;
    const bool written =
        figureFileText(figure, figureText, error) &&
        affineFileText(affinesFor(options), affineText, error) &&
        writeSceneFiles(options.output, figureText, affineText, how, notice, error);
    if (!notice.empty()) {
        std::cerr << "tessascene: " << notice << "\n";
    }
    if (!written) {
        return fail(kExitBadFigure, error);
    }

    if (isTable) {
        std::size_t vertices = 0;
        for (const auto& polyline : figure.polylines) {
            vertices += polyline.size();
        }
        std::cout << "Wrote " << shownName(options.output) << "/" << kFigureFileName << " and "
                  << shownName(options.output) << "/" << kAffineFileName << ": " << table.points
                  << " data points, " << vertices << " vertices in " << figure.polylines.size()
                  << (figure.polylines.size() == 1 ? " polyline" : " polylines") << " (line-loop "
                  << options.lineLoop << ")\n";
        return kExitOk;
    }

    size_t isolated = graph.vertices.size();
    std::vector<char> touched(graph.vertices.size(), 0);
    for (const auto& e : graph.edges) {
        isolated -= (touched[e.first] == 0 ? 1 : 0) + (touched[e.second] == 0 ? 1 : 0);
        touched[e.first] = touched[e.second] = 1;
    }
    std::cout << "Wrote " << shownName(options.output) << "/" << kFigureFileName << " and "
              << shownName(options.output) << "/" << kAffineFileName << ": "
              << graph.vertices.size() << " vertices, " << graph.edges.size() << " edges, "
              << layout.size() << (layout.size() == 1 ? " polyline" : " polylines")
              << " (line-loop " << options.lineLoop << ")";
    if (options.lineLoop != kLineLoopPoints && isolated > 0) {
        std::cout << "; " << isolated << " vertices without edges left out";
    }
    std::cout << "\n";
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        return fail(kExitBadFigure, "out of memory");
    }
}
