// Starting, signalling and reaping the recorder's programs, and its own stop signals.
#include "tessarecord/processes.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>
#include <thread>

#include "toolkit/shown_name.h"

namespace tessarecord {

namespace {

constexpr int kStopGraceMs = 2000;  // SIGTERM before SIGKILL
constexpr int kMaxChildren = 8;     // programs running at once; the recorder needs three

// What the signal handler and killChildrenNow() share with the rest of the recorder.
struct ProcessState {
    // The number of the stop signal that arrived: 0 at start, written by onStopSignal().
    volatile sig_atomic_t stopSignal = 0;
    // Wakes a poll() when a stop signal arrives: {-1, -1} until installStopSignals() makes it;
    // onStopSignal() writes a byte to [1].
    int wakePipe[2] = {-1, -1};
    // SIGPIPE's disposition when the program started, for the programs it starts: the default
    // until installStopSignals() records it.
    struct sigaction pipeAtStart {};
    // The process ids of the running programs, 0 for a free place: all 0 at start, written by
    // ChildProcess::start() and stop(), read by killChildrenNow().
    pid_t children[kMaxChildren] = {};
};

ProcessState g_state;

void onStopSignal(int sig) {
    const int saved = errno;
    g_state.stopSignal = sig;
    const char byte = 1;
    if (::write(g_state.wakePipe[1], &byte, 1) < 0) {
        // The pipe is full: a wake-up is pending already.
    }
    errno = saved;
}

// Notes pid as running (pid > 0) or forgets it (pid's place is found and cleared).
void noteChild(pid_t pid, bool running) {
    for (pid_t& place : g_state.children) {
        if (place == (running ? 0 : pid)) {
            place = running ? pid : 0;
            return;
        }
    }
}

using Clock = std::chrono::steady_clock;

}  // namespace

void ChildProcess::start(const ChildStart& how) {
    stop();
    const std::string& program = how.argv.at(0);
    if (std::find(std::begin(g_state.children), std::end(g_state.children), 0) ==
        std::end(g_state.children)) {
        throw failure("cannot start " + toolkit::shownName(program) +
                      ": too many programs running");
    }
    std::vector<char*> args, envp;
    for (const std::string& a : how.argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    for (const std::string& e : how.env) {
        envp.push_back(const_cast<char*>(e.c_str()));
    }
    envp.push_back(nullptr);
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        throw failure("cannot start " + toolkit::shownName(program) + ": " + std::strerror(errno));
    }
    // fork and exec, not posix_spawn: the parent-death signal can only be set in between.
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls from here to exec.
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(127);  // the parent died before the request took hold
        }
        ::sigaction(SIGPIPE, &g_state.pipeAtStart, nullptr);
        const int devNull = ::open("/dev/null", O_RDWR);
        ::dup2(devNull, 0);
        ::dup2(how.outFd >= 0 ? how.outFd : devNull, 1);
        ::dup2(how.errFd >= 0 ? how.errFd : devNull, 2);
        if (how.keepFd >= 0) {
            ::fcntl(how.keepFd, F_SETFD, 0);
        }
        int failure = 0;
        if (!how.cwd.empty() && ::chdir(how.cwd.c_str()) != 0) {
            failure = errno;
        } else {
            ::execve(args[0], args.data(), envp.data());
            failure = errno;
        }
        if (::write(report[1], &failure, sizeof failure) < 0) {
            ::_exit(127);
        }
        ::_exit(127);
    }
    ::close(report[1]);
    if (pid < 0) {
        ::close(report[0]);
        throw failure("cannot start " + toolkit::shownName(program) + ": " + std::strerror(errno));
    }
    pid_ = pid;
    noteChild(pid, true);
    ended_ = false;
    int execError = 0;
    ssize_t n;
    do {
        n = ::read(report[0], &execError, sizeof execError);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    if (n == static_cast<ssize_t>(sizeof execError)) {
        stop();
        throw failure("cannot run " + toolkit::shownName(program) + ": " +
                      std::strerror(execError));
    }
}

void ChildProcess::stop() {
    if (pid_ <= 0) {
        return;
    }
    // The group is signalled while its leader is at most a zombie, so its id is still the
    // group's and cannot name another process.
    ::kill(-pid_, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::milliseconds(kStopGraceMs);
    while (!ended() && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::kill(-pid_, SIGKILL);
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    noteChild(pid_, false);
    pid_ = 0;
}

bool ChildProcess::waitExit(int ms, std::string& how) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (!ended()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    how = how_;
    return true;
}

// True once the program has ended; it is left unreaped (a zombie) until stop().
bool ChildProcess::ended() {
    if (ended_) {
        return true;
    }
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == pid_) {
        ended_ = true;
        how_ = info.si_code == CLD_EXITED ? "exit status " + std::to_string(info.si_status)
                                          : "killed by signal " + std::to_string(info.si_status);
    }
    return ended_;
}

void installStopSignals() {
    if (g_state.wakePipe[0] < 0 && ::pipe2(g_state.wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw failure(std::string("cannot make a pipe: ") + std::strerror(errno));
    }
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction before {};
        // nohup and background jobs ignore some of them: that choice stands.
        if (::sigaction(sig, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) {
            ::sigaction(sig, &action, nullptr);
        }
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &g_state.pipeAtStart);
}

int pendingStopSignal() {
    return g_state.stopSignal;
}

void throwIfStopped() {
    if (g_state.stopSignal != 0) {
        throw stopped(g_state.stopSignal);
    }
}

int stopSignalFd() {
    return g_state.wakePipe[0];
}

void killChildrenNow() {
    for (pid_t pid : g_state.children) {
        if (pid > 0) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
}

}  // namespace tessarecord
