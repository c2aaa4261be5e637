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
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <iostream>
#include <thread>

#include "scene/scene_format.h"
#include "tessaview_version.h"
#include "toolkit/shown_name.h"

extern char** environ;

namespace {

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;
constexpr const char* kFrameEnd = "==============================";
constexpr const char* kTitleStart = TESSAVIEW_TITLE_START;
constexpr int kServerStartMs = 10000;  // Xvfb reports its display
constexpr int kStopGraceMs = 2000;     // SIGTERM before SIGKILL
constexpr int kWindowGoneMs = 2000;    // the X server takes an ended viewer's window away
constexpr int kTailLines = 8;
constexpr size_t kMaxLineKept = 512;  // bytes of one console line kept for messages

int g_signalPipe[2] = {-1, -1};
volatile sig_atomic_t g_signal = 0;
// Process ids for the X I/O error handler, which cannot return to unwind the stack.
pid_t g_viewerPids[2] = {0, 0};
pid_t g_serverPid = 0;
int g_lastXError = 0;
// How SIGPIPE was when the program started, for the programs it starts.
struct sigaction g_pipeAtStart {};

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
    for (pid_t pid : {g_viewerPids[0], g_viewerPids[1], g_serverPid}) {
        if (pid > 0) {
            ::kill(-pid, SIGKILL);
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

// A started program in a process group of its own, ended with everything in that group.
class Child {
public:
    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() { stop(); }

    // Starts argv[0] in its own session with the given standard streams (-1: /dev/null) and
    // environment; keepFd stays open in the child. The child dies with this process, even by
    // SIGKILL. Throws RecordError when it cannot start.
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
            throw RecordError("cannot start " + shownName(argv[0]) + ": " + std::strerror(errno));
        }
        const pid_t parent = ::getpid();
        const pid_t pid = ::fork();
        if (pid == 0) {
            // Only async-signal-safe calls from here to exec.
            ::setsid();
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) {
                ::_exit(127);  // the parent died before the request took hold
            }
            ::sigaction(SIGPIPE, &g_pipeAtStart, nullptr);
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
            throw RecordError("cannot start " + shownName(argv[0]) + ": " + std::strerror(errno));
        }
        pid_ = pid;
        *slot = pid;
        slot_ = slot;
        ended_ = false;
        int failure = 0;
        ssize_t n;
        do {
            n = ::read(report[0], &failure, sizeof failure);
        } while (n < 0 && errno == EINTR);
        ::close(report[0]);
        if (n == static_cast<ssize_t>(sizeof failure)) {
            stop();
            throw RecordError("cannot run " + shownName(argv[0]) + ": " + std::strerror(failure));
        }
    }

    // Ends the program and its process group: SIGTERM to the group, SIGKILL after a grace
    // period, then SIGKILL to whatever of the group is left; reaps the program.
    void stop() {
        if (pid_ <= 0) {
            return;
        }
        // The group is signalled while its leader is at most a zombie, so its id is still
        // the group's and cannot name another process.
        ::kill(-pid_, SIGTERM);
        const auto deadline = Clock::now() + std::chrono::milliseconds(kStopGraceMs);
        while (!ended() && msLeft(deadline) > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ::kill(-pid_, SIGKILL);
        while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
        pid_ = 0;
        *slot_ = 0;
    }

    // Waits up to ms for the program to end; true (with how it ended) when it has.
    bool waitExit(int ms, std::string& how) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
        while (!ended()) {
            if (msLeft(deadline) == 0) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        how = how_;
        return true;
    }

private:
    // True once the program has ended; it is left unreaped (a zombie) until stop().
    bool ended() {
        if (ended_) {
            return true;
        }
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == pid_) {
            ended_ = true;
            how_ = info.si_code == CLD_EXITED
                       ? "exit status " + std::to_string(info.si_status)
                       : "killed by signal " + std::to_string(info.si_status);
        }
        return ended_;
    }

    pid_t pid_ = 0;
    pid_t* slot_ = nullptr;
    bool ended_ = false;
    std::string how_;
};

// A stream of text taken line by line in bounded memory: the current line (its first
// kMaxLineKept bytes) and the last kTailLines lines, for messages.
class LineTail {
public:
    // Takes size more bytes; calls onLine with each line completed.
    template <typename OnLine>
    void feed(const char* data, size_t size, OnLine onLine) {
        for (size_t i = 0; i < size; ++i) {
            if (data[i] != '\n') {
                if (line_.size() < kMaxLineKept) {
                    line_ += data[i];
                } else {
                    cut_ = true;
                }
                continue;
            }
            if (!cut_) {
                onLine(line_);
            }
            last_.push_back(cut_ ? line_ + "..." : line_);
            if (last_.size() > static_cast<size_t>(kTailLines)) {
                last_.pop_front();
            }
            line_.clear();
            cut_ = false;
        }
    }

    // The last lines (and the unfinished one), each indented by two spaces; "" when none.
    std::string tail() const {
        std::string text;
        for (const std::string& line : last_) {
            text += line + "\n";
        }
        text += line_;
        return text.empty() ? "" : lastLines(shownText(text), kTailLines);
    }

    void clear() {
        line_.clear();
        last_.clear();
        cut_ = false;
    }

private:
    // text with control characters other than line ends shown escaped.
    static std::string shownText(const std::string& text) {
        std::string out;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) {
                end = text.size();
            }
            std::string line = text.substr(start, end - start);
            std::replace(line.begin(), line.end(), '\t', ' ');
            out += shownName(line);
            if (end < text.size()) {
                out += '\n';
            }
            start = end + 1;
        }
        return out;
    }

    std::string line_;
    bool cut_ = false;
    std::deque<std::string> last_;
};

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

// The scene file a console line of the viewer's scene reader complains about, or nullptr.
const char* troubledSceneFile(const std::string& line) {
    struct Complaint {
        const char* start;
        const char* file;
    };
    static const Complaint kComplaints[] = {
        {"PROBLEM READING FIGURE FILE!!! ", kFigureFileName},
        {"PROBLEM WITH FIGURE FILE!!! ", kFigureFileName},
        {"PROBLEM READING AFFINE FILE!!! ", kAffineFileName},
        {"PROBLEM WITH AFFINE FILE!!! ", kAffineFileName},
    };
    for (const Complaint& c : kComplaints) {
        if (line.rfind(c.start, 0) == 0) {
            return c.file;
        }
    }
    return nullptr;
}

// One of the X server's two screens and the viewer that runs in it. While one viewer is
// recorded, the next folder's viewer starts up in the other screen.
struct Screen {
    int number = 0;
    Window root = 0;
    Damage damage = 0;
    bool damaged = false;
    Child viewer;
    std::string sceneDir;  // "" when no viewer runs here
    int outFd = -1;
    int errFd = -1;
    LineTail console;
    LineTail errors;
    int frames = 0;  // frames whose closing line has arrived
    Window window = 0;
    int width = 0;
    int height = 0;
};

// Everything of one recording; the destructor ends the viewers, then the server.
class Session {
public:
    Session(const SessionSettings& settings, const SessionOutput& output)
        : settings_(settings), output_(output) {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session() { close(); }

    void run() {
        startServer();
        connect();
        const std::vector<std::string>& dirs = settings_.sceneDirs;
        for (size_t i = 0; i < dirs.size() && i < kScreens; ++i) {
            startViewer(screens_[i], dirs[i]);
        }
        for (size_t i = 0; i < dirs.size(); ++i) {
            Screen& screen = screens_[i % kScreens];
            recordFolder(screen);
            stopViewer(screen);
            if (i + kScreens < dirs.size()) {
                startViewer(screen, dirs[i + kScreens]);
            }
        }
        close();
    }

private:
    static constexpr size_t kScreens = 2;  // one per viewer; g_viewerPids holds their ids

    // The first frame and each key's frame of the viewer running in screen.
    void recordFolder(Screen& screen) {
        output_.frame(firstFrame(screen));
        for (char key : settings_.keys) {
            output_.frame(keyFrame(screen, key));
        }
    }

    void startServer() {
        int displayPipe[2];
        makePipe(displayPipe);
        serverLog_ = std::tmpfile();
        const std::string size =
            std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + "x24";
        std::vector<std::string> argv = {settings_.xvfb, "-displayfd",
                                         std::to_string(displayPipe[1])};
        for (size_t i = 0; i < kScreens; ++i) {
            argv.insert(argv.end(), {"-screen", std::to_string(i), size});
        }
        argv.insert(argv.end(), {"-nolisten", "tcp", "-noreset", "-br"});
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
            if (g_signal != 0) {
                ::close(displayPipe[0]);
                checkSignal();
            }
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
            if (n > 0 && got.size() < 64) {
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
        LineTail tail;
        std::rewind(serverLog_);
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, serverLog_)) > 0) {
            tail.feed(buffer, n, [](const std::string&) {});
        }
        const std::string text = tail.tail();
        return text.empty() ? "" : "; it said:\n" + text;
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
        if (ScreenCount(dpy_) < static_cast<int>(kScreens)) {
            throw RecordError("the virtual X server started with fewer than " +
                              std::to_string(kScreens) + " screens");
        }
        for (size_t i = 0; i < kScreens; ++i) {
            // Damage on a root covers every window in it: the viewer's drawing is seen from
            // its first frame on, however soon it comes.
            Screen& screen = screens_[i];
            screen.number = static_cast<int>(i);
            screen.root = RootWindow(dpy_, screen.number);
            screen.damage = XDamageCreate(dpy_, screen.root, XDamageReportNonEmpty);
        }
        XSync(dpy_, False);
    }

    void startViewer(Screen& screen, const std::string& dir) {
        screen.sceneDir = dir;
        while (screen.sceneDir.size() > 1 && screen.sceneDir.back() == '/') {
            screen.sceneDir.pop_back();
        }
        screen.window = 0;
        screen.frames = 0;
        screen.console.clear();
        screen.errors.clear();
        clearDamage(screen);
        int out[2], err[2];
        makePipe(out);
        makePipe(err);
        screen.outFd = out[0];
        screen.errFd = err[0];
        try {
            screen.viewer.start(
                {settings_.viewer}, dir,
                environmentWith("DISPLAY=" + display_ + "." + std::to_string(screen.number)),
                out[1], err[1], -1, &g_viewerPids[screen.number]);
        } catch (...) {
            ::close(out[1]);
            ::close(err[1]);
            throw;
        }
        ::close(out[1]);
        ::close(err[1]);
    }

    // Ends the viewer of one folder and waits until its window is gone from the screen, so
    // that the next viewer's window there cannot show what it left.
    void stopViewer(Screen& screen) {
        screen.viewer.stop();
        closeFd(screen.outFd);
        closeFd(screen.errFd);
        const auto deadline = Clock::now() + std::chrono::milliseconds(kWindowGoneMs);
        while (screen.window != 0 && windowExists(screen.window) && msLeft(deadline) > 0) {
            checkSignal();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        screen.window = 0;
        screen.sceneDir.clear();
    }

    bool windowExists(Window window) {
        g_lastXError = 0;
        XWindowAttributes attributes;
        const Status ok = XGetWindowAttributes(dpy_, window, &attributes);
        return ok != 0 && g_lastXError == 0;
    }

    // One deadline for the whole first frame, whatever the window does meanwhile.
    RgbImage firstFrame(Screen& screen) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(settings_.timeoutMs);
        waitUntil(
            screen, [&screen] { return screen.frames >= 1; }, deadline, "the first frame");
        // The console line comes before the buffer swap: wait until the window shows more
        // than the empty (black) window.
        for (;;) {
            waitUntil(
                screen, [&screen] { return screen.damaged; }, deadline,
                "the first frame on screen");
            findWindow(screen);
            clearDamage(screen);
            RgbImage image = capture(screen);
            for (std::uint8_t v : image.rgb) {
                if (v != 0) {
                    return image;
                }
            }
            // A window that keeps repainting black is damaged again at once: the wait above
            // returns before it looks at the deadline.
            if (msLeft(deadline) == 0) {
                waitedInVain(screen, "the first frame on screen");
            }
        }
    }

    RgbImage keyFrame(Screen& screen, char key) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(settings_.timeoutMs);
        clearDamage(screen);
        const int before = screen.frames;
        sendKey(screen, key);
        const std::string what = std::string("the frame of key '") + key + "'";
        waitUntil(
            screen, [&screen, before] { return screen.frames > before && screen.damaged; },
            deadline, what);
        return capture(screen);
    }

    // Forgets the damage so far: the next damage event is new drawing.
    void clearDamage(Screen& screen) {
        XDamageSubtract(dpy_, screen.damage, None, None);
        XSync(dpy_, False);
        drainX();
        screen.damaged = false;
    }

    // The viewer's window: the topmost viewable one with the viewer's title (the previous
    // folder's is gone by now).
    void findWindow(Screen& screen) {
        if (screen.window != 0) {
            return;
        }
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(dpy_, screen.root, &root, &parent, &children, &count)) {
            for (unsigned int i = count; i-- > 0 && screen.window == 0;) {
                char* name = nullptr;
                if (XFetchName(dpy_, children[i], &name) && name != nullptr) {
                    XWindowAttributes attributes;
                    if (std::strncmp(name, kTitleStart, std::strlen(kTitleStart)) == 0 &&
                        XGetWindowAttributes(dpy_, children[i], &attributes) &&
                        attributes.map_state == IsViewable) {
                        screen.window = children[i];
                        screen.width = attributes.width;
                        screen.height = attributes.height;
                    }
                    XFree(name);
                }
            }
            XFree(children);
        }
        if (screen.window == 0) {
            throw RecordError(std::string("the viewer drew a frame but shows no window titled '") +
                              kTitleStart + "'" + viewerTail(screen));
        }
    }

    RgbImage capture(Screen& screen) {
        const int width = screen.width, height = screen.height;
        g_lastXError = 0;
        XImage* image = XGetImage(dpy_, screen.window, 0, 0, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height), AllPlanes, ZPixmap);
        if (image == nullptr) {
            throw RecordError("cannot read the viewer's window (X error " +
                              std::to_string(g_lastXError) + ")");
        }
        RgbImage out;
        out.width = width;
        out.height = height;
        out.rgb.resize(static_cast<size_t>(width) * height * 3);
        const bool plain = image->bits_per_pixel == 32 && image->byte_order == LSBFirst &&
                           image->red_mask == 0xff0000 && image->green_mask == 0xff00 &&
                           image->blue_mask == 0xff;
        std::uint8_t* dst = out.rgb.data();
        for (int y = 0; y < height; ++y) {
            const auto* row = reinterpret_cast<const std::uint8_t*>(image->data) +
                              static_cast<size_t>(y) * image->bytes_per_line;
            for (int x = 0; x < width; ++x, dst += 3) {
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
    void sendKey(Screen& screen, char c) {
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
        key.window = screen.window;
        key.root = screen.root;
        key.subwindow = None;
        key.time = CurrentTime;
        key.x = key.y = 1;
        key.x_root = key.y_root = 1;
        key.state = state;
        key.keycode = code;
        key.same_screen = True;
        for (int type : {KeyPress, KeyRelease}) {
            key.type = type;
            XSendEvent(dpy_, screen.window, True, type == KeyPress ? KeyPressMask : KeyReleaseMask,
                       &event);
        }
        XFlush(dpy_);
    }

    // Handles the X events received so far, and only those: a window that repaints faster than
    // its events are handled must not keep the caller from its deadline. Damage is noted for
    // its screen.
    void drainX() {
        for (int pending = XPending(dpy_); pending > 0; --pending) {
            XEvent event;
            XNextEvent(dpy_, &event);
            if (event.type != damageEvent_ + XDamageNotify) {
                continue;
            }
            const auto& damage = reinterpret_cast<const XDamageNotifyEvent&>(event);
            for (Screen& screen : screens_) {
                if (damage.damage == screen.damage) {
                    screen.damaged = true;
                }
            }
        }
    }

    // Reads what the viewer wrote on one of its streams, handing the console on as it comes;
    // false at its end.
    bool readStream(Screen& screen, int fd, bool console) {
        char buffer[65536];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            return true;
        }
        if (n <= 0) {
            return false;
        }
        const size_t size = static_cast<size_t>(n);
        if (!console) {
            screen.errors.feed(buffer, size, [](const std::string&) {});
            return true;
        }
        output_.console(buffer, size);
        screen.console.feed(
            buffer, size, [this, &screen](const std::string& line) { consoleLine(screen, line); });
        return true;
    }

    // Counts the frames whose closing line has arrived and repeats the scene reader's failures.
    void consoleLine(Screen& screen, const std::string& line) {
        if (line == kFrameEnd) {
            ++screen.frames;
            return;
        }
        if (const char* file = troubledSceneFile(line)) {
            std::cerr << "tessarecord: warning: " << shownName(screen.sceneDir + "/" + file)
                      << ": the viewer did not read it whole: " << shownName(line) << std::endl;
        }
    }

    // Waits until done() holds or the deadline passes, handling the viewer's output and X
    // events meanwhile. Only this screen's viewer is read: the other one waits its turn.
    void waitUntil(Screen& screen, const std::function<bool()>& done, Clock::time_point deadline,
                   const std::string& what) {
        for (;;) {
            drainX();
            checkSignal();
            if (done()) {
                return;
            }
            if (screen.outFd < 0) {
                viewerEnded(screen, what);
            }
            const int left = msLeft(deadline);
            if (left == 0) {
                waitedInVain(screen, what);
            }
            pollfd fds[4] = {{g_signalPipe[0], POLLIN, 0},
                             {ConnectionNumber(dpy_), POLLIN, 0},
                             {screen.outFd, POLLIN, 0},
                             {screen.errFd, POLLIN, 0}};
            if (::poll(fds, screen.errFd >= 0 ? 4 : 3, left) < 0 && errno != EINTR) {
                throw RecordError(std::string("poll failed: ") + std::strerror(errno));
            }
            if (fds[2].revents != 0 && !readStream(screen, screen.outFd, true)) {
                closeFd(screen.outFd);
            }
            if (screen.errFd >= 0 && fds[3].revents != 0 &&
                !readStream(screen, screen.errFd, false)) {
                closeFd(screen.errFd);
            }
        }
    }

    // Ends the recording: the deadline for what passed.
    [[noreturn]] void waitedInVain(Screen& screen, const std::string& what) {
        throw RecordError("waited " + std::to_string(settings_.timeoutMs / 1000) + " s for " +
                          what + " in " + shownName(screen.sceneDir) + " in vain" +
                          viewerTail(screen) + "\n(a large scene may need a longer --timeout)");
    }

    [[noreturn]] void viewerEnded(Screen& screen, const std::string& what) {
        // Collect what is left on its error stream and its exit status.
        while (screen.errFd >= 0) {
            pollfd fd = {screen.errFd, POLLIN, 0};
            if (::poll(&fd, 1, 1000) <= 0 || !readStream(screen, screen.errFd, false)) {
                closeFd(screen.errFd);
            }
        }
        std::string how;
        how = screen.viewer.waitExit(1000, how) ? " (" + how + ")" : "";
        throw RecordError("the viewer ended before " + what + " in " + shownName(screen.sceneDir) +
                          how + viewerTail(screen));
    }

    std::string viewerTail(const Screen& screen) {
        std::string text;
        const std::string console = screen.console.tail(), errors = screen.errors.tail();
        if (!console.empty()) {
            text += "; its last console lines:\n" + console;
        }
        if (!errors.empty()) {
            text += (text.empty() ? "; " : "\nand ") + std::string("its error output:\n") + errors;
        }
        if (text.empty()) {
            text = "; it wrote nothing";
        }
        return text;
    }

    void close() {
        for (Screen& screen : screens_) {
            screen.viewer.stop();
            closeFd(screen.outFd);
            closeFd(screen.errFd);
        }
        if (dpy_ != nullptr) {
            XCloseDisplay(dpy_);
            dpy_ = nullptr;
        }
        server_.stop();
        if (serverLog_ != nullptr) {
            std::fclose(serverLog_);
            serverLog_ = nullptr;
        }
    }

    SessionSettings settings_;
    SessionOutput output_;
    Child server_;
    Screen screens_[kScreens];
    std::FILE* serverLog_ = nullptr;
    std::string display_;
    Display* dpy_ = nullptr;
    int damageEvent_ = 0;
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
        struct sigaction before {};
        // nohup and background jobs ignore some of them: that choice stands.
        if (::sigaction(sig, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) {
            ::sigaction(sig, &action, nullptr);
        }
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &g_pipeAtStart);
}

int pendingStopSignal() {
    return g_signal;
}

void recordSession(const SessionSettings& settings, const SessionOutput& output) {
    Session session(settings, output);
    session.run();
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
