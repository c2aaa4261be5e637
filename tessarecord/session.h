// A recording session: a private X server, the viewer in it, and the frames it draws.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "tessarecord/image_files.h"

// A failure with a message ready for the user.
struct RecordError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A signal asked the recorder to stop; signal is its number.
struct Interrupted {
    int signal = 0;
};

// What a session runs.
struct SessionSettings {
    std::string viewer;    // the viewer program
    std::string sceneDir;  // its working folder, holding the scene files
    std::string xvfb;      // the virtual X server program
    std::string keys;      // pressed one at a time after the first frame
};

// What a session recorded: the first frame and one frame per key, and the viewer's console.
struct SessionResult {
    std::vector<RgbImage> frames;
    std::string console;
};

// Makes SIGINT, SIGTERM and SIGHUP end a running session cleanly (it throws Interrupted).
void installStopSignals();

// Runs the viewer in a private X server, captures its first frame and the frame each key
// draws, then ends the viewer and the server. Throws RecordError or Interrupted; both processes
// are ended on every path.
SessionResult recordSession(const SessionSettings& settings);

// The last `count` lines of text, each indented by two spaces.
std::string lastLines(const std::string& text, int count);

// The stop signal that arrived, or 0.
int pendingStopSignal();
