// The recorder's view of its command line: what kind of output a name asks for, the names of a
// numbered frame sequence, and the keys it presses.
#pragma once

#include <string>

namespace tessarecord {

// What the output name asks for.
enum class OutputKind {
    kGif,          // one animated GIF of every frame
    kLastPng,      // one PNG of the last frame
    kPngSequence,  // one PNG per frame, the name holds a printf-style number
};

// A parsed output name. For a sequence, the name is prefix + number + suffix, the number
// padded to width with zeros (zeroPad) or spaces.
struct OutputName {
    OutputKind kind = OutputKind::kGif;
    std::string prefix;
    std::string suffix;
    int width = 0;
    bool zeroPad = false;
};

// Reads an output name: *.gif, *.png, or a *.png name with one %d, %0Nd or %Nd (and %% for a
// percent sign). False with a message for anything else.
bool parseOutputName(const std::string& name, OutputName& out, std::string& error);

// The file name of frame `index` (from 0) of a sequence; the name itself otherwise.
std::string frameFileName(const OutputName& name, int index);

// Reads a whole number from lo to hi written in decimal digits (no sign, exponent or point) for
// the option named option. False with a message for anything else.
bool parseWholeNumber(const std::string& option, const std::string& text, int lo, int hi,
                      int& value, std::string& error);

// The keys to press in order: `keys` first, then `steps` times '>'. False with a message when a
// key is not a printable ASCII character.
bool keySequence(const std::string& keys, int steps, std::string& out, std::string& error);

}  // namespace tessarecord
