// Reading the text files that tessascene imports: opening them with a clear word for what is not
// a readable file, and lines of bounded length, so no input can make the tool grow without limit.
#pragma once

#include <cstddef>
#include <fstream>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

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

// Opens path for reading. A missing file, a folder, a device or a file that cannot be read is an
// error naming it ("PATH: is a folder, not a file"); false then, with in unchanged.
bool openInputFile(const std::string& path, std::ifstream& in, std::string& error);

// A value from the input quoted for a message: at most 24 bytes, unprintable bytes shown as '?',
// so that binary junk can neither flood the message nor garble the terminal.
std::string quoted(std::string_view text);

// Appends to words the runs of text between characters of blanks, in order.
void splitWords(std::string_view text, std::string_view blanks,
                std::vector<std::string_view>& words);
