#include "tessascene/cli/command_line.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>
#include <vector>

#include "tessascene/figures/generators.h"
#include "tessascene/scene_text/scene_options.h"
#include "tessaview_version.h"
#include "toolkit/tool_exit.h"

namespace tessascene {

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
  antiprism-prism[:N]
                    the prism of the N-gonal antiprism, N from 3 to 1000 (default 5):
                    4*N vertices, 10*N edges; fits up to N = 667
  The convex uniform polychora by name, with their vertices (V) and edges (E);
  both names of a line make the figure. The seven marked 'too large' need more
  than 90 polylines and are refused with how much they overshoot:
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

// The figures' part of the help: those described in words, then every uniform polychoron by
// name with its vertices and edges, and whether a figure file holds it.
std::string figureHelp() {
    std::string text = kFigures;
    char line[128];
    for (const UniformListing& listing : uniformListings()) {
        const std::string names =
            listing.alias.empty() ? listing.name : listing.name + ", " + listing.alias;
        std::snprintf(line, sizeof line, "  %-46s %5d V %6d E%s\n", names.c_str(), listing.vertices,
                      listing.edges, listing.fits ? "" : "  too large");
        text += line;
    }
    return text;
}

// How an option reaches the options record: it is added to app, bound to its field of options.
using Binding = std::function<CLI::Option*(CLI::App& app, const std::string& names,
                                           const std::string& help, Options& options)>;

// The option's long name, which messages use: the last of names.
std::string longName(const std::string& names) {
    return names.substr(names.rfind(',') + 1);
}

// An option of the scene (scene_text/scene_options.h), read by its reader there as each value is
// given; one that may be repeated may also take several values each time.
Binding scene(const char* name) {
    return
        [name](CLI::App& app, const std::string& names, const std::string& help, Options& options) {
            const SceneOption& option = *findSceneOption(name);
            CLI::Option* added = app.add_option(names, CLI::callback_t(), help)
                                     ->each([&options, &option](const std::string& text) {
                                         const std::string problem =
                                             readSceneOption(option, text, options);
                                         if (!problem.empty()) {
                                             throw CLI::ValidationError(problem);
                                         }
                                     });
            return option.repeatable ? added->expected(1, -1)->allow_extra_args() : added;
        };
}

// An option whose value is a folder's name: any text but the empty one.
Binding folder(std::string Options::*member) {
    return [member](CLI::App& app, const std::string& names, const std::string& help,
                    Options& options) {
        const std::string name = longName(names);
        std::string& target = options.*member;
        return app.add_option(names, CLI::callback_t(), help)
            ->each([&target, name](const std::string& text) {
                target = text;
                if (text.empty()) {
                    throw CLI::ValidationError("bad value '' for " + name + ": expected a folder");
                }
            });
    };
}

// A field of the options record, for flag: member, or the field inner of member.
template <typename T, typename Record>
auto field(T Record::*member) {
    return [member](Options& options) -> T& { return options.*member; };
}
template <typename T, typename Inner, typename Record>
auto field(Inner Record::*member, T Inner::*inner) {
    return [member, inner](Options& options) -> T& { return (options.*member).*inner; };
}

// A flag, true in field(options) when given.
template <typename Field>
Binding flag(Field field) {
    return [field](CLI::App& app, const std::string& names, const std::string& help,
                   Options& options) {
        return app.add_flag(names, field(options), help)->disable_flag_override();
    };
}

// One option of the table.
struct OptionRow {
    const char* names;
    const char* value;  // the word for its value in the help; "" for a flag
    const char* group;
    const char* help;
    Binding bind;
};

const char* const kAll = "Options (for every command)";
const char* const kCut = "Options for slice";
const char* const kViews = "Options for project";
const char* const kTables = "Options for point tables (import, slice and project)";

// Every option, in the order of the help. A new option is a row here and a field of Options (or
// of SceneParameters, when it shapes the scene).
const std::vector<OptionRow>& optionTable() {
    static const std::vector<OptionRow> rows = {
        {"-o,--output", "DIR", kAll, "folder for the two files, created when missing (default: .)",
         folder(&Options::output)},
        {"--force", "", kAll,
         "replace scene files already in the folder; without it a folder\n"
         "that holds either file is refused",
         flag(field(&Options::force))},
        {"--size", "R|keep", kAll,
         "scale the figure about the origin so that its farthest vertex lies\n"
         "at distance R (default: a size that suits the figure, 2 for an\n"
         "import); keep leaves the coordinates as they are",
         scene("--size")},
        {"--center", "", kAll,
         "first move the centre of the figure's bounding box to the origin\n"
         "(always done for a point table unless --size keep is given)",
         flag(field(&Options::center))},
        {"--color", "R,G,B", kAll, "colour of the figure, each component from 0 to 1",
         scene("--color")},
        {"--line-loop", "0|1|3", kAll,
         "how the viewer draws the polylines:\n"
         "  0  open polylines (default)\n"
         "  1  closed loops; every vertex needs an even number of edges\n"
         "  3  the vertices as points (also vertices without edges)",
         scene("--line-loop")},
        {"--projection", "X,Y,Z,Q", kAll,
         "the projection vector; Q must not be 0 (default 0.4,-0.3,0.2,1)", scene("--projection")},
        {"--scale", "F", kAll, "a fixed scaling by F (transform type 1)", scene("--scale")},
        {"--rotate", "PLANE:DEG", kAll, "a fixed rotation by DEG degrees (type 3); may be repeated",
         scene("--rotate")},
        {"--spin", "PLANE[:DEG]", kAll,
         "a rotation by DEG degrees per global step (type 6), which the keys\n"
         "> and < animate (default DEG 15); may be repeated. Without any\n"
         "--spin the figure spins in xq by 15 degrees (a view of project in\n"
         "xz); --spin none spins nothing",
         scene("--spin")},
        {"--at", "AXIS=C", kCut,
         "cut with the hyperplane AXIS = C, AXIS one of x y z q; C is measured\n"
         "in the coordinates the figure is written in, after --size",
         scene("--at")},
        {"--hyperplane", "NX,NY,NZ,NQ:C", kCut,
         "cut with the hyperplane of the points P with N.P = C, N not 0", scene("--hyperplane")},
        {"--sweep", "N", kCut,
         "N cuts (1 to 1000) evenly spaced strictly inside the figure along\n"
         "the direction of --at AXIS or --hyperplane NX,NY,NZ,NQ given without\n"
         "C (default: q), one scene folder each: DIR/000, DIR/001, ...",
         scene("--sweep")},
        {"--perspective", "D", kViews,
         "the view from the eye at (0, 0, 0, D), D above the figure's largest q,\n"
         "in the coordinates the figure is written in, after --size",
         scene("--perspective")},
        {"--stereographic", "", kViews,
         "the stereographic projection from the pole of the 3-sphere through\n"
         "the farthest vertex; edges become circular arcs",
         flag(field(&Options::project, &ProjectOptions::stereographic))},
        {"--columns", "A,B,C,D", kTables,
         "the columns of x, y, z and q, by header name or number from 1\n"
         "(default: those named x, y, z and q or w, else the first four\n"
         "columns that hold numbers after an index column)",
         scene("--columns")},
        {"--group", "COLUMN", kTables, "start a new polyline wherever this column's value changes",
         scene("--group")},
        {"--array", "NAME", kTables,
         "the array of an .npz archive (default: its only one, or arr_0)", scene("--array")},
        {"--no-simplify", "", kTables, "refuse data that does not fit instead of simplifying it",
         flag(field(&Options::noSimplify))},
    };
    return rows;
}

// A wrong command line: the one error of the tools, with the usage status.
[[noreturn]] void usage(const std::string& message) {
    throw toolkit::ToolError(toolkit::kExitUsage, message);
}

// The message a CLI11 parse error stands for, in tessascene's own words.
std::string usageMessage(const CLI::ParseError& e, const CLI::App& app) {
    const std::string what = e.what();
    std::string name = what.substr(0, what.find_first_of(": "));
    if (name.compare(0, 1, "-") != 0) {
        name = "--" + name;  // CLI11 names a long-only option without its dashes
    }
    if (e.get_name() == "ValidationError") {
        return what.substr(what.find(": ") + 2);  // the reader's whole message
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

// What the command's operand is called when it is missing.
const char* missingOperand(Command command) {
    switch (command) {
        case Command::kGenerate:
            return "generate needs a FIGURE";
        case Command::kImport:
            return "import needs a FILE";
        case Command::kSlice:
            return "slice needs a SOURCE, a FIGURE or a FILE";
        case Command::kProject:
            break;
    }
    return "project needs a SOURCE, a FIGURE or a FILE";
}

}  // namespace

CommandLine readCommandLine(int argc, const char* const* argv) {
    CommandLine result;
    Options& options = result.options;
    CLI::App app{kDescription, "tessascene"};
    const auto formatter = std::make_shared<HelpFormatter>();
    formatter->column_width(28);
    app.formatter(formatter);
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.set_help_flag("-h,--help", "show this help and exit");
    app.set_version_flag("--version", std::string("tessascene ") + TESSAVIEW_VERSION,
                         "show the version and exit");
    app.footer(figureHelp() + kFooter);

    const struct {
        Command command;
        const char* name;
        const char* help;
        const char* operand;
        const char* operandHelp;
    } commands[] = {
        {Command::kGenerate, "generate", "a generated figure: FIGURE (below)", "FIGURE",
         "the figure"},
        {Command::kImport, "import",
         "a 4D figure or 4D points read from FILE (below); FILE - reads standard input", "FILE",
         "the file"},
        {Command::kSlice, "slice",
         "the cross-section of a figure by a hyperplane (below); SOURCE is a FIGURE\n"
         "generate knows or a FILE import reads",
         "SOURCE", "the figure or file to cut"},
        {Command::kProject, "project",
         "the perspective or stereographic view of a figure in 3D (below);\n"
         "SOURCE is a FIGURE generate knows or a FILE import reads",
         "SOURCE", "the figure or file to project"},
    };
    std::vector<CLI::App*> subcommands;
    for (const auto& c : commands) {
        CLI::App* command = app.add_subcommand(c.name, c.help);
        command->add_option(c.operand, options.operand, c.operandHelp)->type_name("");
        command->fallthrough();
        subcommands.push_back(command);
    }
    // One command a run: after it, a word such as "slice" is a file name, not a second command.
    app.require_subcommand(0, 1);
    for (const OptionRow& row : optionTable()) {
        row.bind(app, row.names, row.help, options)->type_name(row.value)->group(row.group);
    }

    // The command chosen, and the usage error for the words CLI11 left over, if any.
    const auto chosen = [&]() -> const CLI::App* {
        for (std::size_t i = 0; i < subcommands.size(); ++i) {
            if (subcommands[i]->parsed()) {
                options.command = commands[i].command;
                return subcommands[i];
            }
        }
        return nullptr;
    };
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {  // --help or --version
        std::ostringstream out, err;
        app.exit(e, out, err);
        result.outcome = e.get_name() == "CallForVersion" ? Outcome::kVersion : Outcome::kHelp;
        result.text = out.str();
        return result;
    } catch (const CLI::ExtrasError&) {
        // An unknown option, a word where no command is, or a word beyond the operand.
        const std::vector<std::string> extras = app.remaining(true);
        for (const std::string& extra : extras) {
            if (extra.size() > 1 && extra[0] == '-' && !(extra[1] >= '0' && extra[1] <= '9')) {
                usage("unknown option '" + extra.substr(0, extra.find('=')) + "'");
            }
        }
        if (chosen() == nullptr) {
            usage("unknown command '" + extras.front() + "'");
        }
        if (options.operand.empty()) {
            usage(missingOperand(options.command));
        }
        usage("unexpected argument '" + extras.front() + "'");
    } catch (const CLI::ParseError& e) {
        usage(usageMessage(e, app));
    }
    if (chosen() == nullptr) {
        usage("missing command: generate, import, slice or project");
    }
    if (options.operand.empty()) {
        usage(missingOperand(options.command));
    }

    // Options that belong to other commands, and the figure's name.
    std::string error;
    if (!checkSceneRequest(options.command, options.operand,
                           generatesFigure(options.command, options.operand), options, error)) {
        usage(error);
    }
    return result;
}

}  // namespace tessascene
