#include "tessascene/import/data_import.h"

#include <istream>
#include <memory>

#include "tessascene/import/geomview_import.h"
#include "tessascene/import/npy_import.h"

namespace tessascene {

namespace {

constexpr std::string_view kBlanks = " \t\r\f\v";

// An .npz archive is held in memory up to this size.
constexpr std::size_t kMaxArchiveBytes = std::size_t{1} << 30;

bool startsWith(std::string_view text, std::string_view start) {
    return text.substr(0, start.size()) == start;
}

}  // namespace

InputKind kindOfInput(std::string_view prefix) {
    if (startsWith(prefix, kNpyMagic)) {
        return InputKind::kNpy;
    }
    if (startsWith(prefix, "PK\x03\x04") || startsWith(prefix, "PK\x05\x06")) {
        return InputKind::kNpz;
    }
    if (prefix.size() >= 2 && static_cast<unsigned char>(prefix[0]) == 0x80 && prefix[1] >= 2 &&
        prefix[1] <= 5) {
        return InputKind::kPickle;
    }
    if (startsWith(prefix, "\xFF\xFE") || startsWith(prefix, "\xFE\xFF")) {
        return InputKind::kUtf16;
    }
    // Text holds no NUL byte and few control characters besides blanks and line ends.
    std::size_t control = 0;
    for (char c : prefix) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u == 0) {
            return InputKind::kBinary;
        }
        control += (u < 0x20 && kBlanks.find(c) == std::string_view::npos && c != '\n') || u == 0x7f
                       ? 1
                       : 0;
    }
    if (control * 20 > prefix.size()) {
        return InputKind::kBinary;
    }
    // The first word that is not in a comment tells an OFF-family file.
    std::string_view rest = prefix;
    if (startsWith(rest, "\xEF\xBB\xBF")) {
        rest.remove_prefix(3);
    }
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const std::size_t begin = line.find_first_not_of(kBlanks);
        if (begin == std::string_view::npos || line[begin] == '#') {
            continue;
        }
        line.remove_prefix(begin);
        return isOffKeyword(line.substr(0, line.find_first_of(kBlanks))) ? InputKind::kOffFamily
                                                                         : InputKind::kTable;
    }
    return InputKind::kTable;
}

bool importInput(Input& input, const std::string& name, const TableOptions& options,
                 EdgeGraph& graph, PointTable& table, bool& isTable, std::string& error) {
    const std::string& shown = name;
    const InputKind kind = kindOfInput(input.prefix());
    isTable = kind != InputKind::kOffFamily;
    if (!options.array.empty() && kind != InputKind::kNpz) {
        error = shown + ": --array chooses an array of an .npz archive, and this is none";
        return false;
    }
    switch (kind) {
        case InputKind::kPickle:
            error = shown +
                    ": is a Python pickle, which can run code when loaded; save the array with "
                    "np.save instead";
            return false;
        case InputKind::kUtf16:
            error = shown + ": is UTF-16 text; save it as UTF-8";
            return false;
        case InputKind::kBinary:
            error = shown + " does not look like a text table, an OFF-family file or a .npy array";
            return false;
        case InputKind::kNpy:
            return importNpy(input.source(), input.knownSize(), name, options, table, error);
        case InputKind::kNpz: {
            // The archive is read into memory, up to a limit.
            const std::string tooLarge =
                shown +
                ": an .npz archive is read into memory, and this one is larger than 1 GiB; save "
                "the array with np.save instead (a .npy file is read as it streams)";
            if (input.knownSize() > kMaxArchiveBytes) {
                error = tooLarge;
                return false;
            }
            std::string bytes;
            bytes.reserve(static_cast<std::size_t>(input.knownSize()));
            char block[64 * 1024];
            for (;;) {
                const long n = input.source().read(block, sizeof block);
                if (n < 0) {
                    error = shown + ": cannot read the file: " + input.source().failure();
                    return false;
                }
                if (n == 0) {
                    break;
                }
                if (bytes.size() + static_cast<std::size_t>(n) > kMaxArchiveBytes) {
                    error = tooLarge;
                    return false;
                }
                bytes.append(block, static_cast<std::size_t>(n));
            }
            return importNpz(bytes, name, options, table, error);
        }
        case InputKind::kOffFamily:
        case InputKind::kTable:
            break;
    }
    if (kind == InputKind::kOffFamily && (!options.columns.empty() || !options.group.empty())) {
        error = shown +
                ": is an OFF-family figure, which has no columns; --columns and --group are for "
                "point tables";
        return false;
    }
    SourceStreamBuffer buffer(input.source());
    std::istream in(&buffer);
    const bool read = kind == InputKind::kTable ? importTable(in, name, options, table, error)
                                                : importFigure(in, name, graph, error);
    if (buffer.failed()) {
        error = shown + ": cannot read the file: " + input.source().failure();
        return false;
    }
    return read;
}

}  // namespace tessascene
