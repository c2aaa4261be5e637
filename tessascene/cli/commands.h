// tessascene's commands as they run from the command line: the figure generated or read from a
// file or standard input, made into scenes by the file-free parts below, written into folders,
// and reported.
#pragma once

namespace tessascene {

// Runs the command line argv (argv[0] the program) and returns the exit status. Every error
// throws toolkit::ToolError: kExitUsage for a wrong command line, kExitFailure for a figure that
// cannot be made, imported, fitted or written.
int runCommandLine(int argc, const char* const* argv);

}  // namespace tessascene
