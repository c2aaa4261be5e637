// How the companion tools end: their exit statuses and the one shape of their errors, printed in
// one place.
#pragma once

#include <exception>
#include <functional>
#include <string>

namespace toolkit {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the work could not be done: the message says why
constexpr int kExitUsage = 2;    // the command line is wrong

// Why a tool stops before its work is done: an exit status with the message for the user, or a
// signal that asked the tool to stop.
class ToolError : public std::exception {
public:
    // status is kExitFailure or kExitUsage.
    ToolError(int status, std::string message);

    // The stop that signal asked for; message says what became of the work.
    static ToolError stop(int signal, std::string message);

    int status() const { return status_; }
    // The signal of a stop, 0 for any other error.
    int signal() const { return signal_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    int status_;
    int signal_ = 0;
    std::string message_;
};

// Runs a tool's body and returns its exit status. The one place a tool's errors end: a ToolError
// is printed on standard error as "PROGRAM: MESSAGE", a usage error with the hint to --help, and
// its status is returned; a stop is printed the same way and then ends the process by its signal,
// as the shell expects of a stopped program; running out of memory is the failure "out of
// memory".
int runTool(const char* program, const std::function<int()>& body);

}  // namespace toolkit
