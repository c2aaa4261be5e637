// The private X server, the viewer in it, its console and the frames it shows.
#include "tessarecord/session.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>

#include "tessaview_version.h"

extern char** environ;

namespace {

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;
constexpr const char* kFrameEnd = "==============================";
constexpr const char* kTitleStart = TESSAVIEW_TITLE_START;
constexpr int kServerStartMs = 10000;  // Xvfb reports its display
constexpr int kFirstFrameMs = 20000;   // the viewer starts and draws
constexpr int kKeyFrameMs = 10000;     // a key's frame is drawn and shown
constexpr int kStopGraceMs = 2000;     // SIGTERM before SIGKILL
constexpr int kTailLines = 8;

int g_signalPipe[2] = {-1, -1};
volatile sig_atomic_t g_signal = 0;
// Process ids for the X I/O error handler, which cannot return to unwind the stack.
pid_t g_viewerPid = 0;
pid_t g_serverPid = 0;
int g_lastXError = 0;

void onStopSignal(int sig) {
    const int saved = errno;
    g_signal = sig;
    const char byte = 1;
    if (::write(g_signalPipe[1], &byte, 1) < 0) {
        // The pipe is full: a wake-up is pending already.
    }
    errno = saved;
}

int recordXError(Display*, XErrorEvent* event) {
    g_lastXError = event->error_code;
    return 0;
}

// Xlib ends the process after this returns: end the children first.
int onXConnectionLost(Display*) {
    for (pid_t pid : {g_viewerPid, g_serverPid}) {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    std::fprintf(stderr, "tessarecord: lost the connection to the virtual X server\n");
    std::fflush(stderr);
    ::_exit(1);
}

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

void checkSignal() {
    if (g_signal != 0) {
        throw Interrupted{g_signal};
    }
}

// A started program, ended by its process id.
class Child {
public:
    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() { stop(); }

    // Starts argv[0] in its own session with the given standard streams (-1: /dev/null) and
    // environment; keepFd stays open in the child. Throws RecordError when it cannot start.
    void start(const std::vector<std::string>& argv, const std::string& cwd,
               const std::vector<std::string>& env, int outFd, int errFd, int keepFd, pid_t* slot) {
        std::vector<char*> args, envp;
        for (const std::string& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        for (const std::string& e : env) {
            envp.push_back(const_cast<char*>(e.c_str()));
        }
        envp.push_back(nullptr);
        int report[2];
        if (::pipe2(report, O_CLOEXEC) != 0) {
            throw RecordError(std::string("cannot start ") + argv[0] + ": " + std::strerror(errno));
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            // Only async-signal-safe calls from here to exec.
            ::setsid();
            const int devNull = ::open("/dev/null", O_RDWR);
            ::dup2(devNull, 0);
            ::dup2(outFd >= 0 ? outFd : devNull, 1);
            ::dup2(errFd >= 0 ? errFd : devNull, 2);
            if (keepFd >= 0) {
                ::fcntl(keepFd, F_SETFD, 0);
            }
            int failure = 0;
            if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) {
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
            throw RecordError(std::string("cannot start ") + argv[0] + ": " + std::strerror(errno));
        }
        pid_ = pid;
        *slot = pid;
        slot_ = slot;
        int failure = 0;
        ssize_t n;
        do {
            n = ::read(report[0], &failure, sizeof failure);
        } while (n < 0 && errno == EINTR);
        ::close(report[0]);
        if (n == static_cast<ssize_t>(sizeof failure)) {
            stop();
            throw RecordError(std::string("cannot run ") + argv[0] + ": " + std::strerror(failure));
        }
    }

    // Ends the program: SIGTERM, then SIGKILL after a grace period; reaps it.
    void stop() {
        if (pid_ <= 0) {
            return;
        }
        if (!reaped()) {
            ::kill(pid_, SIGTERM);
            const auto deadline = Clock::now() + std::chrono::milliseconds(kStopGraceMs);
            while (!reaped() && msLeft(deadline) > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            if (!reaped()) {
                ::kill(pid_, SIGKILL);
                while (::waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
                }
            }
        }
        pid_ = 0;
        *slot_ = 0;
    }

    // Waits up to ms for the program to end; true (with its wait status) when it has.
    bool waitExit(int ms, int& status) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
        while (!reaped()) {
            if (msLeft(deadline) == 0) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        status = status_;
        return true;
    }

private:
    bool reaped() {
        if (done_) {
            return true;
        }
        if (::waitpid(pid_, &status_, WNOHANG) == pid_) {
            done_ = true;
        }
        return done_;
    }

    pid_t pid_ = 0;
    pid_t* slot_ = nullptr;
    int status_ = 0;
    bool done_ = false;
};

// How a wait status reads in a message.
std::string describeStatus(int status) {
    if (WIFEXITED(status)) {
        return "exit status " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) {
        return std::string("killed by signal ") + std::to_string(WTERMSIG(status));
    }
    return "wait status " + std::to_string(status);
}

// The environment without DISPLAY and XAUTHORITY, plus extra.
std::vector<std::string> environmentWith(const std::string& extra) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.rfind("DISPLAY=", 0) != 0 && entry.rfind("XAUTHORITY=", 0) != 0) {
            env.push_back(entry);
        }
    }
    if (!extra.empty()) {
        env.push_back(extra);
    }
    return env;
}

// A pipe whose ends close on exec.
void makePipe(int fds[2]) {
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        throw RecordError(std::string("cannot make a pipe: ") + std::strerror(errno));
    }
}

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// Everything of one recording; the destructor ends the viewer, then the server.
class Session {
public:
    explicit Session(const SessionSettings& settings) : settings_(settings) {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session() { close(); }

    SessionResult run() {
        startServer();
        connect();
        startViewer();
        SessionResult result;
        result.frames.push_back(firstFrame());
        for (char key : settings_.keys) {
            result.frames.push_back(keyFrame(key));
        }
        close();
        result.console = console_;
        return result;
    }

private:
    void startServer() {
        int displayPipe[2];
        makePipe(displayPipe);
        serverLog_ = std::tmpfile();
        const std::vector<std::string> argv = {
            settings_.xvfb,
            "-displayfd",
            std::to_string(displayPipe[1]),
            "-screen",
            "0",
            std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + "x24",
            "-nolisten",
            "tcp",
            "-noreset",
            "-br"};
        try {
            server_.start(argv, "", environmentWith(""), -1, serverLog_ ? fileno(serverLog_) : -1,
                          displayPipe[1], &g_serverPid);
        } catch (...) {
            ::close(displayPipe[0]);
            ::close(displayPipe[1]);
            throw;
        }
        ::close(displayPipe[1]);
        std::string got;
        const auto deadline = Clock::now() + std::chrono::milliseconds(kServerStartMs);
        while (got.find('\n') == std::string::npos) {
            pollfd fds[2] = {{displayPipe[0], POLLIN, 0}, {g_signalPipe[0], POLLIN, 0}};
            const int ready = ::poll(fds, 2, msLeft(deadline));
            checkSignal();
            if (ready == 0) {
                ::close(displayPipe[0]);
                throw RecordError("the virtual X server (Xvfb) did not start within " +
                                  std::to_string(kServerStartMs / 1000) + " s" + serverTail());
            }
            if (fds[0].revents == 0) {
                continue;
            }
            char buffer[64];
            const ssize_t n = ::read(displayPipe[0], buffer, sizeof buffer);
            if (n <= 0 && !(n < 0 && errno == EINTR)) {
                ::close(displayPipe[0]);
                throw RecordError("the virtual X server (Xvfb) ended at start" + serverTail());
            }
            if (n > 0) {
                got.append(buffer, static_cast<size_t>(n));
            }
        }
        ::close(displayPipe[0]);
        display_ = ":" + got.substr(0, got.find('\n'));
    }

    // Xvfb's own messages, for an error.
    std::string serverTail() {
        if (serverLog_ == nullptr) {
            return "";
        }
        std::string text;
        std::rewind(serverLog_);
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, serverLog_)) > 0) {
            text.append(buffer, n);
        }
        return text.empty() ? "" : "; it said:\n" + lastLines(text, kTailLines);
    }

    void connect() {
        XSetErrorHandler(recordXError);
        XSetIOErrorHandler(onXConnectionLost);
        dpy_ = XOpenDisplay(display_.c_str());
        if (dpy_ == nullptr) {
            throw RecordError("cannot connect to the virtual X server on " + display_);
        }
        int error = 0;
        if (!XDamageQueryExtension(dpy_, &damageEvent_, &error)) {
            throw RecordError("the virtual X server has no DAMAGE extension");
        }
        // Damage on the root covers every window: the viewer's drawing is seen from its
        // first frame on, however soon it comes.
        damage_ = XDamageCreate(dpy_, DefaultRootWindow(dpy_), XDamageReportNonEmpty);
        XSync(dpy_, False);
    }

    void startViewer() {
        int out[2], err[2];
        makePipe(out);
        makePipe(err);
        outFd_ = out[0];
        errFd_ = err[0];
        try {
            viewer_.start({settings_.viewer}, settings_.sceneDir,
                          environmentWith("DISPLAY=" + display_), out[1], err[1], -1, &g_viewerPid);
        } catch (...) {
            ::close(out[1]);
            ::close(err[1]);
            throw;
        }
        ::close(out[1]);
        ::close(err[1]);
    }

    RgbImage firstFrame() {
        waitUntil([this] { return frames_ >= 1; }, kFirstFrameMs, "the first frame");
        // The console line comes before the buffer swap: wait until the window shows more
        // than the empty (black) window.
        for (;;) {
            waitUntil([this] { return damaged_; }, kKeyFrameMs, "the first frame on screen");
            findWindow();
            clearDamage();
            RgbImage image = capture();
            for (std::uint8_t v : image.rgb) {
                if (v != 0) {
                    return image;
                }
            }
        }
    }

    RgbImage keyFrame(char key) {
        clearDamage();
        const int before = frames_;
        sendKey(key);
        const std::string what = std::string("the frame of key '") + key + "'";
        waitUntil([this, before] { return frames_ > before && damaged_; }, kKeyFrameMs, what);
        return capture();
    }

    // Forgets the damage so far: the next damage event is new drawing.
    void clearDamage() {
        XDamageSubtract(dpy_, damage_, None, None);
        XSync(dpy_, False);
        drainX();
        damaged_ = false;
    }

    void findWindow() {
        if (window_ != 0) {
            return;
        }
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(dpy_, DefaultRootWindow(dpy_), &root, &parent, &children, &count)) {
            for (unsigned int i = 0; i < count && window_ == 0; ++i) {
                char* name = nullptr;
                if (XFetchName(dpy_, children[i], &name) && name != nullptr) {
                    XWindowAttributes attributes;
                    if (std::strncmp(name, kTitleStart, std::strlen(kTitleStart)) == 0 &&
                        XGetWindowAttributes(dpy_, children[i], &attributes) &&
                        attributes.map_state == IsViewable) {
                        window_ = children[i];
                        width_ = attributes.width;
                        height_ = attributes.height;
                    }
                    XFree(name);
                }
            }
            XFree(children);
        }
        if (window_ == 0) {
            throw RecordError(std::string("the viewer drew a frame but shows no window titled '") +
                              kTitleStart + "'" + viewerTail());
        }
    }

    RgbImage capture() {
        g_lastXError = 0;
        XImage* image = XGetImage(dpy_, window_, 0, 0, static_cast<unsigned>(width_),
                                  static_cast<unsigned>(height_), AllPlanes, ZPixmap);
        if (image == nullptr) {
            throw RecordError("cannot read the viewer's window (X error " +
                              std::to_string(g_lastXError) + ")");
        }
        RgbImage out;
        out.width = width_;
        out.height = height_;
        out.rgb.resize(static_cast<size_t>(width_) * height_ * 3);
        const bool plain = image->bits_per_pixel == 32 && image->byte_order == LSBFirst &&
                           image->red_mask == 0xff0000 && image->green_mask == 0xff00 &&
                           image->blue_mask == 0xff;
        std::uint8_t* dst = out.rgb.data();
        for (int y = 0; y < height_; ++y) {
            const auto* row = reinterpret_cast<const std::uint8_t*>(image->data) +
                              static_cast<size_t>(y) * image->bytes_per_line;
            for (int x = 0; x < width_; ++x, dst += 3) {
                if (plain) {
                    dst[0] = row[x * 4 + 2];
                    dst[1] = row[x * 4 + 1];
                    dst[2] = row[x * 4];
                } else {
                    const unsigned long p = XGetPixel(image, x, y);
                    dst[0] = static_cast<std::uint8_t>((p & image->red_mask) >>
                                                       __builtin_ctzl(image->red_mask));
                    dst[1] = static_cast<std::uint8_t>((p & image->green_mask) >>
                                                       __builtin_ctzl(image->green_mask));
                    dst[2] = static_cast<std::uint8_t>((p & image->blue_mask) >>
                                                       __builtin_ctzl(image->blue_mask));
                }
            }
        }
        XDestroyImage(image);
        return out;
    }

    // Presses and releases the key that types c, with Shift where the keyboard needs it.
    void sendKey(char c) {
        // Printable ASCII characters are their own keysyms.
        const KeySym sym = static_cast<unsigned char>(c);
        const KeyCode code = XKeysymToKeycode(dpy_, sym);
        unsigned int state = 0;
        if (code == 0) {
            throw RecordError(std::string("the virtual keyboard has no key for '") + c + "'");
        }
        if (XkbKeycodeToKeysym(dpy_, code, 0, 0) != sym) {
            state = ShiftMask;
        }
        XEvent event{};
        XKeyEvent& key = event.xkey;
        key.display = dpy_;
        key.window = window_;
        key.root = DefaultRootWindow(dpy_);
        key.subwindow = None;
        key.time = CurrentTime;
        key.x = key.y = 1;
        key.x_root = key.y_root = 1;
        key.state = state;
        key.keycode = code;
        key.same_screen = True;
        for (int type : {KeyPress, KeyRelease}) {
            key.type = type;
            XSendEvent(dpy_, window_, True, type == KeyPress ? KeyPressMask : KeyReleaseMask,
                       &event);
        }
        XFlush(dpy_);
    }

    // Handles the X events already received.
    void drainX() {
        while (XPending(dpy_) > 0) {
            XEvent event;
            XNextEvent(dpy_, &event);
            if (event.type == damageEvent_ + XDamageNotify) {
                damaged_ = true;
            }
        }
    }

    // Reads what the viewer wrote on one of its streams; false at its end.
    bool readStream(int fd, std::string& into) {
        char buffer[65536];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            return true;
        }
        if (n <= 0) {
            return false;
        }
        into.append(buffer, static_cast<size_t>(n));
        return true;
    }

    // Counts the frames whose closing line has arrived.
    void scanConsole() {
        size_t newline;
        while ((newline = console_.find('\n', lineStart_)) != std::string::npos) {
            if (console_.compare(lineStart_, newline - lineStart_, kFrameEnd) == 0) {
                ++frames_;
            }
            lineStart_ = newline + 1;
        }
    }

    // Waits until done() holds, handling the viewer's output and X events meanwhile.
    void waitUntil(const std::function<bool()>& done, int timeoutMs, const std::string& what) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            drainX();
            checkSignal();
            if (done()) {
                return;
            }
            if (outFd_ < 0) {
                viewerEnded(what);
            }
            const int left = msLeft(deadline);
            if (left == 0) {
                throw RecordError("waited " + std::to_string(timeoutMs / 1000) + " s for " + what +
                                  " in vain" + viewerTail());
            }
            pollfd fds[4] = {{g_signalPipe[0], POLLIN, 0},
                             {ConnectionNumber(dpy_), POLLIN, 0},
                             {outFd_, POLLIN, 0},
                             {errFd_, POLLIN, 0}};
            if (::poll(fds, errFd_ >= 0 ? 4 : 3, left) < 0 && errno != EINTR) {
                throw RecordError(std::string("poll failed: ") + std::strerror(errno));
            }
            if (fds[2].revents != 0) {
                if (!readStream(outFd_, console_)) {
                    closeFd(outFd_);
                }
                scanConsole();
            }
            if (errFd_ >= 0 && fds[3].revents != 0 && !readStream(errFd_, errors_)) {
                closeFd(errFd_);
            }
        }
    }

    [[noreturn]] void viewerEnded(const std::string& what) {
        // Collect what is left on its error stream and its exit status.
        while (errFd_ >= 0) {
            pollfd fd = {errFd_, POLLIN, 0};
            if (::poll(&fd, 1, 1000) <= 0 || !readStream(errFd_, errors_)) {
                closeFd(errFd_);
            }
        }
        int status = 0;
        const std::string how =
            viewer_.waitExit(1000, status) ? " (" + describeStatus(status) + ")" : "";
        throw RecordError("the viewer ended before " + what + how + viewerTail());
    }

    std::string viewerTail() {
        std::string text;
        if (!console_.empty()) {
            text += "; its last console lines:\n" + lastLines(console_, kTailLines);
        }
        if (!errors_.empty()) {
            text += (text.empty() ? "; " : "\nand ") + std::string("its error output:\n") +
                    lastLines(errors_, kTailLines);
        }
        if (text.empty()) {
            text = "; it wrote nothing";
        }
        return text;
    }

    void close() {
        viewer_.stop();
        if (dpy_ != nullptr) {
            XCloseDisplay(dpy_);
            dpy_ = nullptr;
        }
        server_.stop();
        closeFd(outFd_);
        closeFd(errFd_);
        if (serverLog_ != nullptr) {
            std::fclose(serverLog_);
            serverLog_ = nullptr;
        }
    }

    SessionSettings settings_;
    Child server_;
    Child viewer_;
    std::FILE* serverLog_ = nullptr;
    std::string display_;
    Display* dpy_ = nullptr;
    Damage damage_ = 0;
    int damageEvent_ = 0;
    bool damaged_ = false;
    Window window_ = 0;
    int width_ = 0;
    int height_ = 0;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string console_;
    std::string errors_;
    size_t lineStart_ = 0;
    int frames_ = 0;
};

}  // namespace

void installStopSignals() {
    if (g_signalPipe[0] < 0 && ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw RecordError(std::string("cannot make a pipe: ") + std::strerror(errno));
    }
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(sig, &action, nullptr);
    }
}

int pendingStopSignal() {
    return g_signal;
}

SessionResult recordSession(const SessionSettings& settings) {
    Session session(settings);
    return session.run();
}

std::string lastLines(const std::string& text, int count) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) {
            nl = text.size();
        }
        lines.push_back(text.substr(pos, nl - pos));
        pos = nl + 1;
    }
    const size_t first = lines.size() > static_cast<size_t>(count) ? lines.size() - count : 0;
    std::string out;
    for (size_t i = first; i < lines.size(); ++i) {
        out += (i > first ? "\n  " : "  ") + lines[i];
    }
    return out;
}
