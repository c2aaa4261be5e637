// Pictures in memory, kept compressed for long recordings, and their GIF and PNG encodings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessarecord {

// One picture: rows top-down, 3 bytes per pixel (red, green, blue).
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

// How a GIF was made.
struct GifReport {
    bool globalPalette = false;  // one palette for all frames
    int roundedFrames = 0;       // frames of more than 256 colours, rounded to a colour cube
};

// Puts frame `index` (from 0, asked for in any order) into frame; false when it cannot.
using FrameSource = std::function<bool(std::size_t index, RgbImage& frame)>;
// Takes the next size bytes of an encoding; false when they cannot be written.
using ByteSink = std::function<bool(const std::uint8_t* data, std::size_t size)>;
// True when the work should stop at once.
using StopCheck = std::function<bool()>;

// Frames kept zlib-compressed in memory: a picture of the viewer's, 1.4 MB as it is, takes a
// few tens of kilobytes, so a long recording fits in little memory.
class FrameStore {
public:
    // Adds a copy of frame. False with a message when it cannot be compressed.
    bool add(const RgbImage& frame, std::string& error);
    // Restores frame `index` into frame; false when the index is out of range.
    bool get(std::size_t index, RgbImage& frame) const;
    std::size_t size() const { return frames_.size(); }
    // The bytes the compressed frames take.
    std::size_t packedBytes() const;

private:
    struct Packed {
        int width = 0;
        int height = 0;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Packed> frames_;
};

// Encodes count frames of one size from source as a GIF that loops forever, delayCs hundredths
// of a second per frame, handing the bytes to sink as they are made. Colours are exact for
// frames of at most 256 colours; each frame after the first stores only the rectangle that
// changed. Every frame is asked for twice (colours, then pixels); stop is asked between frames.
// False with a message on failure, and with "stopped" when stop said so.
bool encodeGif(std::size_t count, const FrameSource& source, int delayCs, const ByteSink& sink,
               const StopCheck& stop, GifReport& report, std::string& error);

// The same for frames in memory, into out.
bool encodeGif(const std::vector<RgbImage>& frames, int delayCs, std::vector<std::uint8_t>& out,
               GifReport& report, std::string& error);

// Encodes one picture as a PNG: indexed with its exact colours when it has at most 256, 8-bit
// RGB otherwise. False with a message on failure.
bool encodePng(const RgbImage& image, std::vector<std::uint8_t>& out, std::string& error);

}  // namespace tessarecord
