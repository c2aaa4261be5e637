// Pictures in memory and their GIF and PNG encodings, and output files that appear under their
// names only once complete.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// Encodes frames of one size as a GIF that loops forever, delayCs hundredths of a second per
// frame. Colours are exact for frames of at most 256 colours; each frame after the first stores
// only the rectangle that changed. False with a message on failure.
bool encodeGif(const std::vector<RgbImage>& frames, int delayCs, std::vector<std::uint8_t>& out,
               GifReport& report, std::string& error);

// Encodes one picture as a PNG: indexed with its exact colours when it has at most 256, 8-bit
// RGB otherwise. False with a message on failure.
bool encodePng(const RgbImage& image, std::vector<std::uint8_t>& out, std::string& error);

// A file written under a temporary name in its target's folder and given its name by commit().
// The temporary file is created exclusively (never through a link); it is removed again when
// the object goes away uncommitted.
class PendingFile {
public:
    PendingFile() = default;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    ~PendingFile();

    // Creates the temporary file beside target. False with a message naming the folder.
    bool create(const std::string& target, std::string& error);
    // Writes all of bytes to the temporary file. False with a message on a short write.
    bool write(const std::vector<std::uint8_t>& bytes, std::string& error);
    // Gives the file its name; replaces an existing file only when replace is set.
    bool commit(bool replace, std::string& error);
    // Removes the committed file again (to undo a run that failed later).
    void uncommit();

    const std::string& target() const { return target_; }
    const std::string& tempPath() const { return temp_; }

private:
    std::string target_;
    std::string temp_;
    int fd_ = -1;
    bool committed_ = false;
};
