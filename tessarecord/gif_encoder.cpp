// GIF encoding through giflib.
#include "tessarecord/gif_encoder.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>

namespace tessarecord {

namespace {

constexpr int kMaxColours = 256;
constexpr int kCubeLevels = 6;  // 6 x 6 x 6 = 216 colours for frames that have too many

// The nearest of kCubeLevels levels from 0 to 255.
std::uint8_t cubeLevel(std::uint8_t v) {
    const int step = 255 / (kCubeLevels - 1);
    return static_cast<std::uint8_t>(((v + step / 2) / step) * step);
}

std::uint32_t toCube(std::uint32_t c) {
    return (std::uint32_t{cubeLevel((c >> 16) & 0xff)} << 16) |
           (std::uint32_t{cubeLevel((c >> 8) & 0xff)} << 8) | cubeLevel(c & 0xff);
}

// A giflib colour map of palette's colours, its size a power of two.
ColorMapObject* makeMap(const Palette& palette) {
    int size = 2;
    while (size < static_cast<int>(palette.colours.size())) {
        size *= 2;
    }
    ColorMapObject* map = GifMakeMapObject(size, nullptr);
    if (map == nullptr) {
        return nullptr;
    }
    for (int i = 0; i < size; ++i) {
        const std::uint32_t c =
            i < static_cast<int>(palette.colours.size()) ? palette.colours[i] : 0;
        map->Colors[i].Red = static_cast<GifByteType>(c >> 16);
        map->Colors[i].Green = static_cast<GifByteType>(c >> 8);
        map->Colors[i].Blue = static_cast<GifByteType>(c);
    }
    return map;
}

// The smallest rectangle holding every pixel where b differs from a; 1x1 when none does.
void changedRect(const RgbImage& a, const RgbImage& b, int& left, int& top, int& w, int& h) {
    int x0 = b.width, y0 = b.height, x1 = -1, y1 = -1;
    for (int y = 0; y < b.height; ++y) {
        const std::uint8_t* ra = &a.rgb[static_cast<size_t>(y) * b.width * 3];
        const std::uint8_t* rb = &b.rgb[static_cast<size_t>(y) * b.width * 3];
        if (std::memcmp(ra, rb, static_cast<size_t>(b.width) * 3) == 0) {
            continue;
        }
        for (int x = 0; x < b.width; ++x) {
            if (std::memcmp(ra + x * 3, rb + x * 3, 3) != 0) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
            }
        }
        y0 = std::min(y0, y);
        y1 = y;
    }
    if (x1 < 0) {
        left = top = 0;
        w = h = 1;
        return;
    }
    left = x0;
    top = y0;
    w = x1 - x0 + 1;
    h = y1 - y0 + 1;
}

// The GIF's bytes, handed to the sink in pieces of up to kSinkChunk.
struct GifOutput {
    static constexpr size_t kSinkChunk = 65536;
    const ByteSink* sink = nullptr;
    std::vector<std::uint8_t> buffer;
    bool failed = false;

    bool flush() {
        if (!failed && !buffer.empty() && !(*sink)(buffer.data(), buffer.size())) {
            failed = true;
        }
        buffer.clear();
        return !failed;
    }
};

int appendToOutput(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<GifOutput*>(gif->UserData);
    out->buffer.insert(out->buffer.end(), data, data + length);
    if (out->buffer.size() >= GifOutput::kSinkChunk && !out->flush()) {
        return 0;
    }
    return length;
}

// Writes one frame (or the changed rectangle of it) with its delay. Asks stop every
// kRowsBetweenStopChecks rows and then returns false with stopped set.
bool putFrame(GifFileType* gif, const RgbImage& frame, const RgbImage* previous, int delayCs,
              const Palette& palette, bool cube, bool localMap, const StopCheck& stop,
              bool& stopped) {
    constexpr int kRowsBetweenStopChecks = 32;
    GraphicsControlBlock gcb{};
    gcb.DisposalMode = DISPOSE_DO_NOT;
    gcb.UserInputFlag = false;
    gcb.DelayTime = delayCs;
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType ext[4];
    const size_t extLength = EGifGCBToExtension(&gcb, ext);
    if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(extLength), ext) ==
        GIF_ERROR) {
        return false;
    }
    int left = 0, top = 0, w = frame.width, h = frame.height;
    if (previous != nullptr) {
        changedRect(*previous, frame, left, top, w, h);
    }
    ColorMapObject* map = localMap ? makeMap(palette) : nullptr;
    if (localMap && map == nullptr) {
        return false;
    }
    const int status = EGifPutImageDesc(gif, left, top, w, h, false, map);
    GifFreeMapObject(map);  // the descriptor keeps its own copy
    if (status == GIF_ERROR) {
        return false;
    }
    std::vector<GifPixelType> row(static_cast<size_t>(w));
    bool any = false;
    std::uint32_t last = 0;
    GifPixelType lastIndex = 0;
    for (int y = top; y < top + h; ++y) {
        if ((y - top) % kRowsBetweenStopChecks == 0 && stop()) {
            stopped = true;
            return false;
        }
        for (int x = 0; x < w; ++x) {
            const size_t pixel = static_cast<size_t>(y) * frame.width + left + x;
            const std::uint32_t c = cube ? toCube(colourAt(frame, pixel)) : colourAt(frame, pixel);
            if (!any || c != last) {
                any = true;
                last = c;
                lastIndex = static_cast<GifPixelType>(palette.index.at(c));
            }
            row[x] = lastIndex;
        }
        if (EGifPutLine(gif, row.data(), w) == GIF_ERROR) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::uint32_t colourAt(const RgbImage& image, std::size_t pixel) {
    const std::uint8_t* p = &image.rgb[pixel * 3];
    return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
}

bool Palette::add(const RgbImage& image, bool cube) {
    const size_t n = static_cast<size_t>(image.width) * image.height;
    bool any = false;
    std::uint32_t last = 0;
    for (size_t i = 0; i < n; ++i) {
        const std::uint32_t c = cube ? toCube(colourAt(image, i)) : colourAt(image, i);
        // Runs of one colour (the background, mostly) need no look-up.
        if (any && c == last) {
            continue;
        }
        any = true;
        last = c;
        if (index.emplace(c, static_cast<int>(colours.size())).second) {
            colours.push_back(c);
            if (colours.size() > kMaxColours) {
                return false;
            }
        }
    }
    return true;
}

bool encodeGif(std::size_t count, const FrameSource& source, int delayCs, const ByteSink& sink,
               const StopCheck& stop, GifReport& report, std::string& error) {
    report = GifReport{};
    if (count == 0) {
        error = "no frames to write";
        return false;
    }
    RgbImage frame, previous;
    int width = 0, height = 0;
    Palette global;
    report.globalPalette = true;
    for (size_t i = 0; i < count; ++i) {
        if (stop()) {
            error = "stopped";
            return false;
        }
        if (!source(i, frame)) {
            error = "frame " + std::to_string(i + 1) + " is lost";
            return false;
        }
        if (i == 0) {
            width = frame.width;
            height = frame.height;
        }
        if (frame.width != width || frame.height != height ||
            frame.rgb.size() != static_cast<size_t>(width) * height * 3) {
            error = "the frames differ in size";
            return false;
        }
        if (report.globalPalette && !global.add(frame, false)) {
            report.globalPalette = false;
        }
    }

    GifOutput output;
    output.sink = &sink;
    int gifError = 0;
    GifFileType* gif = EGifOpen(&output, appendToOutput, &gifError);
    if (gif == nullptr) {
        error = std::string("cannot start a GIF: ") + GifErrorString(gifError);
        return false;
    }
    EGifSetGifVersion(gif, true);
    bool ok = true;
    ColorMapObject* screenMap = report.globalPalette ? makeMap(global) : nullptr;
    ok = (!report.globalPalette || screenMap != nullptr) &&
         EGifPutScreenDesc(gif, width, height, 8, 0, screenMap) != GIF_ERROR;
    GifFreeMapObject(screenMap);
    // The application extension that makes viewers loop the animation forever.
    static const GifByteType kLoopName[] = "NETSCAPE2.0";
    const GifByteType loopForever[3] = {1, 0, 0};
    ok = ok && EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) != GIF_ERROR &&
         EGifPutExtensionBlock(gif, 11, kLoopName) != GIF_ERROR &&
         EGifPutExtensionBlock(gif, 3, loopForever) != GIF_ERROR &&
         EGifPutExtensionTrailer(gif) != GIF_ERROR;
    bool stopped = false;
    for (size_t i = 0; ok && i < count; ++i) {
        if (stop()) {
            stopped = true;
            break;
        }
        if (!source(i, frame)) {
            error = "frame " + std::to_string(i + 1) + " is lost";
            EGifCloseFile(gif, &gifError);
            return false;
        }
        if (report.globalPalette) {
            ok = putFrame(gif, frame, i > 0 ? &previous : nullptr, delayCs, global, false, false,
                          stop, stopped);
            std::swap(frame, previous);
            continue;
        }
        // Frames of their own palettes are stored whole: a rounded neighbour would otherwise
        // show through.
        Palette local;
        bool cube = false;
        if (!local.add(frame, false)) {
            local = Palette{};
            cube = true;
            local.add(frame, true);
            ++report.roundedFrames;
        }
        ok = putFrame(gif, frame, nullptr, delayCs, local, cube, true, stop, stopped);
    }
    if (stopped) {
        EGifCloseFile(gif, &gifError);
        error = "stopped";
        return false;
    }
    if (!ok) {
        error = output.failed ? "the GIF cannot be written"
                              : std::string("GIF encoding failed: ") + GifErrorString(gif->Error);
        EGifCloseFile(gif, &gifError);
        return false;
    }
    if (EGifCloseFile(gif, &gifError) == GIF_ERROR || !output.flush()) {
        error = output.failed ? "the GIF cannot be written"
                              : std::string("GIF encoding failed: ") + GifErrorString(gifError);
        return false;
    }
    return true;
}

bool encodeGif(const std::vector<RgbImage>& frames, int delayCs, std::vector<std::uint8_t>& out,
               GifReport& report, std::string& error) {
    out.clear();
    const FrameSource source = [&frames](size_t index, RgbImage& frame) {
        frame = frames[index];
        return true;
    };
    const ByteSink sink = [&out](const std::uint8_t* data, size_t size) {
        out.insert(out.end(), data, data + size);
        return true;
    };
    return encodeGif(
        frames.size(), source, delayCs, sink, [] { return false; }, report, error);
}

}  // namespace tessarecord
