#include "toolkit/tool_exit.h"

#include <iostream>

int failWith(const std::string& program, int status, const std::string& message) {
    std::cerr << program << ": " << message << "\n";
    if (status == kExitUsage) {
        std::cerr << "Try '" << program << " --help'.\n";
    }
    return status;
}
