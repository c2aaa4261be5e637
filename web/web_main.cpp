// The page's entry points: the viewer's state, its input handling and its readout, driven by the
// page's script, and the reading of scene files, which the page runs in a worker of its own so
// that a large file never holds up the page. Everything a frame writes to standard output is kept
// here until the script takes it, so a frame's readout reaches the page in one piece, byte for
// byte as the desktop prints it.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <string>

#include "pipeline/composition.h"
#include "scene/scene_format.h"
#include "scene/scene_loader.h"
#include "tessaview_version.h"
#include "viewer/input.h"
#include "viewer/readout.h"
#include "viewer/viewer_state.h"
#include "web/frame_mesh.h"
#include "web/json_text.h"

// Hands the script a piece of the loader's echo (whole lines, UTF-8 as written) and the progress
// of a reading; both are Module callbacks the script provides.
EM_JS(void, tv_emit_echo, (const char* text, int length), {
    if (Module.onEcho) {
        Module.onEcho(HEAPU8.subarray(text, text + length));
    }
});
EM_JS(void, tv_emit_progress, (double done, double total), {
    if (Module.onProgress) {
        Module.onProgress(done, total);
    }
});

namespace {
ViewerState state;
FrameMesh mesh;

// What the loader reads from a pair of scene files: all that the viewer keeps of them. Plain
// values without pointers, so the page moves it between its worker and the viewer as bytes.
struct LoadedScene {
    FigureCollection figure;
    AffineCollection affines;
    Point4 projection;
};
LoadedScene loaded;

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

// Standard output that goes nowhere.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// The view as a plain value: the viewer's state and the camera's angles, which the camera class
// keeps for all cameras.
struct ViewSnapshot {
    ViewerState state;
    float azimuth;
    float elevation;
};

// The loader's echo, handed to the script in pieces of about kEchoPiece bytes that end at a line
// break, so that an echo of any length never sits whole in memory.
class EchoBuffer : public ConsoleBuffer {
public:
    static constexpr std::size_t kEchoPiece = 1 << 20;

    // Hands over everything written so far.
    void emitAll() {
        if (!text.empty()) {
            tv_emit_echo(text.data(), static_cast<int>(text.size()));
            text.clear();
        }
    }

protected:
    int sync() override {
        if (text.size() >= kEchoPiece) {
            const std::size_t end = text.rfind('\n') + 1;
            if (end > 0) {
                tv_emit_echo(text.data(), static_cast<int>(end));
                text.erase(0, end);
            }
        }
        return 0;
    }
};

// A file's bytes read in place, in windows of kWindow bytes; the progress is reported each time
// the reader moves into the next window. Everything before the window stays readable, so
// putting a character back works anywhere.
class FileBuffer : public std::streambuf {
public:
    static constexpr std::size_t kWindow = 1 << 20;

    // bytes..bytes+length, reported as starting at done of total bytes.
    FileBuffer(char* bytes, std::size_t length, double done, double total)
        : begin_(bytes), end_(bytes + length), done_(done), total_(total) {
        setg(begin_, begin_, begin_);
    }

protected:
    int_type underflow() override {
        if (gptr() < egptr()) {
            return traits_type::to_int_type(*gptr());
        }
        if (egptr() == end_) {
            return traits_type::eof();
        }
        char* const next = egptr() + std::min<std::size_t>(kWindow, end_ - egptr());
        tv_emit_progress(done_ + static_cast<double>(egptr() - begin_), total_);
        setg(begin_, egptr(), next);
        return traits_type::to_int_type(*gptr());
    }

private:
    char* begin_;
    char* end_;
    double done_;
    double total_;
};

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

}  // namespace

extern "C" {

// Reads two scene files' bytes (length < 0: the file is missing) as the desktop program reads
// its folder at start-up. The loader's echo goes to the script in pieces as it is written, the
// progress with it; returns the records read (tv_scene_size bytes), kept until the next call.
EMSCRIPTEN_KEEPALIVE const LoadedScene* tv_load(char* figure, int figureLength, char* affine,
                                                int affineLength) {
    const double total = std::max(figureLength, 0) + std::max(affineLength, 0);
    FileBuffer figureBytes(figure, std::max(figureLength, 0), 0.0, total);
    FileBuffer affineBytes(affine, std::max(affineLength, 0), std::max(figureLength, 0), total);
    std::istream figureStream(&figureBytes), affineStream(&affineBytes);
    EchoBuffer echo;
    std::streambuf* const before = std::cout.rdbuf(&echo);
    loaded = LoadedScene{};
    readSceneStreams(figureLength < 0 ? nullptr : &figureStream, kFigureFileName,
                     affineLength < 0 ? nullptr : &affineStream, kAffineFileName, loaded.figure,
                     loaded.affines, loaded.projection);
    std::cout.flush();
    echo.emitAll();
    std::cout.rdbuf(before);
    tv_emit_progress(total, total);
    return &loaded;
}

// The size in bytes of what tv_load returns.
EMSCRIPTEN_KEEPALIVE int tv_scene_size() {
    return static_cast<int>(sizeof(LoadedScene));
}

// Starts the viewer afresh on records that tv_load returned (here or in another instance of
// this module), as the program starts once it has read its folder: start state, first frame;
// then presses keyCount keys (character codes) as tv_key does. With keepCamera the camera's
// place and angles stay where the drags put them. quiet: nothing is written to the console.
EMSCRIPTEN_KEEPALIVE void tv_show(const LoadedScene* scene, const unsigned char* keys, int keyCount,
                                  int keepCamera, int quiet) {
    const OrbitCamera camera = state.camera;
    const float azimuth = OrbitCamera::azimuth;
    const float elevation = OrbitCamera::elevation;
    NullBuffer nothing;
    std::cout.rdbuf(quiet != 0 ? static_cast<std::streambuf*>(&nothing) : &console);
    state = ViewerState{};
    OrbitCamera::azimuth = 0.0f;
    OrbitCamera::elevation = 0.0f;
    state.globalStep = 0.0f;
    state.camera.setDefaults();
    if (keepCamera != 0) {
        state.camera.eye = camera.eye;
        state.camera.target = camera.target;
        state.camera.up = camera.up;
        OrbitCamera::azimuth = azimuth;
        OrbitCamera::elevation = elevation;
    }
    state.loadedFigure = scene->figure;
    state.loadedAffines = scene->affines;
    state.projectionVector = scene->projection;
    writeFrame();
    for (int i = 0; i < keyCount; ++i) {
        if (handleKey(state, keys[i])) {
            writeFrame();
        }
    }
    std::cout.rdbuf(&console);
}

// A key as the desktop's keyboard callback receives it (its character code); writes a frame.
// Returns 1 when the key did something (and wrote a frame), else 0.
EMSCRIPTEN_KEEPALIVE int tv_key(int key) {
    if (handleKey(state, static_cast<unsigned char>(key))) {
        writeFrame();
        return 1;
    }
    return 0;
}

// The whole state of the view (what tv_set_view takes), tv_view_size bytes.
EMSCRIPTEN_KEEPALIVE const ViewSnapshot* tv_view() {
    static ViewSnapshot snapshot;
    snapshot = ViewSnapshot{state, OrbitCamera::azimuth, OrbitCamera::elevation};
    return &snapshot;
}
EMSCRIPTEN_KEEPALIVE int tv_view_size() {
    return static_cast<int>(sizeof(ViewSnapshot));
}

// Puts the view in the state tv_view gave (here or in another instance of this module).
EMSCRIPTEN_KEEPALIVE void tv_set_view(const ViewSnapshot* snapshot) {
    state = snapshot->state;
    OrbitCamera::azimuth = snapshot->azimuth;
    OrbitCamera::elevation = snapshot->elevation;
}

// A button (0 left, 1 middle, 2 right, 3 and 4 the wheel) pressed or released at pixel (x, y)
// of the 800x600 view.
EMSCRIPTEN_KEEPALIVE void tv_mouse(int button, int x, int y) {
    handleMouseButton(state, button, x, y);
}

// The pointer moved to pixel (x, y) of the view with a button held; writes a frame.
EMSCRIPTEN_KEEPALIVE void tv_motion(int x, int y) {
    if (handleMouseMotion(state, x, y)) {
        writeFrame();
    }
}

// Builds the current picture for a canvas of pixelRatio device pixels per view pixel; returns
// its vertices (tv_mesh_count of them, 12 floats each).
EMSCRIPTEN_KEEPALIVE const MeshVertex* tv_mesh(float pixelRatio) {
    mesh.pixelRatio = pixelRatio;
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

// The viewer's inputs as JSON, NUL-terminated: {"keys": [{"key", "alias", "label", "help"}...],
// "drags": [{"input", "help"}...]}, from the tables the keyboard and mouse handling run on.
EMSCRIPTEN_KEEPALIVE const char* tv_inputs() {
    static std::string json;
    if (json.empty()) {
        json = "{\"keys\":[";
        for (const KeyBinding& key : keyTable()) {
            const char k[2] = {static_cast<char>(key.key), '\0'};
            const char a[2] = {static_cast<char>(key.alias), '\0'};
            json += std::string(&key == &keyTable()[0] ? "" : ",") + "{\"key\":" + jsonString(k) +
                    ",\"alias\":" + jsonString(a) + ",\"label\":" + jsonString(key.label) +
                    ",\"help\":" + jsonString(key.help) + "}";
        }
        json += "],\"drags\":[";
        for (const DragBinding& drag : dragTable()) {
            json += std::string(&drag == &dragTable()[0] ? "" : ",") +
                    "{\"input\":" + jsonString(drag.input) + ",\"help\":" + jsonString(drag.help) +
                    "}";
        }
        json += "]}";
    }
    return json.c_str();
}
}
