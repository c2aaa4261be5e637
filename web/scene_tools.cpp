// The page's entry points into tessascene's cores: a figure generate knows, or the data of a file
// the user chose, made into the text of the two scene files exactly as tessascene writes them for
// the same options, or cut by a hyperplane, or swept; with the lines tessascene prints. Also
// scene files in a .zip (libzip), and a GIF of pictures the page draws (tessarecord's encoder).
// The page's workers run these.
//
// A request is built in steps: tt_begin (the command and its figure or file), tt_option for each
// option as the command line spells it, then tt_run. A file is read through the script
// (Module.readInput), in pieces, never whole. The figure or data a request names, and the figure
// placed for cutting, are kept for the next request, so that the next cut of the same figure
// costs only the cut.
#include <emscripten/emscripten.h>
#include <zip.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tessarecord/gif_encoder.h"
#include "tessascene/cut/slice.h"
#include "tessascene/figures/generators.h"
#include "tessascene/figures/numbers.h"
#include "tessascene/import/compressed_input.h"
#include "tessascene/scene_text/scene_options.h"
#include "tessascene/scene_text/scenes.h"
#include "tessascene/scene_text/views.h"
#include "web/json_text.h"

// Reads size bytes of the chosen file at offset into data: the count read (0 at its end), or -1
// with Module.inputFailure saying why.
EM_JS(int, tt_read_input, (double offset, char* data, int size),
      { return Module.readInput(offset, data, size); });
EM_JS(void, tt_input_failure, (char* text, int size),
      { stringToUTF8(Module.inputFailure || "the file could not be read", text, size); });

// Draws picture index of a GIF into rgb (width x height pixels, 3 bytes each, rows top-down);
// 1 when it did.
EM_JS(int, tt_draw_picture, (int index, std::uint8_t* rgb, int width, int height),
      { return Module.drawPicture(index, rgb, width, height) ? 1 : 0; });

using namespace tessascene;

namespace {

// The file the script reads for a request, from its start.
class PageFile : public ByteSource {
public:
    long read(char* data, std::size_t size) override {
        const int n =
            tt_read_input(offset_, data, static_cast<int>(std::min<std::size_t>(size, 1 << 24)));
        if (n < 0) {
            char why[256];
            tt_input_failure(why, sizeof why);
            failure_ = why;
            return -1;
        }
        offset_ += n;
        return n;
    }

private:
    double offset_ = 0.0;
};

// The same file read at any offset.
class PageFileAccess : public RandomAccess {
public:
    explicit PageFileAccess(std::uint64_t size) : size_(size) {}
    std::uint64_t size() const override { return size_; }
    bool readAt(std::uint64_t offset, char* data, std::size_t size) override {
        if (offset > size_ || size > size_ - offset) {
            return false;
        }
        while (size > 0) {
            const int piece = static_cast<int>(std::min<std::size_t>(size, 1 << 24));
            const int n = tt_read_input(static_cast<double>(offset), data, piece);
            if (n <= 0) {
                return false;
            }
            data += n;
            offset += static_cast<std::uint64_t>(n);
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

private:
    std::uint64_t size_;
};

// What a request asks: the command line's record without the file side.
struct Request {
    Command command = Command::kGenerate;
    std::string operand;  // the figure asked for, or the file's name as messages show it
    bool fromFile = false;
    std::string fileKey;  // tells one chosen file from another
    double fileSize = 0.0;
    SceneParameters parameters;
    std::string usageError;  // the first wrong option, if any
};

// The source a request names, as generated or imported, with the note its reading gave.
struct KeptSource {
    std::string key;
    bool made = false;
    SceneSource source;
    std::string failure;  // why it could not be made
    int status = 0;       // of that failure: 1 failed, 2 a wrong request
    std::string readNote;
};

// A source placed for cutting.
struct KeptCut {
    std::string key;
    SceneSource placed;
    std::string failure;
};

Request request;
KeptSource kept;
KeptCut keptCut;

// What the last tt_run made.
struct Made {
    std::vector<SceneTexts> scenes;
    std::string json;
};
Made made;

std::vector<std::uint8_t> outBytes;  // of tt_zip_end and tt_gif
std::string outError;

// A .zip archive made in steps: tt_zip_begin, tt_zip_add for each file, then tt_zip_end.
zip_source_t* zipBytes = nullptr;
zip_t* zipArchive = nullptr;

// The key of what a request's source is made from.
std::string sourceKey() {
    const TableOptions& t = request.parameters.table;
    std::string key = (request.fromFile ? "file:" + request.fileKey : "figure:" + request.operand);
    if (request.fromFile) {
        for (const std::string& c : t.columns) {
            key += "\n" + c;
        }
        key += "\n" + t.group + "\n" + t.array;
    }
    return key;
}

// The request's source, made or read once for each key.
KeptSource& source() {
    const std::string key = sourceKey();
    if (kept.key == key) {
        return kept;
    }
    kept = KeptSource{};
    kept.key = key;
    std::string error;
    if (!request.fromFile) {
        kept.made = generatedSource(request.operand, kept.source, error);
        kept.status = 2;
    } else {
        std::string failure;
        std::unique_ptr<Input> input =
            inputOf(std::make_unique<PageFile>(),
                    std::make_unique<PageFileAccess>(static_cast<std::uint64_t>(request.fileSize)),
                    failure);
        if (input == nullptr) {
            error = request.operand + ": cannot read the file: " + failure;
        } else {
            kept.made = importedSource(*input, request.operand, request.parameters.table,
                                       kept.source, error);
        }
        kept.status = 1;
        if (kept.made) {
            kept.readNote = readNote(kept.source);
        }
    }
    if (!kept.made) {
        kept.failure = error;
        kept.key.clear();  // tried again next time
    }
    return kept;
}

// The request's source placed for cutting, once for each source, size, centring and line-loop.
const KeptCut& placedSource(const KeptSource& from) {
    const SceneParameters& p = request.parameters;
    const std::string key = from.key + "\n" + (p.size ? numberText(*p.size) : "-") + "\n" +
                            (p.center ? "c" : "-") + std::to_string(p.lineLoop);
    if (keptCut.key == key) {
        return keptCut;
    }
    keptCut = KeptCut{};
    keptCut.placed = from.source;
    if (placeForCuts(keptCut.placed, p, keptCut.failure)) {
        keptCut.placed.table = PointTable{};  // its points are now the figure's vertices
        keptCut.key = key;
    }
    return keptCut;
}

// The answer of a failed request: status 1 (it cannot be made) or 2 (a wrong request).
const char* failed(int status, const std::string& error, const std::vector<std::string>& notes) {
    made = Made{};
    made.json = "{\"ok\":false,\"status\":" + std::to_string(status) +
                ",\"error\":" + jsonString(error) + ",\"notes\":" + jsonStrings(notes) + "}";
    return made.json.c_str();
}

}  // namespace

extern "C" {

// The figures generate knows and the scene's options, as JSON: {"figures": [{"name", "alias",
// "parameters", "count", "symbol", "defaults", "minimum", "maximum", "fits"}...], "options":
// ["--size", ...]}.
EMSCRIPTEN_KEEPALIVE const char* tt_catalogue() {
    static std::string json;
    if (json.empty()) {
        json = "{\"figures\":[";
        for (const FigureKind& kind : figureKinds()) {
            json += std::string(json.back() == '[' ? "" : ",") +
                    "{\"name\":" + jsonString(kind.name) + ",\"alias\":" + jsonString(kind.alias) +
                    ",\"parameters\":" + jsonString(kind.parameterNames) +
                    ",\"count\":" + std::to_string(kind.parameterCount) +
                    ",\"symbol\":" + (kind.symbol ? "true" : "false") + ",\"defaults\":[" +
                    std::to_string(kind.defaults[0]) + "," + std::to_string(kind.defaults[1]) +
                    "],\"minimum\":" + std::to_string(kind.minimum) +
                    ",\"maximum\":" + std::to_string(kind.maximum) +
                    ",\"fits\":" + (kind.fits ? "true" : "false") + "}";
        }
        json += "],\"options\":[";
        for (const SceneOption& option : sceneOptions()) {
            json += std::string(json.back() == '[' ? "" : ",") + jsonString(option.name);
        }
        json += "]}";
    }
    return json.c_str();
}

// Starts a request: command 0 generate, 1 import, 2 slice, 3 project; operand the figure (NAME or
// NAME:A,B) or, fromFile, the file's name as messages show it; fileKey tells chosen files apart
// and fileSize is the file's size in bytes.
EMSCRIPTEN_KEEPALIVE void tt_begin(int command, const char* operand, int fromFile,
                                   const char* fileKey, double fileSize) {
    request = Request{};
    const Command commands[] = {Command::kGenerate, Command::kImport, Command::kSlice,
                                Command::kProject};
    request.command = commands[command >= 0 && command <= 3 ? command : 0];
    request.operand = operand;
    request.fromFile = fromFile != 0;
    request.fileKey = fileKey;
    request.fileSize = fileSize;
}

// An option of the request by its long name without the dashes ("size", "rotate", "center"),
// with its value as the command line takes it (a flag's value is ignored). 0 when it was read;
// else 1, and the request is wrong (tt_run says why).
EMSCRIPTEN_KEEPALIVE int tt_option(const char* name, const char* value) {
    const std::string option = std::string("--") + name;
    std::string problem;
    if (option == "--center") {
        request.parameters.center = true;
    } else if (option == "--no-simplify") {
        request.parameters.noSimplify = true;
    } else if (option == "--stereographic") {
        request.parameters.project.stereographic = true;
    } else if (const SceneOption* known = findSceneOption(option)) {
        problem = readSceneOption(*known, value, request.parameters);
    } else {
        problem = "unknown option '" + option + "'";
    }
    if (!problem.empty() && request.usageError.empty()) {
        request.usageError = problem;
    }
    return problem.empty() ? 0 : 1;
}

// 1 when the request's figure or data is kept from an earlier request: no file needs reading.
EMSCRIPTEN_KEEPALIVE int tt_source_kept() {
    return !kept.key.empty() && kept.key == sourceKey() ? 1 : 0;
}

// The extent of the request's figure, placed as a cut would place it, along the normal of its
// hyperplane (the q axis unless --at or --hyperplane gave another), as JSON {"ok", "low",
// "high"} or a failure {"ok": false, "status", "error"}.
EMSCRIPTEN_KEEPALIVE const char* tt_extent() {
    static std::string json;
    const KeptSource& from = source();
    if (!from.made) {
        return failed(from.status, from.failure, {});
    }
    const KeptCut& cut = placedSource(from);
    if (!cut.failure.empty()) {
        return failed(1, cut.failure, {});
    }
    const Extent extent = extentAlong(cut.placed.graph, request.parameters.slice.plane.normal);
    // Full precision, so that the page's slider reaches the very ends.
    char low[32], high[32];
    std::snprintf(low, sizeof low, "%.17g", extent.low);
    std::snprintf(high, sizeof high, "%.17g", extent.high);
    json = std::string("{\"ok\":true,\"low\":") + low + ",\"high\":" + high + "}";
    return json.c_str();
}

// Runs the request as tessascene runs its command: checks it as a whole, makes or reads its
// source, then makes its scene, its cut or the scenes of its sweep. Returns JSON {"ok", "notes"
// (the lines tessascene prints before it writes), "summary" (what it prints after "Wrote ...:"
// of one scene), "scenes" (how many), "largest" (of a sweep)} or {"ok": false, "status" (the
// exit status tessascene gives), "error", "notes"}. The texts: tt_text.
EMSCRIPTEN_KEEPALIVE const char* tt_run() {
    std::string error;
    if (!request.usageError.empty()) {
        return failed(2, request.usageError, {});
    }
    const bool generated = !request.fromFile;
    if (!checkSceneRequest(request.command, request.operand, generated, request.parameters,
                           error)) {
        return failed(2, error, {});
    }
    KeptSource& from = source();
    if (!from.made) {
        return failed(from.status, from.failure, {});
    }
    std::vector<std::string> notes;
    if (!from.readNote.empty()) {
        notes.push_back(from.readNote);
    }
    made = Made{};
    std::string summary;
    std::size_t largest = 0;
    if (request.command == Command::kSlice) {
        const KeptCut& cut = placedSource(from);
        MadeCuts cuts;
        if (!cut.failure.empty()) {
            return failed(1, cut.failure, notes);
        }
        if (!cutPlaced(cut.placed, request.parameters, cuts, error)) {
            return failed(1, error, notes);
        }
        made.scenes = std::move(cuts.scenes);
        summary = cuts.summary;
        largest = cuts.largest;
    } else {
        // makeScene places a figure of edges where it is: it works on a copy. A point table is
        // only read, and not copied.
        SceneSource copy;
        if (!from.source.isTable) {
            copy = from.source;
        }
        MadeScene scene;
        SceneSource& placed = from.source.isTable ? from.source : copy;
        if (!(request.command == Command::kProject
                  ? makeView(placed, request.parameters, notes, scene, error)
                  : makeScene(placed, request.parameters, notes, scene, error))) {
            return failed(1, error, notes);
        }
        if (!scene.warning.empty()) {
            notes.push_back(scene.warning);  // tessascene prints it on standard error
        }
        made.scenes.push_back(std::move(scene.texts));
        summary = scene.summary;
    }
    made.json = "{\"ok\":true,\"notes\":" + jsonStrings(notes) +
                ",\"summary\":" + jsonString(summary) +
                ",\"scenes\":" + std::to_string(made.scenes.size()) +
                ",\"largest\":" + std::to_string(largest) + "}";
    return made.json.c_str();
}

// The text of a scene tt_run made: file 0 the figure file, 1 the affine file; its length is
// tt_text_size's.
EMSCRIPTEN_KEEPALIVE const char* tt_text(int scene, int file) {
    const SceneTexts& texts = made.scenes.at(static_cast<std::size_t>(scene));
    return file == 0 ? texts.figure.data() : texts.affine.data();
}
EMSCRIPTEN_KEEPALIVE int tt_text_size(int scene, int file) {
    const SceneTexts& texts = made.scenes.at(static_cast<std::size_t>(scene));
    return static_cast<int>(file == 0 ? texts.figure.size() : texts.affine.size());
}

// Starts an archive; 0 with tt_out_error when it cannot.
EMSCRIPTEN_KEEPALIVE int tt_zip_begin() {
    zip_error_t problem;
    zip_error_init(&problem);
    zipBytes = zip_source_buffer_create(nullptr, 0, 0, &problem);
    zipArchive =
        zipBytes != nullptr ? zip_open_from_source(zipBytes, ZIP_TRUNCATE, &problem) : nullptr;
    if (zipArchive == nullptr) {
        outError = zip_error_strerror(&problem);
        if (zipBytes != nullptr) {
            zip_source_free(zipBytes);
            zipBytes = nullptr;
        }
    } else {
        zip_source_keep(zipBytes);  // read back once the archive is closed
    }
    zip_error_fini(&problem);
    return zipArchive != nullptr ? 1 : 0;
}

// Adds size bytes at data (copied) as the file path, deflated; 0 with tt_out_error when it
// cannot.
EMSCRIPTEN_KEEPALIVE int tt_zip_add(const char* path, const char* data, int size) {
    void* copy = std::malloc(static_cast<std::size_t>(std::max(size, 1)));
    if (copy == nullptr) {
        outError = "out of memory";
        return 0;
    }
    std::memcpy(copy, data, static_cast<std::size_t>(size));
    // freep 1: the archive frees the copy once it is written.
    zip_source_t* file = zip_source_buffer(zipArchive, copy, static_cast<zip_uint64_t>(size), 1);
    const zip_int64_t index =
        file != nullptr ? zip_file_add(zipArchive, path, file, ZIP_FL_ENC_UTF_8) : -1;
    if (index < 0) {
        outError = zip_strerror(zipArchive);
        if (file != nullptr) {
            zip_source_free(file);
        } else {
            std::free(copy);
        }
        return 0;
    }
    if (zip_set_file_compression(zipArchive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 9) !=
        0) {
        outError = zip_strerror(zipArchive);
        return 0;
    }
    return 1;
}

// Writes the archive into tt_out; 0 with tt_out_error when it cannot. Ends the archive either
// way.
EMSCRIPTEN_KEEPALIVE int tt_zip_end(int keep) {
    outBytes.clear();
    bool ok = keep != 0 && zip_close(zipArchive) == 0;
    if (!ok) {
        if (keep != 0) {
            outError = zip_strerror(zipArchive);
        }
        zip_discard(zipArchive);
    }
    zip_stat_t info;
    zip_stat_init(&info);
    if (ok && zip_source_stat(zipBytes, &info) == 0 && zip_source_open(zipBytes) == 0) {
        outBytes.resize(static_cast<std::size_t>(info.size));
        ok = zip_source_read(zipBytes, outBytes.data(), info.size) ==
             static_cast<zip_int64_t>(info.size);
        zip_source_close(zipBytes);
    } else if (ok) {
        ok = false;
        outError = "the archive could not be read back";
    }
    zip_source_free(zipBytes);
    zipBytes = nullptr;
    zipArchive = nullptr;
    return ok ? 1 : 0;
}

// An animated GIF of count pictures of width x height pixels, each drawn by the script
// (Module.drawPicture) when the encoder asks for it, delayCs hundredths of a second apart,
// looping for ever: 1 with the GIF in tt_out, else 0 with tt_out_error.
EMSCRIPTEN_KEEPALIVE int tt_gif(int count, int width, int height, int delayCs) {
    outBytes.clear();
    const tessarecord::FrameSource pictures = [width, height](std::size_t index,
                                                              tessarecord::RgbImage& frame) {
        frame.width = width;
        frame.height = height;
        frame.rgb.resize(static_cast<std::size_t>(width) * height * 3);
        return tt_draw_picture(static_cast<int>(index), frame.rgb.data(), width, height) != 0;
    };
    const tessarecord::ByteSink sink = [](const std::uint8_t* data, std::size_t size) {
        outBytes.insert(outBytes.end(), data, data + size);
        return true;
    };
    tessarecord::GifReport report;
    return tessarecord::encodeGif(
               static_cast<std::size_t>(count), pictures, delayCs, sink, [] { return false; },
               report, outError)
               ? 1
               : 0;
}

// The bytes tt_zip_end or tt_gif made, and why they failed.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* tt_out() {
    return outBytes.data();
}
EMSCRIPTEN_KEEPALIVE int tt_out_size() {
    return static_cast<int>(outBytes.size());
}
EMSCRIPTEN_KEEPALIVE const char* tt_out_error() {
    return outError.c_str();
}
}
