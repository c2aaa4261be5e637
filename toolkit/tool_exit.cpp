#include "toolkit/tool_exit.h"

#include <signal.h>
#include <unistd.h>

#include <iostream>
#include <new>
#include <utility>

namespace toolkit {

namespace {

// Prints "PROGRAM: MESSAGE" on standard error, for a usage error also the hint to --help.
void printError(const char* program, int status, const char* message) {
    std::cerr << program << ": " << message << "\n";
    if (status == kExitUsage) {
        std::cerr << "Try '" << program << " --help'.\n";
    }
}

// Dies of sig, the way the shell expects of a stopped program.
[[noreturn]] void dieOf(int sig) {
    std::cerr.flush();
    ::signal(sig, SIG_DFL);
    ::raise(sig);
    ::_exit(128 + sig);
}

}  // namespace

ToolError::ToolError(int status, std::string message)
    : status_(status), message_(std::move(message)) {}

ToolError ToolError::stop(int signal, std::string message) {
    ToolError error(kExitFailure, std::move(message));
    error.signal_ = signal;
    return error;
}

int runTool(const char* program, const std::function<int()>& body) {
    try {
        return body();
    } catch (const ToolError& error) {
        printError(program, error.status(), error.what());
        if (error.signal() != 0) {
            dieOf(error.signal());
        }
        return error.status();
    } catch (const std::bad_alloc&) {
        printError(program, kExitFailure, "out of memory");
        return kExitFailure;
    }
}

}  // namespace toolkit
