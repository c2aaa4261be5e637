// Pictures in memory, kept compressed for long recordings, and their PNG encoding (their GIF
// encoding is gif_encoder.h's).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tessarecord/gif_encoder.h"

namespace tessarecord {

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

// Encodes one picture as a PNG: indexed with its exact colours when it has at most 256, 8-bit
// RGB otherwise. False with a message on failure.
bool encodePng(const RgbImage& image, std::vector<std::uint8_t>& out, std::string& error);

}  // namespace tessarecord
