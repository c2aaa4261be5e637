// tessascene's command line: the option table (CLI11), its checks, and the options as one plain
// record. Nothing here reads a file or writes one.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "scene/scene_format.h"
#include "tessascene/geometry.h"
#include "tessascene/slice_command.h"
#include "tessascene/table_import.h"

enum class Command { kGenerate, kImport, kSlice, kProject };

// The options --perspective D and --stereographic of the project command.
struct ProjectOptions {
    bool perspective = false;
    double eye = 0.0;  // D: the eye at (0, 0, 0, D)
    bool stereographic = false;
};

// A rotation in one coordinate plane; plane indexes the weights xy, xz, xq, yz, yq, zq.
struct PlaneTurn {
    int plane = 0;
    double degrees = 0.0;  // a reversed plane name (qx) is stored as its plane, turned back
};

struct Options {
    Command command = Command::kGenerate;
    std::string operand;  // the figure (NAME or NAME:A,B), the file, or the source of slice
                          // or project
    std::string output = ".";
    std::optional<double> size;  // 0: keep the coordinates
    std::optional<std::array<double, 3>> colour;
    int lineLoop = kLineLoopOpen;
    Vertex4 projection = {0.4, -0.3, 0.2, 1.0};
    std::optional<double> scale;
    std::vector<PlaneTurn> rotations;
    std::vector<PlaneTurn> spins;  // xq by 15 degrees unless --spin was given
    bool force = false;            // replace scene files already in the folder
    bool center = false;
    bool noSimplify = false;
    TableOptions table;
    SliceOptions slice;  // --at, --hyperplane, --sweep
    ProjectOptions project;
};

// What reading the command line came to.
enum class Outcome {
    kRun,         // options holds what to do
    kHelp,        // text holds the help, for standard output
    kVersion,     // text holds the version line
    kUsageError,  // text holds the message, without the program's name
};

struct CommandLine {
    Outcome outcome = Outcome::kRun;
    int exitCode = 0;  // 0 for help and version, 2 for a usage error
    std::string text;
    Options options;
};

// Reads argv (argv[0] the program) into the options record, or says why not.
CommandLine readCommandLine(int argc, const char* const* argv);
