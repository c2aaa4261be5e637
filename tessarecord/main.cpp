// tessarecord: records the viewer's frames into an animated GIF or PNG files, headless, from
// the real viewer in a private virtual X server.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "scene/scene_format.h"
#include "tessarecord/image_files.h"
#include "tessarecord/processes.h"
#include "tessarecord/record_errors.h"
#include "tessarecord/recorder_options.h"
#include "tessarecord/session.h"
#include "tessaview_version.h"
#include "toolkit/output_file.h"
#include "toolkit/shown_name.h"
#include "toolkit/tool_exit.h"

namespace tessarecord {

namespace {

constexpr int kMaxFrames = 400;
constexpr int kMaxTimeoutS = 3600;
constexpr const char* kViewerName = "tessaview";
// Names this program's messages and temporary files for the safe output.
const toolkit::OutputWriter kWriter{"tessarecord", ".tessarecord-", "the recording"};

const char* const kDescription =
    "Starts the viewer in SCENE_DIR inside a private virtual X server (Xvfb), records its first\n"
    "frame, then presses keys one at a time and records the frame each key draws. Several\n"
    "folders are recorded in the order given into one animation, each adding its first frame and\n"
    "one frame per key. Works the same with or without a desktop and never touches the user's\n"
    "display.";

const char* const kFooter = R"(OUTPUT by its name:
  NAME.gif            an animated GIF of every frame, looping forever, DELAY between frames;
                      colours are exact (a frame of more than 256 colours is rounded)
  NAME.png            a PNG of the last frame
  NAME-%03d.png       one PNG per frame, numbered from 0 (the first frame) in printf style:
                      %d, %3d or %03d; %% is a percent sign
Existing files are kept unless --force is given, which replaces regular files only; every
file appears at once when the run succeeds, and a failed run changes nothing. A character
device or FIFO (--console /dev/stdout) is written into and never replaced.

The viewer is the tessaview beside tessarecord (or one folder up, in a build tree), else the
one on PATH, unless --viewer is given. Keys are the viewer's: > and < step the animation,
Q A W S E D R F tilt the projection, O L change the line width, X C V B switch grids, axes,
figure and drop lines.

Examples:
  tessarecord examples/tesseract --steps 12 -o tesseract.gif
  tessarecord examples/24-cell --keys 'oox' --steps 3 -o 'frames/f-%03d.png'
  tessarecord sweep/*/ -o sweep.gif

Exit status:
  0  the output was written
  1  the scene, the viewer, the X server or the output failed; nothing was written
  2  wrong command line; nothing was done)";

struct Options {
    std::vector<std::string> sceneDirs;
    std::string output;
    std::string steps = "0";
    std::string keys;
    std::string delayMs = "100";
    std::string timeoutS = "20";
    std::string viewer;
    std::string console;
    bool force = false;
};

// A wrong command line: the one error of the tools, with the usage status.
[[noreturn]] void usage(const std::string& message) {
    throw toolkit::ToolError(toolkit::kExitUsage, message);
}

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// The first executable called name in the folders of PATH, or "".
std::string findOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos) {
            end = folders.size();
        }
        const std::string folder = end > start ? folders.substr(start, end - start) : ".";
        if (isExecutableFile(folder + "/" + name)) {
            return folder + "/" + name;
        }
        start = end + 1;
    }
    return "";
}

// The absolute form of an existing path: the viewer runs in the scene folder.
std::string absolute(const std::string& path) {
    char* full = ::realpath(path.c_str(), nullptr);
    if (full == nullptr) {
        return path;
    }
    std::string out = full;
    std::free(full);
    return out;
}

// The viewer: --viewer, else beside this program (or one folder up), else on PATH.
bool findViewer(const std::string& given, std::string& viewer, std::string& error) {
    if (!given.empty()) {
        if (!isExecutableFile(given)) {
            error = "the viewer '" + toolkit::shownName(given) + "' is not an executable file";
            return false;
        }
        viewer = absolute(given);
        return true;
    }
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        const std::string here(self, static_cast<size_t>(n));
        const std::string folder = here.substr(0, here.rfind('/'));
        for (const std::string& candidate :
             {folder + "/" + kViewerName, folder + "/../" + kViewerName}) {
            if (isExecutableFile(candidate)) {
                viewer = absolute(candidate);
                return true;
            }
        }
    }
    viewer = absolute(findOnPath(kViewerName));
    if (viewer.empty()) {
        error = std::string("cannot find the viewer: no ") + kViewerName +
                " beside tessarecord nor on PATH; name it with --viewer PATH";
        return false;
    }
    return true;
}

// The scene folder must exist, be readable and hold both scene files, readable regular files.
bool checkSceneDir(const std::string& dir, std::string& error) {
    const std::string shown = "'" + toolkit::shownName(dir) + "'";
    struct stat info {};
    if (::stat(dir.c_str(), &info) != 0) {
        error = errno == ENOENT
                    ? "the scene folder " + shown + " does not exist"
                    : "cannot reach the scene folder " + shown + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        error = shown + " is not a folder; give the folder that holds the scene files";
        return false;
    }
    const int folder = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        error = "cannot read the scene folder " + shown + ": " + std::strerror(errno);
        return false;
    }
    ::close(folder);
    std::string base = dir;
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    for (const char* name : {kFigureFileName, kAffineFileName}) {
        const std::string path = base + "/" + name;
        const std::string file = "'" + toolkit::shownName(path) + "'";
        if (::stat(path.c_str(), &info) != 0) {
            error = errno == ENOENT ? "the scene folder " + shown + " has no " + name +
                                          "; make the scene files with tessascene or choose "
                                          "another folder"
                                    : "cannot read " + file + ": " + std::strerror(errno);
            return false;
        }
        if (S_ISFIFO(info.st_mode)) {
            error = file + " is a FIFO, not a scene file";
            return false;
        }
        if (!S_ISREG(info.st_mode)) {
            error = file + " is not a regular file";
            return false;
        }
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            error = "cannot read " + file + ": " + std::strerror(errno);
            return false;
        }
        ::close(fd);
    }
    return true;
}

// The distinct folders of the given files.
std::vector<std::string> foldersOf(const std::vector<std::string>& files) {
    std::vector<std::string> folders;
    for (const std::string& file : files) {
        const size_t slash = file.rfind('/');
        const std::string folder =
            slash == std::string::npos ? "." : (slash == 0 ? "/" : file.substr(0, slash));
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
            folders.push_back(folder);
        }
    }
    return folders;
}

// Records as the command line argv asks and returns the exit status; every error throws the
// tools' one error, toolkit::ToolError.
int record(int argc, char** argv) {
    Options options;
    CLI::App app{kDescription, "tessarecord"};
    app.add_option("SCENE_DIR", options.sceneDirs,
                   "folder(s) holding the two scene files, recorded in this order")
        ->required();
    app.add_option("-o,--output", options.output, "the file(s) to write, see below")
        ->required()
        ->type_name("OUTPUT");
    app.add_option("--steps", options.steps, "press > N times, after --keys (default 0)")
        ->type_name("N");
    app.add_option("--keys", options.keys, "press these characters in order, one frame each")
        ->type_name("KEYS");
    app.add_option("--delay", options.delayMs,
                   "milliseconds between GIF frames, rounded to 10 (default 100)")
        ->type_name("MS");
    app.add_option("--timeout", options.timeoutS,
                   "seconds to wait for a folder's first frame and for each key's frame "
                   "(default 20)")
        ->type_name("S");
    app.add_option("--viewer", options.viewer, "the viewer program to run")->type_name("PATH");
    app.add_option("--console", options.console, "also save the viewer's console transcript")
        ->type_name("FILE");
    app.add_flag("-f,--force", options.force, "replace existing output files (regular files only)");
    app.set_version_flag("--version", std::string("tessarecord ") + TESSAVIEW_VERSION);
    app.footer(kFooter);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        usage(e.what());
    }

    std::string error;
    OutputName outputName;
    std::string keys;
    int steps = 0, delayMs = 0, timeoutS = 0;
    if (!parseWholeNumber("--steps", options.steps, 0, kMaxFrames - 1, steps, error) ||
        !parseWholeNumber("--delay", options.delayMs, 10, 655350, delayMs, error) ||
        !parseWholeNumber("--timeout", options.timeoutS, 1, kMaxTimeoutS, timeoutS, error) ||
        !parseOutputName(options.output, outputName, error) ||
        !keySequence(options.keys, steps, keys, error)) {
        usage(error);
    }
    const size_t framesPerFolder = keys.size() + 1;
    if (framesPerFolder * options.sceneDirs.size() > static_cast<size_t>(kMaxFrames)) {
        usage("at most " + std::to_string(kMaxFrames) +
              " frames: --keys and --steps press too many keys for " +
              std::to_string(options.sceneDirs.size()) + " folder(s)");
    }
    const int frameCount = static_cast<int>(framesPerFolder * options.sceneDirs.size());

    // Every file the run writes, the console last.
    std::vector<std::string> targets;
    if (outputName.kind == OutputKind::kPngSequence) {
        for (int i = 0; i < frameCount; ++i) {
            targets.push_back(frameFileName(outputName, i));
        }
    } else {
        targets.push_back(frameFileName(outputName, 0));
    }
    const bool withConsole = !options.console.empty();
    if (withConsole) {
        for (const std::string& target : targets) {
            if (toolkit::samePath(target, options.console)) {
                usage("the output and --console both name '" + toolkit::shownName(options.console) +
                      "'; give the transcript a name of its own");
            }
        }
        targets.push_back(options.console);
    }

    SessionSettings settings;
    settings.sceneDirs = options.sceneDirs;
    settings.keys = keys;
    settings.timeoutMs = timeoutS * 1000;
    for (const std::string& dir : options.sceneDirs) {
        if (!checkSceneDir(dir, error)) {
            throw failure(error);
        }
    }
    if (!findViewer(options.viewer, settings.viewer, error)) {
        throw failure(error);
    }
    settings.xvfb = findOnPath("Xvfb");
    if (settings.xvfb.empty()) {
        throw failure(
            "Xvfb, the virtual X server, is not installed: install the package xvfb (apt-get "
            "install xvfb)");
    }
    // Folders, links, other files in the way and existing files without --force: refused
    // before any work.
    for (const std::string& target : targets) {
        error = toolkit::targetProblem(target, options.force, kWriter);
        if (!error.empty()) {
            throw failure(error);
        }
    }

    // From here on a stop signal removes what was begun.
    installStopSignals();
    std::vector<std::string> fileTargets;
    for (const std::string& target : targets) {
        if (toolkit::targetKind(target) != toolkit::TargetKind::kStream) {
            fileTargets.push_back(target);
        }
    }
    for (const std::string& folder : foldersOf(fileTargets)) {
        toolkit::removeLeftovers(folder, kWriter);
    }
    // A failure or a stop from here on removes the files begun as they go.
    std::vector<std::unique_ptr<toolkit::OutputFile>> files;
    for (const std::string& target : targets) {
        files.push_back(std::make_unique<toolkit::OutputFile>(kWriter));
        if (!files.back()->open(target, options.force, error)) {
            throw failure(error);
        }
    }
    toolkit::OutputFile* consoleFile = withConsole ? files.back().get() : nullptr;

    // Frames go where they are needed as they come: a GIF's compressed into memory, a
    // sequence's encoded into their files, only the last one for a single PNG.
    FrameStore gifFrames;
    RgbImage lastFrame;
    int framesDone = 0;
    SessionOutput output;
    output.frame = [&](RgbImage&& frame) {
        std::string problem;
        if (outputName.kind == OutputKind::kGif && !gifFrames.add(frame, problem)) {
            throw failure(problem);
        }
        if (outputName.kind == OutputKind::kPngSequence) {
            std::vector<std::uint8_t> bytes;
            if (!encodePng(frame, bytes, problem) ||
                !files[static_cast<size_t>(framesDone)]->write(bytes, problem)) {
                throw failure(problem);
            }
        }
        lastFrame = std::move(frame);
        ++framesDone;
    };
    output.console = [&](const char* data, size_t size) {
        std::string problem;
        if (consoleFile != nullptr && !consoleFile->write(data, size, problem)) {
            throw failure(problem);
        }
    };
    recordSession(settings, output);

    const auto stopping = [] { return pendingStopSignal() != 0; };
    if (outputName.kind == OutputKind::kGif) {
        GifReport report;
        const FrameSource source = [&gifFrames](size_t index, RgbImage& frame) {
            return gifFrames.get(index, frame);
        };
        const ByteSink sink = [&files, &error](const std::uint8_t* data, size_t size) {
            return files[0]->write(data, size, error);
        };
        std::string problem;
        if (!encodeGif(gifFrames.size(), source, (delayMs + 5) / 10, sink, stopping, report,
                       problem)) {
            if (stopping()) {
                throw stopped(pendingStopSignal(), " while encoding the GIF");
            }
            throw failure(error.empty() ? problem : error);
        }
        if (report.roundedFrames > 0) {
            std::cerr << "tessarecord: " << report.roundedFrames
                      << " frame(s) had more than 256 colours and were rounded\n";
        }
    } else if (outputName.kind == OutputKind::kLastPng) {
        std::vector<std::uint8_t> bytes;
        if (!encodePng(lastFrame, bytes, error) || !files[0]->write(bytes, error)) {
            throw failure(error);
        }
    }
    throwIfStopped();
    std::vector<toolkit::OutputFile*> all;
    for (const auto& file : files) {
        all.push_back(file.get());
    }
    if (!toolkit::commitAll(all, error)) {
        throw failure(error + "; no file was changed");
    }
    std::cout << "Wrote " << toolkit::shownName(targets.front());
    if (outputName.kind == OutputKind::kPngSequence && frameCount > 1) {
        std::cout << " to " << toolkit::shownName(targets[static_cast<size_t>(frameCount) - 1]);
    }
    std::cout << ": " << (outputName.kind == OutputKind::kLastPng ? 1 : frameCount)
              << (outputName.kind == OutputKind::kLastPng || frameCount == 1 ? " frame" : " frames")
              << " of " << lastFrame.width << "x" << lastFrame.height;
    if (options.sceneDirs.size() > 1) {
        std::cout << " from " << options.sceneDirs.size() << " scene folders";
    }
    std::cout << "\n";
    return toolkit::kExitOk;
}

}  // namespace

}  // namespace tessarecord

int main(int argc, char** argv) {
    return toolkit::runTool("tessarecord",
                            [argc, argv] { return tessarecord::record(argc, argv); });
}
