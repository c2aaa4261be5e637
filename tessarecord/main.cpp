// tessarecord: records the viewer's frames into an animated GIF or PNG files, headless, from
// the real viewer in a private virtual X server.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "scene/scene_format.h"
#include "tessarecord/image_files.h"
#include "tessarecord/recorder_options.h"
#include "tessarecord/session.h"
#include "tessaview_version.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kMaxFrames = 400;
constexpr const char* kViewerName = "tessaview";

const char* const kDescription =
    "Starts the viewer in SCENE_DIR inside a private virtual X server (Xvfb), records its first\n"
    "frame, then presses keys one at a time and records the frame each key draws. Works the same\n"
    "with or without a desktop and never touches the user's display.";

const char* const kFooter = R"(OUTPUT by its name:
  NAME.gif            an animated GIF of every frame, looping forever, DELAY between frames;
                      colours are exact (a frame of more than 256 colours is rounded)
  NAME.png            a PNG of the last frame
  NAME-%03d.png       one PNG per frame, numbered from 0 (the first frame) in printf style:
                      %d, %3d or %03d; %% is a percent sign
Existing files are kept unless --force is given; nothing is written when a run fails.

The viewer is the tessaview beside tessarecord (or one folder up, in a build tree), else the
one on PATH, unless --viewer is given. Keys are the viewer's: > and < step the animation,
Q A W S E D R F tilt the projection, O L change the line width, X C V B switch grids, axes,
figure and drop lines.

Examples:
  tessarecord examples/tesseract --steps 12 -o tesseract.gif
  tessarecord examples/24-cell --keys 'oox' --steps 3 -o 'frames/f-%03d.png'

Exit status:
  0  the output was written
  1  the scene, the viewer, the X server or the output failed; nothing was written
  2  wrong command line)";

struct Options {
    std::string sceneDir;
    std::string output;
    int steps = 0;
    std::string keys;
    int delayMs = 100;
    std::string viewer;
    std::string console;
    bool force = false;
};

int fail(int status, const std::string& message) {
    std::cerr << "tessarecord: " << message << "\n";
    if (status == kExitUsage) {
        std::cerr << "Try 'tessarecord --help'.\n";
    }
    return status;
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
            error = "the viewer '" + given + "' is not an executable file";
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

// The scene folder must exist and hold both scene files.
bool checkSceneDir(const std::string& dir, std::string& error) {
    struct stat info {};
    if (::stat(dir.c_str(), &info) != 0) {
        error = "the scene folder '" + dir + "' does not exist";
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        error = "'" + dir + "' is not a folder; give the folder that holds the scene files";
        return false;
    }
    for (const char* name : {kFigureFileName, kAffineFileName}) {
        const std::string path = dir + "/" + name;
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            error = "the scene folder '" + dir + "' has no " + name +
                    "; make the scene files with tessascene or choose another folder";
            return false;
        }
    }
    return true;
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    CLI::App app{kDescription, "tessarecord"};
    app.add_option("SCENE_DIR", options.sceneDir, "folder holding the two scene files")->required();
    app.add_option("-o,--output", options.output, "the file(s) to write, see below")
        ->required()
        ->type_name("OUTPUT");
    app.add_option("--steps", options.steps, "press > N times, after --keys (default 0)")
        ->type_name("N")
        ->check(CLI::Range(0, kMaxFrames - 1));
    app.add_option("--keys", options.keys, "press these characters in order, one frame each")
        ->type_name("KEYS");
    app.add_option("--delay", options.delayMs,
                   "milliseconds between GIF frames, rounded to 10 (default 100)")
        ->type_name("MS")
        ->check(CLI::Range(10, 655350));
    app.add_option("--viewer", options.viewer, "the viewer program to run")->type_name("PATH");
    app.add_option("--console", options.console, "also save the viewer's console transcript")
        ->type_name("FILE");
    app.add_flag("-f,--force", options.force, "replace existing output files");
    app.set_version_flag("--version", std::string("tessarecord ") + TESSAVIEW_VERSION);
    app.footer(kFooter);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return fail(kExitUsage, e.what());
    }

    std::string error;
    OutputName outputName;
    std::string keys;
    if (!parseOutputName(options.output, outputName, error) ||
        !keySequence(options.keys, options.steps, keys, error)) {
        return fail(kExitUsage, error);
    }
    if (static_cast<int>(keys.size()) + 1 > kMaxFrames) {
        return fail(kExitUsage, "at most " + std::to_string(kMaxFrames) +
                                    " frames: --keys and --steps press too many keys");
    }
    const int frameCount = static_cast<int>(keys.size()) + 1;

    SessionSettings settings;
    settings.sceneDir = options.sceneDir;
    settings.keys = keys;
    if (!checkSceneDir(options.sceneDir, error) ||
        !findViewer(options.viewer, settings.viewer, error)) {
        return fail(kExitFailure, error);
    }
    settings.xvfb = findOnPath("Xvfb");
    if (settings.xvfb.empty()) {
        return fail(kExitFailure,
                    "Xvfb, the virtual X server, is not installed: install the package xvfb "
                    "(apt-get install xvfb)");
    }

    // Every file is claimed under a temporary name before the recording starts.
    std::vector<std::string> targets;
    if (outputName.kind == OutputKind::kPngSequence) {
        for (int i = 0; i < frameCount; ++i) {
            targets.push_back(frameFileName(outputName, i));
        }
    } else {
        targets.push_back(options.output);
    }
    if (!options.console.empty()) {
        targets.push_back(options.console);
    }
    std::vector<std::unique_ptr<PendingFile>> files;
    for (const std::string& target : targets) {
        if (!options.force && exists(target)) {
            return fail(kExitFailure, target + " already exists; add --force to replace it");
        }
        files.push_back(std::make_unique<PendingFile>());
        if (!files.back()->create(target, error)) {
            return fail(kExitFailure, error);
        }
    }

    SessionResult recorded;
    try {
        installStopSignals();
        recorded = recordSession(settings);
    } catch (const RecordError& e) {
        return fail(kExitFailure, e.what());
    } catch (const Interrupted& stop) {
        files.clear();
        std::cerr << "tessarecord: stopped by signal " << stop.signal << "; nothing written\n";
        ::signal(stop.signal, SIG_DFL);
        ::raise(stop.signal);
        return kExitFailure;
    }

    std::vector<std::uint8_t> bytes;
    const RgbImage& last = recorded.frames.back();
    if (outputName.kind == OutputKind::kGif) {
        GifReport report;
        if (!encodeGif(recorded.frames, (options.delayMs + 5) / 10, bytes, report, error) ||
            !files[0]->write(bytes, error)) {
            return fail(kExitFailure, error);
        }
        if (report.roundedFrames > 0) {
            std::cerr << "tessarecord: " << report.roundedFrames
                      << " frame(s) had more than 256 colours and were rounded\n";
        }
    } else {
        const size_t first = outputName.kind == OutputKind::kPngSequence ? 0 : frameCount - 1;
        for (size_t i = first; i < recorded.frames.size(); ++i) {
            if (!encodePng(recorded.frames[i], bytes, error) ||
                !files[i - first]->write(bytes, error)) {
                return fail(kExitFailure, error);
            }
        }
    }
    if (!options.console.empty()) {
        const std::vector<std::uint8_t> text(recorded.console.begin(), recorded.console.end());
        if (!files.back()->write(text, error)) {
            return fail(kExitFailure, error);
        }
    }
    if (pendingStopSignal() != 0) {
        const int sig = pendingStopSignal();
        files.clear();
        ::signal(sig, SIG_DFL);
        ::raise(sig);
        return kExitFailure;
    }
    for (size_t i = 0; i < files.size(); ++i) {
        if (!files[i]->commit(options.force, error)) {
            for (size_t j = 0; j < i; ++j) {
                files[j]->uncommit();
            }
            return fail(kExitFailure, error);
        }
    }
    std::cout << "Wrote " << targets.front();
    if (outputName.kind == OutputKind::kPngSequence && frameCount > 1) {
        std::cout << " to " << targets[static_cast<size_t>(frameCount) - 1];
    }
    std::cout << ": " << (outputName.kind == OutputKind::kLastPng ? 1 : frameCount)
              << (outputName.kind == OutputKind::kLastPng || frameCount == 1 ? " frame" : " frames")
              << " of " << last.width << "x" << last.height << "\n";
    return kExitOk;
}
