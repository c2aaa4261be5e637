// The recorder's processes: the programs it starts, signals and reaps, and the signals that
// stop the recorder itself.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tessarecord/record_errors.h"

namespace tessarecord {

// How a program is started.
struct ChildStart {
    std::vector<std::string> argv;  // argv[0] is the program's path
    std::string cwd;                // its working folder; "" keeps the recorder's
    std::vector<std::string> env;   // its whole environment, NAME=value each
    int outFd = -1;                 // its standard output; -1: /dev/null
    int errFd = -1;                 // its standard error; -1: /dev/null
    int keepFd = -1;                // stays open in it under the same number; -1: none
};

// A started program in a session (and process group) of its own, ended with everything in
// that group. It dies with the recorder, even when the recorder is killed by SIGKILL.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() { stop(); }

    // Starts the program (after stopping one started before) with standard input from
    // /dev/null and SIGPIPE as it was when the recorder started. Throws a failure when it cannot
    // start or cannot run; nothing is left running then. At most a few programs run at once (see
    // processes.cpp).
    void start(const ChildStart& how);

    // Ends the program and its process group: SIGTERM to the group, SIGKILL after a grace
    // period of 2 s, then SIGKILL to whatever of the group is left; reaps the program. Does
    // nothing when none runs.
    void stop();

    // Waits up to ms milliseconds for the program to end; true (with how it ended, such as
    // "exit status 3") when it has. It stays unreaped until stop().
    bool waitExit(int ms, std::string& how);

private:
    bool ended();

    pid_t pid_ = 0;
    bool ended_ = false;
    std::string how_;
};

// Makes SIGINT, SIGTERM and SIGHUP stop the recorder cleanly (see pendingStopSignal), except
// those that were ignored when the program started, which stay ignored. SIGPIPE is ignored, so
// that a closed FIFO is a write error; the programs started get it back as it was. Throws
// a failure when it cannot make its pipe.
void installStopSignals();

// The stop signal that arrived, or 0.
int pendingStopSignal();

// Throws the stop (record_errors.h) once a stop signal has arrived.
void throwIfStopped();

// A descriptor that becomes readable when a stop signal arrives, for poll(); -1 before
// installStopSignals().
int stopSignalFd();

// Kills every running program's process group with SIGKILL and reaps the programs, for a
// handler that must end the recorder at once. Calls only kill() and waitpid().
void killChildrenNow();

}  // namespace tessarecord
