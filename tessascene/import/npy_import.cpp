#include "tessascene/import/npy_import.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "scene/scene_format.h"
#include "tessascene/import/text_input.h"
#include "tessascene/import/zip_archive.h"

namespace tessascene {

namespace {

constexpr std::size_t kMagicBytes = 6;
constexpr std::uint32_t kMaxHeaderBytes = 1u << 16;  // numpy writes a few hundred bytes

// A value of the Python literal that the header holds.
struct Literal {
    enum class Kind { kString, kNumber, kBool, kNone, kTuple, kList, kDict } kind = Kind::kNone;
    std::string text;            // a string's contents or a number's digits
    bool truth = false;          // a bool
    std::vector<Literal> items;  // a tuple's or list's items; a dict's keys and values
};

// Parses the small subset of Python literals that numpy writes in a header.
class LiteralParser {
public:
    explicit LiteralParser(std::string_view text) : text_(text) {}

    bool parse(Literal& value) {
        if (!parseValue(value, 0)) {
            return false;
        }
        skipBlanks();
        return position_ == text_.size();
    }

private:
    void skipBlanks() {
        while (position_ < text_.size() && (text_[position_] == ' ' || text_[position_] == '\n' ||
                                            text_[position_] == '\t' || text_[position_] == '\r')) {
            ++position_;
        }
    }

    bool take(char c) {
        skipBlanks();
        if (position_ < text_.size() && text_[position_] == c) {
            ++position_;
            return true;
        }
        return false;
    }

    bool parseItems(char close, Literal& value, int depth, bool pairs) {
        for (;;) {
            if (take(close)) {
                return true;
            }
            value.items.emplace_back();
            if (!parseValue(value.items.back(), depth + 1)) {
                return false;
            }
            if (pairs) {
                value.items.emplace_back();
                if (!take(':') || !parseValue(value.items.back(), depth + 1)) {
                    return false;
                }
            }
            if (!take(',')) {
                return take(close);
            }
        }
    }

    bool parseValue(Literal& value, int depth) {
        skipBlanks();
        if (depth > 8 || position_ >= text_.size()) {
            return false;
        }
        const char c = text_[position_];
        if (c == '\'' || c == '"') {
            const std::size_t end = text_.find(c, position_ + 1);
            if (end == std::string_view::npos) {
                return false;
            }
            value.kind = Literal::Kind::kString;
            value.text = std::string(text_.substr(position_ + 1, end - position_ - 1));
            position_ = end + 1;
            return true;
        }
        if (c == '(' || c == '[' || c == '{') {
            ++position_;
            value.kind = c == '('   ? Literal::Kind::kTuple
                         : c == '[' ? Literal::Kind::kList
                                    : Literal::Kind::kDict;
            return parseItems(c == '(' ? ')' : c == '[' ? ']' : '}', value, depth, c == '{');
        }
        for (const char* word : {"True", "False", "None"}) {
            if (text_.substr(position_, std::strlen(word)) == word) {
                value.kind = word[0] == 'N' ? Literal::Kind::kNone : Literal::Kind::kBool;
                value.truth = word[0] == 'T';
                position_ += std::strlen(word);
                return true;
            }
        }
        std::size_t end = position_;
        while (end < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[end])) ||
                                      (end == position_ && text_[end] == '-'))) {
            ++end;
        }
        if (end == position_) {
            return false;
        }
        while (end < text_.size() && (text_[end] == 'L' || text_[end] == 'l')) {
            ++end;  // Python 2 long integers
        }
        value.kind = Literal::Kind::kNumber;
        value.text = std::string(text_.substr(position_, end - position_));
        position_ = end;
        return true;
    }

    std::string_view text_;
    std::size_t position_ = 0;
};

// An element type the reader converts: the byte order, the kind and the size in bytes.
struct ElementType {
    char kind = 'f';  // 'f', 'i' or 'u'
    int bytes = 8;
    bool bigEndian = false;
};

double readElement(const unsigned char* data, const ElementType& type) {
    unsigned char b[8];
    for (int i = 0; i < type.bytes; ++i) {
        b[i] = type.bigEndian ? data[type.bytes - 1 - i] : data[i];
    }
    std::uint64_t bits = 0;
    for (int i = type.bytes - 1; i >= 0; --i) {
        bits = (bits << 8) | b[i];
    }
    if (type.kind == 'f') {
        if (type.bytes == 4) {
            float f;
            const std::uint32_t low = static_cast<std::uint32_t>(bits);
            std::memcpy(&f, &low, 4);
            return f;
        }
        double d;
        std::memcpy(&d, &bits, 8);
        return d;
    }
    if (type.kind == 'u') {
        return static_cast<double>(bits);
    }
    const int shift = 64 - 8 * type.bytes;  // sign-extend
    return static_cast<double>(static_cast<std::int64_t>(bits << shift) >> shift);
}

std::string shapeText(const std::vector<std::uint64_t>& shape) {
    std::string text = "(";
    for (std::size_t i = 0; i < shape.size(); ++i) {
        text += (i > 0 ? ", " : "") + std::to_string(shape[i]);
    }
    return text + (shape.size() == 1 ? ",)" : ")");
}

// What a dtype the reader does not take holds, in words.
std::string refusedType(const std::string& descr) {
    const std::string code = descr.substr(descr.find_first_not_of("<>|=") == std::string::npos
                                              ? descr.size()
                                              : descr.find_first_not_of("<>|="));
    const char kind = code.empty() ? '?' : code[0];
    switch (kind) {
        case 'O':
            return "Python objects (dtype object), which numpy stores as a pickle that can run "
                   "code when loaded; save a float or integer array";
        case 'c':
            return "complex numbers (" + descr + "); a point has four real coordinates";
        case 'U':
        case 'S':
        case 'a':
            return "text (" + descr + "), not numbers";
        case 'b':
            return "booleans (" + descr + "), not numbers";
        case 'M':
        case 'm':
            return "dates or times (" + descr + "), not coordinates";
        case 'f':
            return "floats of type " + descr + "; save them as float32 or float64";
        default:
            return "elements of type " + quoted(descr) +
                   ", which this reader does not take; save a float or integer array";
    }
}

class NpyReader {
public:
    NpyReader(ByteSource& source, std::uint64_t knownSize, const std::string& name,
              const TableOptions& options, std::string& error)
        : source_(source), knownSize_(knownSize), name_(name), options_(options), error_(error) {}

    bool run(PointTable& table) { return readHeader() && chooseColumns() && readData(table); }

private:
    bool fail(const std::string& message) {
        error_ = name_ + ": " + message;
        return false;
    }

    // Reads exactly size bytes; false at an early end or an error.
    bool readExact(char* data, std::size_t size) {
        while (size > 0) {
            const long n = source_.read(data, size);
            if (n < 0) {
                return fail("cannot read the file: " + source_.failure());
            }
            if (n == 0) {
                return false;
            }
            data += n;
            size -= static_cast<std::size_t>(n);
            consumed_ += static_cast<std::uint64_t>(n);
        }
        return true;
    }

    bool readHeader() {
        unsigned char start[12];
        if (!readExact(reinterpret_cast<char*>(start), 10)) {
            return error_.empty() ? fail("the .npy file ends inside its header") : false;
        }
        if (std::memcmp(start, kNpyMagic, kMagicBytes) != 0) {
            return fail("does not start with numpy's magic bytes");
        }
        const int major = start[6], minor = start[7];
        if (major < 1 || major > 3 || minor != 0) {
            return fail("is a .npy file of format version " + std::to_string(major) + "." +
                        std::to_string(minor) + "; this reader knows versions 1.0 to 3.0");
        }
        std::uint32_t headerBytes = start[8] | (start[9] << 8);
        if (major > 1) {
            if (!readExact(reinterpret_cast<char*>(start) + 10, 2)) {
                return error_.empty() ? fail("the .npy file ends inside its header") : false;
            }
            headerBytes |= (static_cast<std::uint32_t>(start[10]) << 16) |
                           (static_cast<std::uint32_t>(start[11]) << 24);
        }
        if (headerBytes > kMaxHeaderBytes ||
            (knownSize_ > 0 && headerBytes > knownSize_ - std::min(knownSize_, consumed_))) {
            return fail("the .npy header claims " + std::to_string(headerBytes) +
                        " bytes, more than the file holds or a header needs (a damaged file?)");
        }
        std::string header(headerBytes, '\0');
        if (!readExact(header.data(), header.size())) {
            return error_.empty() ? fail("the .npy file ends inside its header") : false;
        }
        Literal dict;
        if (!LiteralParser(header).parse(dict) || dict.kind != Literal::Kind::kDict) {
            return fail("the .npy header is not the dictionary numpy writes: " + quoted(header));
        }
        const Literal* descr = nullptr;
        const Literal* fortran = nullptr;
        const Literal* shape = nullptr;
        for (std::size_t i = 0; i + 1 < dict.items.size(); i += 2) {
            const std::string& key = dict.items[i].text;
            const Literal* value = &dict.items[i + 1];
            (key == "descr"           ? descr
             : key == "fortran_order" ? fortran
             : key == "shape"         ? shape
                                      : value) = value;
        }
        if (descr == nullptr || fortran == nullptr || shape == nullptr ||
            fortran->kind != Literal::Kind::kBool || shape->kind != Literal::Kind::kTuple) {
            return fail("the .npy header lacks descr, fortran_order or shape: " + quoted(header));
        }
        fortranOrder_ = fortran->truth;
        if (descr->kind != Literal::Kind::kString) {
            return fail(
                "holds a structured array (named fields of their own types); save a "
                "plain float or integer array");
        }
        if (!parseType(descr->text)) {
            return false;
        }
        for (const Literal& item : shape->items) {
            if (item.kind != Literal::Kind::kNumber || item.text[0] == '-' ||
                item.text.size() > 18) {
                return fail("the .npy header has a bad shape: " + quoted(header));
            }
            shape_.push_back(std::stoull(item.text));
        }
        return true;
    }

    bool parseType(const std::string& descr) {
        std::size_t at = 0;
        if (!descr.empty() && std::strchr("<>|=", descr[0]) != nullptr) {
            type_.bigEndian = descr[0] == '>';
            at = 1;
        }
        const std::string code = descr.substr(at);
        const bool known = code == "f4" || code == "f8" ||
                           ((code[0] == 'i' || code[0] == 'u') &&
                            (code.substr(1) == "1" || code.substr(1) == "2" ||
                             code.substr(1) == "4" || code.substr(1) == "8"));
        if (code.empty() || !known) {
            return fail("holds " + refusedType(descr));
        }
        type_.kind = code[0];
        type_.bytes = code[1] - '0';
        typeName_ = (type_.kind == 'f'   ? "float"
                     : type_.kind == 'i' ? "int"
                                         : "uint") +
                    std::to_string(8 * type_.bytes);
        return true;
    }

    bool chooseColumns() {
        const std::string holds = "holds an array of shape " + shapeText(shape_);
        if (shape_.size() < 2 || shape_.size() > 3) {
            return fail(holds +
                        "; a point table is an array of shape (N, 4): N points of four "
                        "coordinates, or (K, N, 4): K polylines");
        }
        columnCount_ = shape_.back();
        rows_ = shape_[shape_.size() - 2];
        paths_ = shape_.size() == 3 ? shape_[0] : 1;
        if (columnCount_ < 4) {
            return fail(holds + ": " + std::to_string(columnCount_) +
                        " columns where a point needs four (x, y, z, q)");
        }
        if (!options_.group.empty()) {
            return fail("--group is for text tables; a (K, N, 4) array holds K polylines");
        }
        for (std::size_t i = 0; i < 4; ++i) {
            std::size_t column = i;
            if (!options_.columns.empty()) {
                const std::string& wanted = options_.columns[i];
                if (wanted.empty() || wanted.size() > 9 ||
                    wanted.find_first_not_of("0123456789") != std::string::npos) {
                    return fail("--columns names column " + quoted(wanted) +
                                ", but an array has no column names; give column numbers from "
                                "1 to " +
                                std::to_string(columnCount_));
                }
                const std::uint64_t number = std::stoull(wanted);
                if (number < 1 || number > columnCount_) {
                    return fail("--columns names column " + wanted + ", but the array has " +
                                std::to_string(columnCount_) + " columns (1 to " +
                                std::to_string(columnCount_) + ")");
                }
                column = static_cast<std::size_t>(number - 1);
            }
            columns_[i] = column;
        }
        // Each sum and product below stays far from overflow: every factor is below 2^60 and
        // their product is checked step by step.
        std::uint64_t elements = 1;
        for (std::uint64_t d : shape_) {
            if (d != 0 && elements > (std::uint64_t{1} << 60) / d) {
                return fail(holds + ", more than the file can hold");
            }
            elements *= d;
        }
        dataBytes_ = elements * static_cast<std::uint64_t>(type_.bytes);
        if (elements > (std::uint64_t{1} << 56)) {
            return fail(holds + ", more than the file can hold");
        }
        if (knownSize_ > 0 && dataBytes_ > knownSize_ - std::min(knownSize_, consumed_)) {
            return fail(holds + " of " + std::to_string(dataBytes_) + " bytes, but only " +
                        std::to_string(knownSize_ - std::min(knownSize_, consumed_)) +
                        " bytes follow the header (a truncated file?)");
        }
        if (rows_ * paths_ > kMaxTablePoints) {
            return fail(holds + ": more than " + std::to_string(kMaxTablePoints) +
                        " points; thin the data out first");
        }
        if (paths_ > static_cast<std::uint64_t>(kMaxPolylines)) {
            return fail(holds + ": " + std::to_string(paths_) +
                        " polylines; a figure holds at most " + std::to_string(kMaxPolylines));
        }
        if (rows_ * paths_ == 0) {
            return fail(holds + ": no points");
        }
        return true;
    }

    // Streams the elements in file order into the points: in C order the column runs fastest,
    // in Fortran order the first index does.
    bool readData(PointTable& table) {
        std::vector<std::vector<Vertex4>> paths(static_cast<std::size_t>(paths_));
        // What is reserved ahead is bounded by what the file was checked to hold; data of
        // unknown size grows as it arrives.
        const std::size_t ahead = knownSize_ > 0 ? static_cast<std::size_t>(rows_) : 4096;
        for (auto& path : paths) {
            path.reserve(std::min<std::size_t>(ahead, static_cast<std::size_t>(rows_)));
        }
        const std::size_t firstColumn = *std::min_element(columns_, columns_ + 4);
        std::uint64_t a = 0, b = 0, c = 0;  // path, row, column of the next element
        Vertex4 point{};
        std::vector<char> block(std::max<std::size_t>(64 * 1024, type_.bytes));
        const std::size_t perBlock = block.size() / static_cast<std::size_t>(type_.bytes);
        std::uint64_t left = dataBytes_ / static_cast<std::uint64_t>(type_.bytes);
        while (left > 0) {
            const std::size_t count =
                static_cast<std::size_t>(std::min<std::uint64_t>(perBlock, left));
            if (!readExact(block.data(), count * static_cast<std::size_t>(type_.bytes))) {
                return error_.empty() ? fail("holds an array of shape " + shapeText(shape_) +
                                             ", but its data ends early (a truncated file?)")
                                      : false;
            }
            left -= count;
            const unsigned char* p = reinterpret_cast<const unsigned char*>(block.data());
            for (std::size_t e = 0; e < count; ++e, p += type_.bytes) {
                const bool wanted =
                    c == columns_[0] || c == columns_[1] || c == columns_[2] || c == columns_[3];
                if (wanted) {
                    const double value = readElement(p, type_);
                    if (fortranOrder_) {
                        std::vector<Vertex4>& path = paths[static_cast<std::size_t>(a)];
                        if (c == firstColumn) {
                            path.emplace_back();
                        }
                        Vertex4& v = path[static_cast<std::size_t>(b)];
                        for (int i = 0; i < 4; ++i) {
                            v[i] = columns_[i] == c ? value : v[i];
                        }
                    } else {
                        for (int i = 0; i < 4; ++i) {
                            point[i] = columns_[i] == c ? value : point[i];
                        }
                    }
                }
                if (!fortranOrder_) {
                    if (++c == columnCount_) {
                        paths[static_cast<std::size_t>(a)].push_back(point);
                        c = 0;
                        if (++b == rows_) {
                            b = 0;
                            ++a;
                        }
                    }
                } else if (++a == paths_) {
                    a = 0;
                    if (++b == rows_) {
                        b = 0;
                        ++c;
                    }
                }
            }
        }
        return collect(paths, table);
    }

    // Checks every point and splits paths at rows of NaN.
    bool collect(std::vector<std::vector<Vertex4>>& paths, PointTable& table) {
        table = PointTable{};
        for (std::size_t a = 0; a < paths.size(); ++a) {
            std::vector<Vertex4>& path = paths[a];
            bool split = false;
            for (std::size_t b = 0; b < path.size(); ++b) {
                int missing = 0;
                for (int i = 0; i < 4; ++i) {
                    const double v = path[b][i];
                    missing += std::isnan(v) ? 1 : 0;
                    if (std::isinf(v) || (std::isfinite(v) && std::fabs(v) > FLT_MAX)) {
                        return fail(rowName(a, b) + " holds " + std::to_string(v) +
                                    ", beyond the range of 32-bit floats");
                    }
                }
                if (missing > 0 && missing < 4) {
                    return fail(rowName(a, b) +
                                " has NaN among numbers; only a row of NaN alone separates "
                                "polylines");
                }
                split = split || missing == 4;
            }
            if (!split) {
                table.points += path.size();
                for (const Vertex4& v : path) {
                    table.box.add(v);
                }
                table.paths.push_back(std::move(path));
                continue;
            }
            std::vector<Vertex4> part;
            for (std::size_t b = 0; b <= path.size(); ++b) {
                if (b == path.size() || std::isnan(path[b][0])) {
                    if (!part.empty()) {
                        table.points += part.size();
                        table.paths.push_back(std::move(part));
                        part.clear();
                    }
                    continue;
                }
                part.push_back(path[b]);
                table.box.add(path[b]);
            }
            std::vector<Vertex4>().swap(path);
        }
        if (table.points == 0) {
            return fail("holds no points but rows of NaN");
        }
        std::string used;
        for (std::size_t i = 0; i < 4; ++i) {
            used += (i > 0 ? ", " : "") + std::to_string(columns_[i] + 1);
        }
        if (columns_[1] == columns_[0] + 1 && columns_[2] == columns_[0] + 2 &&
            columns_[3] == columns_[0] + 3) {
            used = std::to_string(columns_[0] + 1) + " to " + std::to_string(columns_[3] + 1);
        }
        table.description = (type_.kind == 'i' ? "an " : "a ") + typeName_ + " array of shape " +
                            shapeText(shape_) + (fortranOrder_ ? " in Fortran order" : "") +
                            ", using columns " + used + kAsCoordinates;
        return true;
    }

    std::string rowName(std::size_t path, std::size_t row) const {
        return paths_ > 1 ? "row " + std::to_string(row) + " of polyline " + std::to_string(path)
                          : "row " + std::to_string(row);
    }

    ByteSource& source_;
    std::uint64_t knownSize_;
    const std::string& name_;
    const TableOptions& options_;
    std::string& error_;
    std::uint64_t consumed_ = 0;
    ElementType type_;
    std::string typeName_;
    bool fortranOrder_ = false;
    std::vector<std::uint64_t> shape_;
    std::uint64_t columnCount_ = 0, rows_ = 0, paths_ = 0, dataBytes_ = 0;
    std::size_t columns_[4] = {0, 1, 2, 3};
};

}  // namespace

bool importNpy(ByteSource& source, std::uint64_t knownSize, const std::string& name,
               const TableOptions& options, PointTable& table, std::string& error) {
    table = PointTable{};
    return NpyReader(source, knownSize, name, options, error).run(table);
}

bool importNpz(std::string_view bytes, const std::string& name, const TableOptions& options,
               PointTable& table, std::string& error) {
    const std::string& shown = name;
    ZipArchive archive;
    std::string problem;
    if (!archive.open(bytes, problem)) {
        error = shown + ": cannot be read as a zip archive: " + problem +
                " (a damaged or truncated file?)";
        return false;
    }
    const auto arrayName = [](const std::string& member) {
        return member.size() > 4 && member.compare(member.size() - 4, 4, ".npy") == 0
                   ? member.substr(0, member.size() - 4)
                   : member;
    };
    // Only members named NAME.npy are arrays, as np.load sees them.
    const auto isArray = [](const ZipMember& member) {
        return member.name.size() > 4 &&
               member.name.compare(member.name.size() - 4, 4, ".npy") == 0;
    };
    const std::vector<ZipMember>& members = archive.members();
    const std::size_t arrays =
        static_cast<std::size_t>(std::count_if(members.begin(), members.end(), isArray));
    std::size_t chosen = members.size();
    std::string names;
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (!isArray(members[i])) {
            continue;
        }
        const std::string array = arrayName(members[i].name);
        names += (names.empty() ? "" : ", ") + quoted(array);
        if (options.array.empty() ? (arrays == 1 || array == "arr_0") : array == options.array) {
            chosen = i;
        }
    }
    if (arrays == 0) {
        error = shown +
                ": is a zip archive without .npy arrays, so no .npz; a spreadsheet workbook "
                "(.xlsx, .ods) is such an archive: save the sheet as CSV";
        return false;
    }
    if (chosen == members.size()) {
        error =
            shown + ": " +
            (options.array.empty() ? "holds several arrays; choose one with --array NAME: "
                                   : "holds no array " + quoted(options.array) + "; it holds ") +
            names;
        return false;
    }
    const ZipMember& member = members[chosen];
    const std::string array = shown + " (array " + quoted(arrayName(member.name)) + ")";
    std::unique_ptr<ByteSource> source = archive.member(chosen, problem);
    if (source == nullptr) {
        error = array + ": " + problem;
        return false;
    }
    // A stored member cannot hold more than the archive; a compressed one's size is only known
    // once it is read.
    const std::uint64_t known =
        member.stored ? std::min<std::uint64_t>(member.size, bytes.size()) : 0;
    const bool read = importNpy(*source, known, array, options, table, error);
    // Reading to the member's end checks its CRC-32, also where the array ended before it.
    char rest[4096];
    while (source->read(rest, sizeof rest) > 0) {
    }
    if (!source->failure().empty()) {
        error = shown + ": the member " + quoted(member.name) + " is damaged: " + source->failure();
        table = PointTable{};
        return false;
    }
    if (!read) {
        return false;
    }
    table.description = "array " + quoted(arrayName(member.name)) + ", " + table.description;
    return true;
}

}  // namespace tessascene
