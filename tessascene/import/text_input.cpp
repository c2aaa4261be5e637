#include "tessascene/import/text_input.h"

#include <algorithm>
#include <cctype>

namespace tessascene {

LineStatus readBoundedLine(std::istream& in, std::string& line, std::size_t maxBytes) {
    line.clear();
    if (in.rdbuf() == nullptr || !in.good()) {
        return in.bad() ? LineStatus::kFailed : LineStatus::kEnd;
    }
    // istream::getline scans the stream's buffer for the line's end, which is several times
    // faster than taking one character at a time. It stores at most maxBytes + 1 bytes in all,
    // so a line of more than maxBytes bytes is known without reading it whole.
    char chunk[4096];
    bool any = false;
    for (;;) {
        const std::size_t room = maxBytes + 1 - line.size();
        const std::streamsize size =
            static_cast<std::streamsize>(std::min<std::size_t>(sizeof chunk, room + 1));
        in.getline(chunk, size);
        const std::size_t taken = static_cast<std::size_t>(in.gcount());
        const bool ended = !in.fail() && !in.eof();  // the '\n' was taken, and counted
        any = any || taken > 0;
        line.append(chunk, ended ? taken - 1 : taken);  // a line may hold NUL bytes
        if (in.bad()) {
            return LineStatus::kFailed;
        }
        if (line.size() > maxBytes) {
            line.resize(maxBytes);
            in.setstate(std::ios::failbit);
            return LineStatus::kTooLong;
        }
        if (in.eof()) {
            in.clear(std::ios::eofbit);
            return any ? LineStatus::kLine : LineStatus::kEnd;
        }
        if (ended) {
            return LineStatus::kLine;
        }
        in.clear();  // the chunk was full: the line goes on
    }
}

std::string quoted(std::string_view text) {
    constexpr std::size_t kLongest = 24;
    std::string shown(text.substr(0, kLongest));
    for (char& c : shown) {
        if (!std::isprint(static_cast<unsigned char>(c))) {
            c = '?';
        }
    }
    return "'" + shown + (text.size() > kLongest ? "...'" : "'");
}

void splitWords(std::string_view text, std::string_view blanks,
                std::vector<std::string_view>& words) {
    for (;;) {
        const std::size_t begin = text.find_first_not_of(blanks);
        if (begin == std::string_view::npos) {
            return;
        }
        text.remove_prefix(begin);
        const std::size_t length = std::min(text.find_first_of(blanks), text.size());
        words.push_back(text.substr(0, length));
        text.remove_prefix(length);
    }
}

}  // namespace tessascene
