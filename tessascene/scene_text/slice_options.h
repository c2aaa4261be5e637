// The slice command's options: --at, --hyperplane and --sweep, read from their text into the
// parameter record's slice options and checked once every option is read.
#pragma once

#include <string>

#include "tessascene/scene_text/scene_parameters.h"

namespace tessascene {

// Reads the value of --at (AXIS=C, or AXIS alone for a sweep), --hyperplane (NX,NY,NZ,NQ:C, or
// the normal alone for a sweep) or --sweep (1 to 1000) into slice. false with problem set to
// what is wrong with the value.
bool parseSliceOption(const std::string& option, const std::string& value, SliceOptions& slice,
                      std::string& problem);

// Checks the slice options once the whole command line is read, for the slice command or
// another one; false with a usage error.
bool checkSliceOptions(bool sliceCommand, const SliceOptions& slice, std::string& error);

}  // namespace tessascene
