#include "tessarecord/record_errors.h"

#include <utility>

namespace tessarecord {

toolkit::ToolError failure(std::string message) {
    return toolkit::ToolError(toolkit::kExitFailure, std::move(message));
}

toolkit::ToolError stopped(int signal, const std::string& during) {
    return toolkit::ToolError::stop(
        signal, "stopped by signal " + std::to_string(signal) + during + "; nothing written");
}

}  // namespace tessarecord
