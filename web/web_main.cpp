// The page's entry points: the viewer's state, its input handling and its readout, driven by the
// page's script. Everything written to standard output is kept here until the script takes it,
// so a frame's readout reaches the page in one piece, byte for byte as the desktop prints it.
#include <emscripten/emscripten.h>

#include <iostream>
#include <sstream>
#include <string>

#include "pipeline/composition.h"
#include "scene/scene_format.h"
#include "scene/scene_loader.h"
#include "tessaview_version.h"
#include "viewer/input.h"
#include "viewer/readout.h"
#include "viewer/viewer_state.h"
#include "web/frame_mesh.h"

namespace {
ViewerState state;
FrameMesh mesh;

// Standard output collected as it is written; flushes cost nothing.
class ConsoleBuffer : public std::streambuf {
public:
    std::string text;

protected:
    int overflow(int c) override {
        if (c != traits_type::eof()) {
            text.push_back(static_cast<char>(c));
        }
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        text.append(s, static_cast<std::size_t>(n));
        return n;
    }
};
ConsoleBuffer console;

// The readout of one frame, in the order the desktop's frame pass writes it.
void writeFrame() {
    writeFrameStart();
    if (state.camera.axesShown == 1) {
        writeStatusLines(state, qMarkerImage(state.projectionVector, kMarkerLength));
    }
    if (state.showFigure == 1) {
        composeAffineCollection(state.loadedAffines, state.globalStep)
            .composite.print("Matrix of Affine");
    }
    writeFrameEnd();
}

// A file's text, or null for a file that is missing (length < 0).
std::istream* open(std::istringstream& stream, const char* text, int length) {
    if (length < 0) {
        return nullptr;
    }
    stream.str(std::string(text, static_cast<std::size_t>(length)));
    return &stream;
}
}  // namespace

extern "C" {

// Starts the viewer afresh on the two scene files' texts (length < 0: the file is missing), as
// the program starts in a folder: start state, the loader's echo, the first frame.
EMSCRIPTEN_KEEPALIVE void tv_start(const char* figure, int figureLength, const char* affine,
                                   int affineLength) {
    std::cout.rdbuf(&console);
    state = ViewerState{};
    OrbitCamera::azimuth = 0.0f;
    OrbitCamera::elevation = 0.0f;
    state.globalStep = 0.0f;
    state.camera.setDefaults();
    std::istringstream figureStream, affineStream;
    readSceneStreams(open(figureStream, figure, figureLength), kFigureFileName,
                     open(affineStream, affine, affineLength), kAffineFileName, state.loadedFigure,
                     state.loadedAffines, state.projectionVector);
    writeFrame();
}

// A key as the desktop's keyboard callback receives it (its character code); writes a frame.
EMSCRIPTEN_KEEPALIVE void tv_key(int key) {
    if (handleKey(state, static_cast<unsigned char>(key))) {
        writeFrame();
    }
}

// A button (0 left, 1 middle, 2 right, 3 and 4 the wheel) pressed or released at canvas pixel
// (x, y).
EMSCRIPTEN_KEEPALIVE void tv_mouse(int button, int x, int y) {
    handleMouseButton(state, button, x, y);
}

// The pointer moved to canvas pixel (x, y) with a button held; writes a frame.
EMSCRIPTEN_KEEPALIVE void tv_motion(int x, int y) {
    if (handleMouseMotion(state, x, y)) {
        writeFrame();
    }
}

// Builds the current picture; returns its vertices (tv_mesh_count of them, 12 floats each).
EMSCRIPTEN_KEEPALIVE const MeshVertex* tv_mesh() {
    buildFrameMesh(state, mesh);
    return mesh.vertices.data();
}
EMSCRIPTEN_KEEPALIVE int tv_mesh_count() {
    return static_cast<int>(mesh.vertices.size());
}
// The last tv_mesh's indices into its vertices: tv_mesh_index_count of them, 32-bit.
EMSCRIPTEN_KEEPALIVE const std::uint32_t* tv_mesh_indices() {
    return mesh.indices.data();
}
EMSCRIPTEN_KEEPALIVE int tv_mesh_index_count() {
    return static_cast<int>(mesh.indices.size());
}
// The last tv_mesh's batches, three 32-bit numbers each (mode, first index, index count).
EMSCRIPTEN_KEEPALIVE const MeshBatch* tv_mesh_batches() {
    return mesh.batches.data();
}
EMSCRIPTEN_KEEPALIVE int tv_mesh_batch_count() {
    return static_cast<int>(mesh.batches.size());
}
// The view-projection matrix of the last tv_mesh, 16 floats column-major.
EMSCRIPTEN_KEEPALIVE const float* tv_mesh_matrix() {
    return mesh.viewProjection;
}

// The console text written since the last tv_console_clear.
EMSCRIPTEN_KEEPALIVE const char* tv_console() {
    return console.text.data();
}
EMSCRIPTEN_KEEPALIVE int tv_console_size() {
    return static_cast<int>(console.text.size());
}
EMSCRIPTEN_KEEPALIVE void tv_console_clear() {
    console.text.clear();
}

// The desktop window's title, NUL-terminated.
EMSCRIPTEN_KEEPALIVE const char* tv_title() {
    return TESSAVIEW_WINDOW_TITLE;
}
}
