// The recording: the private X server, the viewer in it once per scene folder, its console
// and the frames it shows.
#include "tessarecord/session.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
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
#include "tessarecord/processes.h"
#include "tessarecord/x_display.h"
#include "tessaview_version.h"
#include "toolkit/shown_name.h"

extern char** environ;

namespace tessarecord {

namespace {

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;
constexpr const char* kFrameEnd = "==============================";
constexpr const char* kTitleStart = TESSAVIEW_TITLE_START;
constexpr int kServerStartMs = 10000;  // Xvfb reports its display
constexpr int kWindowGoneMs = 2000;    // the X server takes an ended viewer's window away
constexpr int kStartQuietMs = 300;     // no drawing this long: the start-up picture is final
constexpr int kStartRedraws = 3;       // start-up drawings waited out at most
constexpr int kTailLines = 8;
constexpr size_t kMaxLineKept = 512;  // bytes of one console line kept for messages

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// The last `count` lines of text, each indented by two spaces.
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
            out += toolkit::shownName(line);
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
        throw failure(std::string("cannot make a pipe: ") + std::strerror(errno));
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
    ChildProcess viewer;
    std::string sceneDir;  // "" when no viewer runs here
    int outFd = -1;
    int errFd = -1;
    LineTail console;
    LineTail errors;
    int frames = 0;  // frames whose closing line has arrived
};

// Everything of one recording; the destructor ends the viewers, then the server.
class Session {
public:
    Session(const SessionSettings& settings, const SessionOutput& output)
        : settings_(settings), output_(output) {
        for (size_t i = 0; i < kScreens; ++i) {
            screens_[i].number = static_cast<int>(i);
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session() { close(); }

    void run() {
        startServer();
        display_.open(displayName_, static_cast<int>(kScreens));
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
    static constexpr size_t kScreens = 2;  // one per viewer

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
            ChildStart how;
            how.argv = argv;
            how.env = environmentWith("");
            how.errFd = serverLog_ ? fileno(serverLog_) : -1;
            how.keepFd = displayPipe[1];
            server_.start(how);
        } catch (...) {
            ::close(displayPipe[0]);
            ::close(displayPipe[1]);
            throw;
        }
        ::close(displayPipe[1]);
        std::string got;
        const auto deadline = Clock::now() + std::chrono::milliseconds(kServerStartMs);
        while (got.find('\n') == std::string::npos) {
            pollfd fds[2] = {{displayPipe[0], POLLIN, 0}, {stopSignalFd(), POLLIN, 0}};
            const int ready = ::poll(fds, 2, msLeft(deadline));
            if (pendingStopSignal() != 0) {
                ::close(displayPipe[0]);
                throwIfStopped();
            }
            if (ready == 0) {
                ::close(displayPipe[0]);
                throw failure("the virtual X server (Xvfb) did not start within " +
                              std::to_string(kServerStartMs / 1000) + " s" + serverTail());
            }
            if (fds[0].revents == 0) {
                continue;
            }
            char buffer[64];
            const ssize_t n = ::read(displayPipe[0], buffer, sizeof buffer);
            if (n <= 0 && !(n < 0 && errno == EINTR)) {
                ::close(displayPipe[0]);
                throw failure("the virtual X server (Xvfb) ended at start" + serverTail());
            }
            if (n > 0 && got.size() < 64) {
                got.append(buffer, static_cast<size_t>(n));
            }
        }
        ::close(displayPipe[0]);
        displayName_ = ":" + got.substr(0, got.find('\n'));
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

    void startViewer(Screen& screen, const std::string& dir) {
        screen.sceneDir = dir;
        while (screen.sceneDir.size() > 1 && screen.sceneDir.back() == '/') {
            screen.sceneDir.pop_back();
        }
        display_.forgetWindow(screen.number);
        screen.frames = 0;
        screen.console.clear();
        screen.errors.clear();
        display_.clearDamage(screen.number);
        int out[2], err[2];
        makePipe(out);
        makePipe(err);
        screen.outFd = out[0];
        screen.errFd = err[0];
        try {
            ChildStart how;
            how.argv = {settings_.viewer};
            how.cwd = dir;
            how.env =
                environmentWith("DISPLAY=" + displayName_ + "." + std::to_string(screen.number));
            how.outFd = out[1];
            how.errFd = err[1];
            screen.viewer.start(how);
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
        while (display_.windowExists(screen.number) && msLeft(deadline) > 0) {
            throwIfStopped();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        display_.forgetWindow(screen.number);
        screen.sceneDir.clear();
    }

    // One deadline for the whole first frame, whatever the window does meanwhile. The viewer
    // draws its start-up picture twice now and then (when the window system's events reach it
    // in two batches); a key sent before the second drawing would have that drawing recorded as
    // the key's frame. So when keys follow, the first frame is the start-up picture once the
    // viewer has drawn nothing for kStartQuietMs.
    RgbImage firstFrame(Screen& screen) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(settings_.timeoutMs);
        waitUntil(
            screen, [&screen] { return screen.frames >= 1; }, deadline, "the first frame");
        RgbImage image = startPicture(screen, deadline);
        const auto quietEnd = [deadline] {
            return std::min(deadline, Clock::now() + std::chrono::milliseconds(kStartQuietMs));
        };
        for (int redraw = 0; !settings_.keys.empty() && redraw < kStartRedraws; ++redraw) {
            const int frames = screen.frames;
            const bool drawn = waitFor(
                screen, [&screen, frames] { return screen.frames != frames || screen.outFd < 0; },
                quietEnd(), "the first frame");
            if (!drawn || screen.outFd < 0) {
                break;
            }
            // Its picture comes after its console line, unless the last capture has it.
            if (waitFor(
                    screen, [this, &screen] { return display_.damaged(screen.number); }, quietEnd(),
                    "the first frame")) {
                display_.clearDamage(screen.number);
                image = display_.capture(screen.number);
            }
        }
        return image;
    }

    // The first picture on screen once the console has claimed a frame.
    RgbImage startPicture(Screen& screen, Clock::time_point deadline) {
        // The console line comes before the buffer swap: wait until the window shows more
        // than the empty (black) window.
        for (;;) {
            waitUntil(
                screen, [this, &screen] { return display_.damaged(screen.number); }, deadline,
                "the first frame on screen");
            findWindow(screen);
            display_.clearDamage(screen.number);
            RgbImage image = display_.capture(screen.number);
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
        display_.clearDamage(screen.number);
        const int before = screen.frames;
        display_.sendKey(screen.number, key);
        const std::string what = std::string("the frame of key '") + key + "'";
        waitUntil(
            screen,
            [this, &screen, before] {
                return screen.frames > before && display_.damaged(screen.number);
            },
            deadline, what);
        return display_.capture(screen.number);
    }

    // The viewer's window: the topmost viewable one with the viewer's title (the previous
    // folder's is gone by now).
    void findWindow(Screen& screen) {
        if (!display_.findWindow(screen.number, kTitleStart)) {
            throw failure(std::string("the viewer drew a frame but shows no window titled '") +
                          kTitleStart + "'" + viewerTail(screen));
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
            std::cerr << "tessarecord: warning: "
                      << toolkit::shownName(screen.sceneDir + "/" + file)
                      << ": the viewer did not read it whole: " << toolkit::shownName(line)
                      << std::endl;
        }
    }

    // Waits until done() holds or the deadline passes, handling the viewer's output and X
    // events meanwhile. Only this screen's viewer is read: the other one waits its turn.
    void waitUntil(Screen& screen, const std::function<bool()>& done, Clock::time_point deadline,
                   const std::string& what) {
        if (!waitFor(screen, done, deadline, what)) {
            waitedInVain(screen, what);
        }
    }

    // The same, but false when until passes first.
    bool waitFor(Screen& screen, const std::function<bool()>& done, Clock::time_point until,
                 const std::string& what) {
        for (;;) {
            display_.handleEvents();
            throwIfStopped();
            if (done()) {
                return true;
            }
            if (screen.outFd < 0) {
                viewerEnded(screen, what);
            }
            const int left = msLeft(until);
            if (left == 0) {
                return false;
            }
            pollfd fds[4] = {{stopSignalFd(), POLLIN, 0},
                             {display_.fd(), POLLIN, 0},
                             {screen.outFd, POLLIN, 0},
                             {screen.errFd, POLLIN, 0}};
            if (::poll(fds, screen.errFd >= 0 ? 4 : 3, left) < 0 && errno != EINTR) {
                throw failure(std::string("poll failed: ") + std::strerror(errno));
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
        throw failure("waited " + std::to_string(settings_.timeoutMs / 1000) + " s for " + what +
                      " in " + toolkit::shownName(screen.sceneDir) + " in vain" +
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
        throw failure("the viewer ended before " + what + " in " +
                      toolkit::shownName(screen.sceneDir) + how + viewerTail(screen));
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
        display_.close();
        server_.stop();
        if (serverLog_ != nullptr) {
            std::fclose(serverLog_);
            serverLog_ = nullptr;
        }
    }

    SessionSettings settings_;
    SessionOutput output_;
    ChildProcess server_;
    Screen screens_[kScreens];
    std::FILE* serverLog_ = nullptr;
    std::string displayName_;  // such as ":5"
    XDisplay display_;
};

}  // namespace

void recordSession(const SessionSettings& settings, const SessionOutput& output) {
    Session session(settings, output);
    session.run();
}

}  // namespace tessarecord
