// The project command: the perspective or stereographic view of a generated or imported figure,
// written as a scene whose every vertex has q = 0 (tessascene/projection4d.h does the geometry).
#pragma once

#include <array>

#include "tessascene/command_line.h"
#include "tessascene/import_command.h"

// Places source as generate or import would write it (options.center, size), projects it as
// options.project asks, scales the view to size (0: as projected) and writes it into
// options.output, with a line on standard output saying how it was projected and a warning
// for vertices that land on one point. Returns the exit status; an error is printed.
int runProjectCommand(ImportedFigure& source, const Options& options, double size,
                      const std::array<double, 3>& colour);
