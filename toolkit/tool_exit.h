// How the companion tools end: their exit statuses and the one shape of their error messages.
#pragma once

#include <string>

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the work could not be done: the message says why
constexpr int kExitUsage = 2;    // the command line is wrong

// Prints "PROGRAM: MESSAGE" on standard error, for a usage error also the hint to --help;
// returns status.
int failWith(const std::string& program, int status, const std::string& message);
