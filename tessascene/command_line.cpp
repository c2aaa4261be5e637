#include "tessascene/command_line.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>

#include "tessascene/generate_command.h"
#include "tessascene/uniform_names.h"
#include "tessaview_version.h"
#include "toolkit/tool_exit.h"

namespace {

const char* const kUsage = R"(Usage: tessascene generate FIGURE [OPTIONS]
       tessascene import FILE [OPTIONS]
       tessascene slice SOURCE (--at AXIS=C | --hyperplane NX,NY,NZ,NQ:C | --sweep N) [OPTIONS]
       tessascene project SOURCE (--perspective D | --stereographic) [OPTIONS]
       tessascene --help | --version

)";

const char* const kDescription =
    "Writes the viewer's scene files kvoTessa1F.txt (the figure) and kvoTessa1A.txt (projection\n"
    "vector and transforms) into a folder. Start the viewer in that folder to see the figure.\n"
    "Options go before or after the command; OPTION VALUE and OPTION=VALUE both work.\n";

// The help's opening: the program's own usage lines, then what it does.
class HelpFormatter : public CLI::Formatter {
public:
    std::string make_description(const CLI::App* app) const override {
        return app->get_parent() == nullptr ? "" : CLI::Formatter::make_description(app);
    }
    std::string make_usage(const CLI::App* app, std::string name) const override {
        return app->get_parent() == nullptr ? std::string(kUsage) + kDescription
                                            : CLI::Formatter::make_usage(app, name);
    }
};

const char* const kFigures = R"(FIGURE, one of:
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
  wythoff:GROUP:RINGS
                    Wythoff's construction: GROUP A4, B4, D4, F4 or H4 (the diagrams
                    [3,3,3], [4,3,3], [3,3^1,1], [3,4,3], [5,3,3]); RINGS four digits 0
                    or 1, one per node from left to right, not all 0 (for D4 the chain
                    through the centre node, then the branch), e.g. wythoff:F4:1001
)";

const char* const kFooter = R"(
FILE: a 4D figure in an OFF-family text file (4OFF, nOFF with n = 4, 4VECT, 4SKEL), whose
faces and polylines become edges, or 4D points: a text table or numpy's .npy or .npz (below);
any of them may be gzip-compressed. FILE - reads standard input.

PLANE is one of xy xz xq yz yq zq; the reversed name (qx, ...) turns the other way. The affine
file lists the transforms in this order: --scale, each --rotate, each --spin, each in the order
given. They act in that order, the first one first.

The edges are drawn as few continuous lines as possible. A figure file holds at most 90
polylines of at most 90 vertices; a figure that does not fit is refused with how much it
overshoots. Every option value must be 0 or fit a 32-bit float as a normal number (about
1.2e-38 to 3.4e+38 in size), and so must every coordinate once the figure is centred and scaled.

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

Projections: project writes the view of SOURCE (a FIGURE or a FILE, placed as generate or
import would write it) as a figure in q = 0, which the viewer shows as it is. --perspective D
puts the eye at (0, 0, 0, D), beyond the figure's largest q: (x, y, z, q) goes to
(x, y, z) D/(D - q) and edges stay straight; D just beyond a cell gives its Schlegel diagram.
--stereographic puts the vertices on the 3-sphere through the farthest one and projects them
from its pole (0, 0, 0, R): each edge becomes its great-circle arc, drawn as a polyline as
finely as the figure file allows. When a vertex or an arc comes within 5 degrees of the pole,
the figure is first turned in the zq plane (else yq, xq) by the whole number of degrees that
keeps the pole farthest from it, and a line says so. Vertices that land on one written point
are counted in a warning. A point table's points are projected one by one, then fitted as
import fits them.

Exit status:
  0  the two files were written
  1  the figure cannot be made, imported, fitted into a figure file or written, the
     hyperplane misses it, the eye is not beyond it, or the folder already holds a
     scene file (or the sweep's folder exists) and --force is not given
  2  wrong command line
)";

const char* const kPlanes[6] = {"xy", "xz", "xq", "yz", "yq", "zq"};

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
    return end == text.c_str() + text.size() && std::isfinite(value) && std::fabs(value) <= FLT_MAX;
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

// The first number in text (parts between commas and colons) that is not 0 and does not fit a
// 32-bit float as a normal number, or "" when there is none; text that is no number is left to
// the option's own check.
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

// PLANE or PLANE:DEG (the angle optional for a spin, 15 degrees); a reversed plane name
// negates the angle.
bool parsePlaneTurn(const std::string& text, bool angleOptional, PlaneTurn& turn) {
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

// Each option value's check: "" when the value is good, else what is wrong with it.
using ValueCheck = std::function<std::string(const std::string&)>;

std::string checkSize(const std::string& value) {
    std::vector<double> n;
    return value == "keep" || (parseNumbers(value, 1, n) && n[0] > 0.0)
               ? ""
               : "expected a number above 0, or keep";
}

std::string checkColour(const std::string& value) {
    std::vector<double> n;
    const bool good = parseNumbers(value, 3, n) && n[0] >= 0 && n[0] <= 1 && n[1] >= 0 &&
                      n[1] <= 1 && n[2] >= 0 && n[2] <= 1;
    return good ? "" : "expected R,G,B, each from 0 to 1";
}

std::string checkLineLoop(const std::string& value) {
    return value == "0" || value == "1" || value == "3" ? "" : "expected 0, 1 or 3";
}

std::string checkProjection(const std::string& value) {
    // q must stay non-zero also once rounded to a float.
    std::vector<double> n;
    return parseNumbers(value, 4, n) && static_cast<float>(n[3]) != 0.0f
               ? ""
               : "expected X,Y,Z,Q with Q not 0";
}

std::string checkScale(const std::string& value) {
    std::vector<double> n;
    return parseNumbers(value, 1, n) ? "" : "expected a number";
}

std::string checkRotate(const std::string& value) {
    PlaneTurn turn;
    return parsePlaneTurn(value, false, turn) ? ""
                                              : "expected PLANE:DEG with PLANE one of xy xz xq "
                                                "yz yq zq";
}

std::string checkSpin(const std::string& value) {
    PlaneTurn turn;
    return value == "none" || parsePlaneTurn(value, true, turn)
               ? ""
               : "expected PLANE[:DEG] with PLANE one of xy xz xq yz yq zq";
}

std::string checkEye(const std::string& value) {
    std::vector<double> n;
    return parseNumbers(value, 1, n) && n[0] > 0.0 ? "" : "expected a distance above 0";
}

std::string checkColumns(const std::string& value) {
    const std::vector<std::string> c = splitCommas(value);
    return c.size() == 4 && !c[0].empty() && !c[1].empty() && !c[2].empty() && !c[3].empty()
               ? ""
               : "expected four column names or numbers, A,B,C,D";
}

// The slice options read their own values (tessascene/slice_command.cpp).
ValueCheck checkSlice(const std::string& option) {
    return [option](const std::string& value) {
        SliceOptions scratch;
        std::string problem;
        return parseSliceOption(option, value, scratch, problem) ? "" : problem;
    };
}

ValueCheck nonEmpty(const char* expected) {
    return [expected](const std::string& value) {
        return value.empty() ? std::string("expected ") + expected : std::string();
    };
}

// The validator of option name: "bad value 'V' for NAME: what is wrong", numbers beyond the
// range of a float named first (except in a folder's name).
CLI::Validator valueValidator(const std::string& name, const ValueCheck& check) {
    const bool numeric = name != "--output";
    return CLI::Validator(
        [name, check, numeric](std::string& value) -> std::string {
            const std::string bad = "bad value '" + value + "' for " + name + ": ";
            if (const std::string beyond = numeric ? numberBeyondFloat(value) : std::string();
                !beyond.empty()) {
                return bad + beyond +
                       " is not 0 and does not fit a 32-bit float as a normal number (about "
                       "1.2e-38 to 3.4e+38 in size)";
            }
            const std::string problem = check(value);
            return problem.empty() ? "" : bad + problem;
        },
        "");
}

// The option values as given, before they are turned into the options record.
struct Given {
    std::string size, colour, lineLoop, projection, scale, columns;
    std::vector<std::string> rotations, spins, at, hyperplane;
    std::string sweep, eye;
};

// The message a CLI11 parse error stands for, in tessascene's own words.
std::string usageMessage(const CLI::ParseError& e, const CLI::App& app) {
    const std::string what = e.what();
    std::string name = what.substr(0, what.find_first_of(": "));
    if (name.compare(0, 1, "-") != 0) {
        name = "--" + name;  // CLI11 names a long-only option without its dashes
    }
    if (e.get_name() == "ValidationError") {
        return what.substr(what.find(": ") + 2);  // the validator's whole message
    }
    if (e.get_name() == "ArgumentMismatch") {
        const CLI::Option* option = app.get_option_no_throw(name);
        if (option != nullptr && option->get_expected_max() == 0) {
            return "option " + name + " takes no value";
        }
        return "option " + name + " needs a value";
    }
    return what;
}

}  // namespace

CommandLine readCommandLine(int argc, const char* const* argv) {
    CommandLine result;
    Options& options = result.options;
    Given given;
    CLI::App app{kDescription, "tessascene"};
    const auto formatter = std::make_shared<HelpFormatter>();
    formatter->column_width(28);
    app.formatter(formatter);
    app.allow_extras();
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.set_help_flag("-h,--help", "show this help and exit");
    app.set_version_flag("--version", std::string("tessascene ") + TESSAVIEW_VERSION,
                         "show the version and exit");
    app.footer(std::string(kFigures) + uniformFigureHelp() + kFooter);

    CLI::App* generate = app.add_subcommand("generate", "a generated figure: FIGURE (below)");
    generate->add_option("FIGURE", options.operand, "the figure")->type_name("");
    CLI::App* import = app.add_subcommand(
        "import", "a 4D figure or 4D points read from FILE (below); FILE - reads standard input");
    import->add_option("FILE", options.operand, "the file")->type_name("");
    CLI::App* slice = app.add_subcommand(
        "slice",
        "the cross-section of a figure by a hyperplane (below); SOURCE is a FIGURE\n"
        "generate knows or a FILE import reads");
    slice->add_option("SOURCE", options.operand, "the figure or file to cut")->type_name("");
    CLI::App* project =
        app.add_subcommand("project",
                           "the perspective or stereographic view of a figure in 3D (below);\n"
                           "SOURCE is a FIGURE generate knows or a FILE import reads");
    project->add_option("SOURCE", options.operand, "the figure or file to project")->type_name("");
    for (CLI::App* command : {generate, import, slice, project}) {
        command->fallthrough();
        command->allow_extras();
    }
    // One command a run: after it, a word such as "slice" is a file name, not a second command.
    app.require_subcommand(0, 1);

    const auto valued = [&app](const std::string& names, std::string& into, const ValueCheck& check,
                               const char* type, const std::string& help) {
        const std::string longName = names.substr(names.rfind(',') + 1);
        return app.add_option(names, into, help)
            ->type_name(type)
            ->check(valueValidator(longName, check));
    };
    const auto repeated = [&app](const std::string& name, std::vector<std::string>& into,
                                 const ValueCheck& check, const char* type,
                                 const std::string& help) {
        return app.add_option(name, into, help)
            ->type_name(type)
            ->check(valueValidator(name, check));
    };
    const char* const all = "Options (for every command)";
    valued("-o,--output", options.output, nonEmpty("a folder"), "DIR",
           "folder for the two files, created when missing (default: .)")
        ->group(all);
    app.add_flag("--force", options.force,
                 "replace scene files already in the folder; without it a folder\n"
                 "that holds either file is refused")
        ->disable_flag_override()
        ->group(all);
    valued("--size", given.size, checkSize, "R|keep",
           "scale the figure about the origin so that its farthest vertex lies\n"
           "at distance R (default: a size that suits the figure, 2 for an\n"
           "import); keep leaves the coordinates as they are")
        ->group(all);
    app.add_flag("--center", options.center,
                 "first move the centre of the figure's bounding box to the origin\n"
                 "(always done for a point table unless --size keep is given)")
        ->disable_flag_override()
        ->group(all);
    valued("--color", given.colour, checkColour, "R,G,B",
           "colour of the figure, each component from 0 to 1")
        ->group(all);
    valued("--line-loop", given.lineLoop, checkLineLoop, "0|1|3",
           "how the viewer draws the polylines:\n"
           "  0  open polylines (default)\n"
           "  1  closed loops; every vertex needs an even number of edges\n"
           "  3  the vertices as points (also vertices without edges)")
        ->group(all);
    valued("--projection", given.projection, checkProjection, "X,Y,Z,Q",
           "the projection vector; Q must not be 0 (default 0.4,-0.3,0.2,1)")
        ->group(all);
    valued("--scale", given.scale, checkScale, "F", "a fixed scaling by F (transform type 1)")
        ->group(all);
    repeated("--rotate", given.rotations, checkRotate, "PLANE:DEG",
             "a fixed rotation by DEG degrees (type 3); may be repeated")
        ->group(all);
    repeated("--spin", given.spins, checkSpin, "PLANE[:DEG]",
             "a rotation by DEG degrees per global step (type 6), which the keys\n"
             "> and < animate (default DEG 15); may be repeated. Without any\n"
             "--spin the figure spins in xq by 15 degrees (a view of project in\n"
             "xz); --spin none spins nothing")
        ->group(all);

    const char* const cut = "Options for slice";
    repeated("--at", given.at, checkSlice("--at"), "AXIS=C",
             "cut with the hyperplane AXIS = C, AXIS one of x y z q; C is measured\n"
             "in the coordinates the figure is written in, after --size")
        ->group(cut);
    repeated("--hyperplane", given.hyperplane, checkSlice("--hyperplane"), "NX,NY,NZ,NQ:C",
             "cut with the hyperplane of the points P with N.P = C, N not 0")
        ->group(cut);
    valued("--sweep", given.sweep, checkSlice("--sweep"), "N",
           "N cuts (1 to 1000) evenly spaced strictly inside the figure along\n"
           "the direction of --at AXIS or --hyperplane NX,NY,NZ,NQ given without\n"
           "C (default: q), one scene folder each: DIR/000, DIR/001, ...")
        ->group(cut);

    const char* const views = "Options for project";
    valued("--perspective", given.eye, checkEye, "D",
           "the view from the eye at (0, 0, 0, D), D above the figure's largest q,\n"
           "in the coordinates the figure is written in, after --size")
        ->group(views);
    app.add_flag("--stereographic", options.project.stereographic,
                 "the stereographic projection from the pole of the 3-sphere through\n"
                 "the farthest vertex; edges become circular arcs")
        ->disable_flag_override()
        ->group(views);

    const char* const tables = "Options for point tables (import, slice and project)";
    valued("--columns", given.columns, checkColumns, "A,B,C,D",
           "the columns of x, y, z and q, by header name or number from 1\n"
           "(default: those named x, y, z and q or w, else the first four\n"
           "columns that hold numbers after an index column)")
        ->group(tables);
    valued("--group", options.table.group, nonEmpty("a column name or number"), "COLUMN",
           "start a new polyline wherever this column's value changes")
        ->group(tables);
    valued("--array", options.table.array, nonEmpty("the name of an array in an .npz archive"),
           "NAME", "the array of an .npz archive (default: its only one, or arr_0)")
        ->group(tables);
    app.add_flag("--no-simplify", options.noSimplify,
                 "refuse data that does not fit instead of simplifying it")
        ->disable_flag_override()
        ->group(tables);

    const auto usage = [&result](const std::string& message) {
        result.outcome = Outcome::kUsageError;
        result.exitCode = kExitUsage;
        result.text = message;
        return result;
    };
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        std::ostringstream out, err;
        result.exitCode = app.exit(e, out, err);
        result.outcome = Outcome::kHelp;
        result.text = out.str();
        return result;
    } catch (const CLI::CallForVersion& e) {
        std::ostringstream out, err;
        result.exitCode = app.exit(e, out, err);
        result.outcome = Outcome::kVersion;
        result.text = out.str();
        return result;
    } catch (const CLI::ParseError& e) {
        return usage(usageMessage(e, app));
    }

    // What the table left over: unknown options and arguments beyond the operand.
    const CLI::App* chosen = generate->parsed()  ? generate
                             : import->parsed()  ? import
                             : slice->parsed()   ? slice
                             : project->parsed() ? project
                                                 : nullptr;
    for (const std::string& extra : app.remaining(true)) {
        if (extra.size() > 1 && extra[0] == '-' && !(extra[1] >= '0' && extra[1] <= '9')) {
            return usage("unknown option '" + extra.substr(0, extra.find('=')) + "'");
        }
    }
    const std::vector<std::string> extras = app.remaining(true);
    if (chosen == nullptr) {
        return usage(extras.empty() ? "missing command: generate, import, slice or project"
                                    : "unknown command '" + extras.front() + "'");
    }
    options.command = chosen == generate ? Command::kGenerate
                      : chosen == import ? Command::kImport
                      : chosen == slice  ? Command::kSlice
                                         : Command::kProject;
    if (options.operand.empty()) {
        return usage(chosen == generate ? "generate needs a FIGURE"
                     : chosen == import
                         ? "import needs a FILE"
                         : std::string(chosen->get_name()) + " needs a SOURCE, a FIGURE or a FILE");
    }
    if (!extras.empty()) {
        return usage("unexpected argument '" + extras.front() + "'");
    }

    // The values, all checked, into the record.
    std::vector<double> n;
    if (!given.size.empty()) {
        options.size = given.size == "keep" ? 0.0 : std::strtod(given.size.c_str(), nullptr);
    }
    if (parseNumbers(given.colour, 3, n)) {
        options.colour = std::array<double, 3>{n[0], n[1], n[2]};
    }
    if (!given.lineLoop.empty()) {
        options.lineLoop = given.lineLoop[0] - '0';
    }
    if (parseNumbers(given.projection, 4, n)) {
        options.projection = {n[0], n[1], n[2], n[3]};
    }
    if (parseNumbers(given.scale, 1, n)) {
        options.scale = n[0];
    }
    for (const std::string& text : given.rotations) {
        options.rotations.emplace_back();
        parsePlaneTurn(text, false, options.rotations.back());
    }
    for (const std::string& text : given.spins) {
        if (text != "none") {
            options.spins.emplace_back();
            parsePlaneTurn(text, true, options.spins.back());
        }
    }
    if (given.spins.empty()) {
        // xq, except for project's view in q = 0, which turns in xz as a 3D figure would.
        options.spins.push_back(PlaneTurn{chosen == project ? 1 : 2, 15.0});
    }
    if (!given.columns.empty()) {
        options.table.columns = splitCommas(given.columns);
    }
    std::string problem;
    for (const std::string& text : given.at) {
        parseSliceOption("--at", text, options.slice, problem);
    }
    for (const std::string& text : given.hyperplane) {
        parseSliceOption("--hyperplane", text, options.slice, problem);
    }
    if (!given.sweep.empty()) {
        parseSliceOption("--sweep", given.sweep, options.slice, problem);
    }
    if (parseNumbers(given.eye, 1, n)) {
        options.project.perspective = true;
        options.project.eye = n[0];
    }

    // Options that belong to other commands, and the figure's name.
    if (options.command == Command::kGenerate &&
        (!options.table.columns.empty() || !options.table.group.empty() ||
         !options.table.array.empty() || options.noSimplify)) {
        return usage("--columns, --group, --array and --no-simplify are for imported point tables");
    }
    std::string error;
    if (!checkSliceOptions(options.command == Command::kSlice, options.slice, error)) {
        return usage(error);
    }
    const bool projecting = options.project.perspective || options.project.stereographic;
    if (options.command != Command::kProject && projecting) {
        return usage("--perspective and --stereographic are for the project command");
    }
    if (options.command == Command::kProject &&
        options.project.perspective == options.project.stereographic) {
        return usage(projecting ? "give project one of --perspective D and --stereographic"
                                : "project needs --perspective D or --stereographic");
    }
    if ((options.command == Command::kGenerate ||
         ((options.command == Command::kSlice || options.command == Command::kProject) &&
          namesGenerator(options.operand))) &&
        !checkFigureRequest(options.operand, error)) {
        return usage(error);
    }
    return result;
}
