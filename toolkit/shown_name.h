// File names as the companion tools show them in messages.
#pragma once

#include <string>
#include <string_view>

namespace toolkit {

// name with every control byte (0x00 to 0x1f and 0x7f) written as \n, \r, \t or \xHH, so that a
// name holding a line break cannot forge a line of output or move the terminal's cursor. Every
// other byte, UTF-8 included, is kept as it is.
std::string shownName(std::string_view name);

}  // namespace toolkit
