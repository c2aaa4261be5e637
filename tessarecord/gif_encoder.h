// Animated GIFs through giflib: pictures in, bytes out, with exact colours where a frame has at
// most 256 of them. Nothing here writes a file: the recorder hands the bytes to its output file,
// the web page to a download.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
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

// The colours of pictures as 0xRRGGBB, each with its index in the order first seen: the palette
// of a GIF frame, or of an indexed PNG.
struct Palette {
    std::unordered_map<std::uint32_t, int> index;
    std::vector<std::uint32_t> colours;

    // Adds the colours of image, each rounded to a 6 x 6 x 6 colour cube when cube is set; false
    // (and stops) once there are more than 256.
    bool add(const RgbImage& image, bool cube);
};

// The colour of pixel number pixel (row by row) of image, as 0xRRGGBB.
std::uint32_t colourAt(const RgbImage& image, std::size_t pixel);

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

}  // namespace tessarecord
