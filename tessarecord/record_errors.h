// The two ways a recording ends early, shared by its parts: both are the tools' one error,
// toolkit::ToolError, which tessarecord's main prints in one place.
#pragma once

#include <string>

#include "toolkit/tool_exit.h"

namespace tessarecord {

// A failure with a message ready for the user: exit status 1.
toolkit::ToolError failure(std::string message);

// The stop that signal asked for: nothing is written; during says when it came, if it matters
// (" while encoding the GIF").
toolkit::ToolError stopped(int signal, const std::string& during = "");

}  // namespace tessarecord
