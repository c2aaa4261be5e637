// Reading the text that tessascene imports: lines of bounded length, so no input can make the
// tool grow without limit, and values quoted for messages.
#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace tessascene {

// The longest line an importer accepts, end of line not counted.
constexpr std::size_t kMaxLineBytes = std::size_t{1} << 20;

enum class LineStatus {
    kLine,     // line holds the next line, without its '\n' (a final line may lack one)
    kEnd,      // no line is left
    kTooLong,  // the line is longer than maxBytes; line holds its first maxBytes bytes
    kFailed,   // the stream reported a read error
};

// Reads the next line of in into line, reading at most maxBytes + 1 bytes of it.
LineStatus readBoundedLine(std::istream& in, std::string& line,
                           std::size_t maxBytes = kMaxLineBytes);

// A value from the input quoted for a message: at most 24 bytes, unprintable bytes shown as '?',
// so that binary junk can neither flood the message nor garble the terminal.
std::string quoted(std::string_view text);

// Appends to words the runs of text between characters of blanks, in order.
void splitWords(std::string_view text, std::string_view blanks,
                std::vector<std::string_view>& words);

}  // namespace tessascene
