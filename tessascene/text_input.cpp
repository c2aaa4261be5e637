#include "tessascene/text_input.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

LineStatus readBoundedLine(std::istream& in, std::string& line, std::size_t maxBytes) {
    line.clear();
    std::streambuf* buffer = in.rdbuf();
    if (buffer == nullptr || !in.good()) {
        return in.bad() ? LineStatus::kFailed : LineStatus::kEnd;
    }
    bool any = false;
    for (;;) {
        const int c = buffer->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            in.setstate(std::ios::eofbit);
            return any ? LineStatus::kLine : LineStatus::kEnd;
        }
        any = true;
        if (c == '\n') {
            return LineStatus::kLine;
        }
        if (line.size() == maxBytes) {
            in.setstate(std::ios::failbit);
            return LineStatus::kTooLong;
        }
        line.push_back(static_cast<char>(c));
    }
}

bool openInputFile(const std::string& path, std::ifstream& in, std::string& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        error = path + ": cannot open the file: " + std::strerror(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        error = path + ": is a folder, not a file";
        return false;
    }
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) {
        error = path + ": is a device, not a file";
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": cannot open the file: " + std::strerror(errno);
        return false;
    }
    in = std::move(file);
    return true;
}
