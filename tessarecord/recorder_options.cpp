// Output names and key sequences of the recorder.
#include "tessarecord/recorder_options.h"

#include <cctype>

#include "toolkit/shown_name.h"

namespace tessarecord {

namespace {

constexpr int kMaxNumberWidth = 9;

// True when name ends with ext, letters compared without case.
bool endsWith(const std::string& name, const std::string& ext) {
    if (name.size() <= ext.size()) {
        return false;
    }
    const std::string tail = name.substr(name.size() - ext.size());
    for (size_t i = 0; i < ext.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(tail[i])) != ext[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool parseOutputName(const std::string& name, OutputName& out, std::string& error) {
    out = OutputName{};
    std::string literal;  // the name with %% turned into %, up to the number
    bool numbered = false;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '%') {
            literal += name[i];
            continue;
        }
        if (i + 1 < name.size() && name[i + 1] == '%') {
            literal += '%';
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool zero = false;
        if (j < name.size() && name[j] == '0') {
            zero = true;
            ++j;
        }
        int width = 0;
        while (j < name.size() && std::isdigit(static_cast<unsigned char>(name[j]))) {
            width = width * 10 + (name[j] - '0');
            if (width > kMaxNumberWidth) {
                error =
                    "the frame number in '" + toolkit::shownName(name) + "' is wider than 9 digits";
                return false;
            }
            ++j;
        }
        if (j >= name.size() || name[j] != 'd' || numbered) {
            error = "'" + toolkit::shownName(name) +
                    "' may hold one frame number (%d, %03d, ...) and %% for a percent sign, "
                    "nothing else after a %";
            return false;
        }
        numbered = true;
        out.prefix = literal;
        literal.clear();
        out.width = width;
        out.zeroPad = zero;
        i = j;
    }
    if (numbered) {
        out.suffix = literal;
    } else {
        out.prefix = literal;
    }
    const size_t slash = name.rfind('/');
    const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    if (base.size() == 4 && (endsWith("x" + base, ".png") || endsWith("x" + base, ".gif"))) {
        error = "the output name '" + toolkit::shownName(name) + "' needs a name before " + base;
        return false;
    }
    if (endsWith(name, ".png")) {
        out.kind = numbered ? OutputKind::kPngSequence : OutputKind::kLastPng;
        return true;
    }
    if (endsWith(name, ".gif") && !numbered) {
        out.kind = OutputKind::kGif;
        return true;
    }
    error = numbered
                ? "a numbered output name '" + toolkit::shownName(name) + "' must end in .png"
                : "the output name '" + toolkit::shownName(name) + "' must end in .gif or .png";
    return false;
}

std::string frameFileName(const OutputName& name, int index) {
    if (name.kind != OutputKind::kPngSequence) {
        return name.prefix;
    }
    std::string digits = std::to_string(index);
    const size_t width = static_cast<size_t>(name.width);
    if (digits.size() < width) {
        digits.insert(0, width - digits.size(), name.zeroPad ? '0' : ' ');
    }
    return name.prefix + digits + name.suffix;
}

bool parseWholeNumber(const std::string& option, const std::string& text, int lo, int hi,
                      int& value, std::string& error) {
    long long number = 0;
    bool digits = !text.empty() && text.size() <= 10;
    for (char c : text) {
        digits = digits && std::isdigit(static_cast<unsigned char>(c));
        number = digits ? number * 10 + (c - '0') : 0;
    }
    if (!digits || number < lo || number > hi) {
        error = option + " takes a whole number from " + std::to_string(lo) + " to " +
                std::to_string(hi) + ", not '" + toolkit::shownName(text) + "'";
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

bool keySequence(const std::string& keys, int steps, std::string& out, std::string& error) {
    for (char c : keys) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7e) {
            error = "--keys takes printable ASCII characters only; character code " +
                    std::to_string(u) + " is not one";
            return false;
        }
    }
    out = keys + std::string(static_cast<size_t>(steps), '>');
    return true;
}

}  // namespace tessarecord
