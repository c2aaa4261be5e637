// A recording session: a private X server, the viewer in it once per scene folder, and the
// frames it draws.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "tessarecord/image_files.h"
#include "tessarecord/record_errors.h"

namespace tessarecord {

// What a session runs.
struct SessionSettings {
    std::string viewer;                  // the viewer program
    std::vector<std::string> sceneDirs;  // recorded in this order, the viewer started in each
    std::string xvfb;                    // the virtual X server program
    std::string keys;                    // pressed one at a time after each folder's first frame
    int timeoutMs = 20000;               // for a folder's first frame, and for each key's frame
};

// Where a session's results go as they come. Either may throw a failure.
struct SessionOutput {
    std::function<void(RgbImage&& frame)> frame;                      // every frame, in order
    std::function<void(const char* data, std::size_t size)> console;  // the viewer's console
};

// Runs the viewer in a private X server in each scene folder in turn, hands over its first
// frame and the frame each key draws, and streams its console. Failure lines of the viewer's
// scene reader are repeated on standard error as warnings naming the file. Throws a failure,
// or the stop once a stop signal (see installStopSignals) arrives; the viewer (its whole
// process group) and the server are ended on every path.
void recordSession(const SessionSettings& settings, const SessionOutput& output);

}  // namespace tessarecord
