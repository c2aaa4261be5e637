#include "scene/scene_number.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace {
// The next character, or -1 at the end (which sets eofbit, as the stream's own reading does).
int peekChar(std::istream& in) {
    const std::istream::int_type c = in.peek();
    return c == std::istream::traits_type::eof() ? -1 : static_cast<int>(c);
}

bool isDigit(int c) {
    return c >= '0' && c <= '9';
}
}  // namespace

bool readSceneFloat(std::istream& in, float& out) {
    std::string text;
    int c = peekChar(in);
    if (c == '+' || c == '-') {
        text += static_cast<char>(c);
        in.get();
        c = peekChar(in);
    }
    bool digits = false;
    bool point = false;
    bool exponent = false;
    while (c >= 0) {
        if (isDigit(c)) {
            text += static_cast<char>(c);
            digits = true;
        } else if (c == '.' && !point && !exponent) {
            text += '.';
            point = true;
        } else if ((c == 'e' || c == 'E') && !exponent && digits) {
            text += 'e';
            exponent = true;
            in.get();
            c = peekChar(in);
            if (c == '+' || c == '-') {
                text += static_cast<char>(c);
            } else {
                continue;
            }
        } else {
            break;
        }
        in.get();
        c = peekChar(in);
    }
    if (c < 0) {
        in.setstate(std::ios::eofbit);
    }
    const char* begin = text.c_str();
    char* end = nullptr;
    const float value = std::strtof(begin, &end);
    if (text.empty() || end != begin + text.size() || std::isinf(value)) {
        in.setstate(std::ios::failbit);
        return false;
    }
    out = value;
    return true;
}
