// tessascene's command line: the table of options (CLI11), each read once into its field of the
// options record. Nothing here reads a file or writes one.
#pragma once

#include <string>

#include "tessascene/scene_text/scene_options.h"

namespace tessascene {

// The command line as one record: the command and its operand, where the scene goes, and the
// scene's parameter record, one field an option.
struct Options : SceneParameters {
    Command command = Command::kGenerate;
    std::string operand;  // the figure (NAME or NAME:A,B), the file, or the source of slice or
                          // project
    std::string output = ".";
    bool force = false;  // replace scene files already in the folder
};

// What reading the command line came to.
enum class Outcome {
    kRun,      // options holds what to do
    kHelp,     // text holds the help, for standard output
    kVersion,  // text holds the version line
};

struct CommandLine {
    Outcome outcome = Outcome::kRun;
    std::string text;
    Options options;
};

// Reads argv (argv[0] the program) into the options record. A wrong command line throws
// toolkit::ToolError with kExitUsage and the message, without the program's name.
CommandLine readCommandLine(int argc, const char* const* argv);

}  // namespace tessascene
