#include "tessascene/import/geomview_import.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "tessascene/figures/numbers.h"
#include "tessascene/import/text_input.h"

namespace tessascene {

namespace {

// Counts and indices must fit the graph's int indices.
constexpr long long kMaxCount = std::numeric_limits<int>::max();
// Storage is reserved from a declared count only up to this many items; beyond that it grows as
// data actually arrives, so an absurd count in a short file costs nothing.
constexpr long long kMaxReserve = 1 << 16;
// A face, cell or polyline line may end with a colour: a colormap index or 3 or 4 components.
constexpr std::size_t kMaxColourValues = 4;

// What a header keyword announces.
struct Format {
    enum class Kind { Off, Skel, Vect };
    Kind kind = Kind::Off;
    bool texture = false;  // ST: 2 texture coordinates after each vertex
    bool colour = false;   // C: 4 colour components after each vertex
    bool normal = false;   // N: a 3-component normal after each vertex
    bool four = false;     // 4: four coordinates per vertex
    bool nd = false;       // n: the dimension follows the keyword
};

// Splits a keyword such as "STCN4OFF" into its prefixes and its type, the prefixes in this
// order. Returns false when the word is no keyword of the family at all.
bool splitKeyword(std::string_view word, Format& format) {
    const auto take = [&word](std::string_view prefix) {
        if (word.substr(0, prefix.size()) != prefix) {
            return false;
        }
        word.remove_prefix(prefix.size());
        return true;
    };
    format.texture = take("ST");
    format.colour = take("C");
    format.normal = take("N");
    format.four = take("4");
    format.nd = take("n");
    if (word == "OFF") {
        format.kind = Format::Kind::Off;
    } else if (word == "SKEL") {
        format.kind = Format::Kind::Skel;
    } else if (word == "VECT") {
        format.kind = Format::Kind::Vect;
    } else {
        return false;
    }
    return true;
}

// As splitKeyword, and each type takes only some of the prefixes. Returns false for anything
// else.
bool parseKeyword(std::string_view word, Format& format) {
    if (!splitKeyword(word, format)) {
        return false;
    }
    switch (format.kind) {
        case Format::Kind::Off:
            return true;
        case Format::Kind::Skel:
            return !format.texture && !format.normal;
        case Format::Kind::Vect:
            return !format.texture && !format.colour && !format.normal && !format.nd;
    }
    return false;
}

std::string counted(long long count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// "the file has 16 vertices (0 to 15)", for index range messages.
std::string indexRange(long long count, const char* one, const char* many) {
    if (count == 0) {
        return std::string("the file has no ") + many;
    }
    return "the file has " + counted(count, one, many) + " (0 to " + std::to_string(count - 1) +
           ")";
}

enum class Parsed { Ok, NotANumber, OutOfRange, NotFinite };

// Reads a whole token as a number by tessascene's number rule, which must be finite.
Parsed parseNumber(std::string_view text, double& value) {
    switch (readNumber(text, value)) {
        case NumberRead::kNotANumber:
            return Parsed::NotANumber;
        case NumberRead::kOverflow:
        case NumberRead::kUnderflow:
            return Parsed::OutOfRange;
        case NumberRead::kNumber:
            break;
    }
    return std::isfinite(value) ? Parsed::Ok : Parsed::NotFinite;
}

// Reads a whole token as a whole number by tessascene's number rule.
Parsed parseNumber(std::string_view text, long long& value) {
    switch (readWholeNumber(text, value)) {
        case NumberRead::kNotANumber:
            return Parsed::NotANumber;
        case NumberRead::kOverflow:
            return Parsed::OutOfRange;
        case NumberRead::kUnderflow:  // never returned for a whole number
        case NumberRead::kNumber:
            break;
    }
    return Parsed::Ok;
}

// A line that cannot be read: too long, or a read error.
struct UnreadableLine {
    long line = 0;
    std::string what;
};

// The file's tokens one line at a time, comments removed. Line breaks stay visible because a
// few things in these formats end at the end of a line: the colour after a face, and the OFF
// count line, whose length tells the two OFF variants apart.
class Tokens {
public:
    explicit Tokens(std::istream& in) : in_(in) {}

    // Whether no token is left; reads ahead to the next line that has one. A line longer than
    // kMaxLineBytes or a read error ends the tokens, and unreadable() then says where and why.
    bool atEnd() {
        while (next_ == tokens_.size()) {
            if (!unreadable_.what.empty()) {
                return true;
            }
            switch (readBoundedLine(in_, text_)) {
                case LineStatus::kEnd:
                    return true;
                case LineStatus::kTooLong:
                    unreadable_ = {lineNumber_ + 1,
                                   "the line is longer than " + std::to_string(kMaxLineBytes) +
                                       " bytes; is this a text file of the OFF family?"};
                    return true;
                case LineStatus::kFailed:
                    unreadable_ = {lineNumber_ + 1, "the file cannot be read"};
                    return true;
                case LineStatus::kLine:
                    break;
            }
            ++lineNumber_;
            split();
        }
        return false;
    }

    // The next token and its line; only valid after atEnd() returned false.
    std::string_view peek() const { return tokens_[next_]; }
    long line() const { return lineNumber_; }

    std::string_view take() {
        lastLine_ = lineNumber_;
        return tokens_[next_++];
    }

    // Tokens left on the line of the token last taken, or of the next one after atEnd().
    std::size_t leftOnLine() const { return tokens_.size() - next_; }

    // The line of the last token taken, where a file that ends too early stops.
    long lastLine() const { return lastLine_ > 0 ? lastLine_ : 1; }

    // The line that could not be read; its what is empty while every line could.
    const UnreadableLine& unreadable() const { return unreadable_; }

private:
    void split() {
        tokens_.clear();
        next_ = 0;
        const std::string_view text(text_);
        splitWords(text.substr(0, text.find('#')), " \t\r\n\f\v", tokens_);
    }

    std::istream& in_;
    std::string text_;
    std::vector<std::string_view> tokens_;  // into text_
    std::size_t next_ = 0;
    long lineNumber_ = 0;
    long lastLine_ = 0;
    UnreadableLine unreadable_;
};

class Importer {
public:
    Importer(std::istream& in, const std::string& name, std::string& error)
        : tokens_(in), name_(name), error_(error) {}

    // Reads the figure; a line that cannot be read is the error, whatever the reading that
    // stopped there made of the end of its tokens.
    bool run(EdgeGraph& graph) {
        const bool read = this->read(graph);
        const UnreadableLine& unreadable = tokens_.unreadable();
        return unreadable.what.empty() ? read : fail(unreadable.line, unreadable.what);
    }

private:
    bool read(EdgeGraph& graph) {
        Format format;
        if (!readHeader(format)) {
            return false;
        }
        switch (format.kind) {
            case Format::Kind::Off:
                return readOff(format, graph) && checkEnd();
            case Format::Kind::Skel:
                return readSkel(format, graph) && checkEnd();
            case Format::Kind::Vect:
                return readVect(graph) && checkEnd();
        }
        return false;
    }

    bool fail(long line, const std::string& what) {
        error_ = name_ + ":" + std::to_string(line) + ": " + what;
        return false;
    }

    // Names what is being read, for the message if the file ends: either the items of a
    // section and how many of them are complete, or a single thing still to come.
    void expect(const char* items, long long done, long long total) {
        items_ = items;
        done_ = done;
        total_ = total;
    }
    void expect(const char* thing) {
        items_ = nullptr;
        thing_ = thing;
    }

    bool endedEarly() {
        if (items_ == nullptr) {
            return fail(tokens_.lastLine(), std::string("the file ends before ") + thing_);
        }
        return fail(tokens_.lastLine(), "the file ends after " + std::to_string(done_) + " of " +
                                            std::to_string(total_) + " " + items_);
    }

    // Reads a number: a long long or a double, which must be finite. describe() names it for
    // messages; line receives its line.
    template <typename T, typename Describe>
    bool readNumber(Describe describe, T& value, long& line) {
        if (tokens_.atEnd()) {
            return endedEarly();
        }
        line = tokens_.line();
        const std::string_view token = tokens_.take();
        switch (parseNumber(token, value)) {
            case Parsed::Ok:
                return true;
            case Parsed::OutOfRange:
                return fail(line, describe() + " " + quoted(token) + " is out of range");
            case Parsed::NotFinite:
                return fail(line, describe() + " " + quoted(token) + " is not a finite number");
            case Parsed::NotANumber:
                break;
        }
        return fail(line, std::string("expected ") +
                              (std::is_integral_v<T> ? "a whole number" : "a number") + " for " +
                              describe() + ", found " + quoted(token));
    }

    template <typename Describe>
    bool readWhole(Describe describe, long long& value, long& line) {
        return readNumber(describe, value, line);
    }

    template <typename Describe>
    bool readReal(Describe describe, double& value) {
        long line = 0;
        return readNumber(describe, value, line);
    }

    // Reads one of the counts that open a figure: 0 up to the largest int.
    bool readCount(const char* what, long long& count, long& line) {
        expect(what);
        const auto describe = [what] { return std::string(what); };
        if (!readWhole(describe, count, line)) {
            return false;
        }
        if (count < 0) {
            return fail(line, std::string(what) + " is " + std::to_string(count) +
                                  "; it cannot be negative");
        }
        if (count > kMaxCount) {
            return fail(line, std::string(what) + " is " + std::to_string(count) + "; at most " +
                                  std::to_string(kMaxCount) + " are supported");
        }
        return true;
    }

    bool readHeader(Format& format) {
        if (tokens_.atEnd()) {
            return fail(1, "the file is empty (no header keyword); expected e.g. 4OFF");
        }
        const long line = tokens_.line();
        const std::string_view keyword = tokens_.take();
        const std::string shown = quoted(keyword);
        if (!parseKeyword(keyword, format)) {
            return fail(line,
                        "unknown header " + shown + "; expected 4OFF, nOFF, 4SKEL, nSKEL or 4VECT");
        }
        if (format.four && format.nd) {
            return fail(
                line, "header " + shown + ": homogeneous coordinates (4 with n) are not supported");
        }
        if (!format.four && !format.nd) {
            return fail(line, "header " + shown +
                                  " announces a 3D figure; expected 4OFF, nOFF, 4SKEL, nSKEL "
                                  "or 4VECT");
        }
        if (format.normal && format.nd) {
            return fail(line, "header " + shown + ": normals are not supported with nOFF");
        }
        if (tokens_.leftOnLine() > 0 && tokens_.peek() == "BINARY") {
            return fail(line, "binary files are not supported; only text files can be read");
        }
        if (format.nd) {
            expect("the dimension");
            long long dimension = 0;
            long dimensionLine = 0;
            if (!readWhole([] { return std::string("the dimension"); }, dimension, dimensionLine)) {
                return false;
            }
            if (dimension != 4) {
                return fail(dimensionLine, "the figure has dimension " + std::to_string(dimension) +
                                               "; only dimension 4 is supported");
            }
        }
        return true;
    }

    // Reads the vertices: 4 coordinates each, followed by extra values that are checked to be
    // numbers and skipped. Each vertex is passed to keep, with the line of its first coordinate.
    template <typename Keep>
    bool readVertices(long long count, int extraValues, Keep keep) {
        for (long long i = 0; i < count; ++i) {
            expect("vertices", i, count);
            Vertex4 v{};
            long firstLine = 0;
            for (std::size_t k = 0; k < v.size(); ++k) {
                long line = 0;
                if (!readNumber(
                        [&] {
                            return "coordinate " + std::to_string(k + 1) + " of vertex " +
                                   std::to_string(i);
                        },
                        v[k], line)) {
                    return false;
                }
                firstLine = k == 0 ? line : firstLine;
            }
            for (int k = 0; k < extraValues; ++k) {
                double ignored = 0.0;
                if (!readReal([&] { return "the data after vertex " + std::to_string(i); },
                              ignored)) {
                    return false;
                }
            }
            keep(v, firstLine);
        }
        return true;
    }

    // Reads a face, cell or polyline: a count of at least 1, then that many indices below
    // limit, then an optional colour to the end of the line. Each index is passed to
    // visit(position, index). what is e.g. "face 3", target e.g. "vertex".
    template <typename Visit>
    bool readIndexList(const std::string& what, long long limit, const char* target,
                       const char* targets, Visit visit) {
        long long count = 0;
        long line = 0;
        if (!readWhole([&] { return "the length of " + what; }, count, line)) {
            return false;
        }
        if (count < 1) {
            return fail(line, what + " has a length of " + std::to_string(count) +
                                  "; it must be 1 or more");
        }
        for (long long j = 0; j < count; ++j) {
            long long index = 0;
            if (!readWhole(
                    [&] { return std::string(target) + " " + std::to_string(j) + " of " + what; },
                    index, line)) {
                return false;
            }
            if (index < 0 || index >= limit) {
                return fail(line, what + " names " + target + " " + std::to_string(index) +
                                      ", but " + indexRange(limit, target, targets));
            }
            visit(j, static_cast<int>(index));
        }
        return skipColour(what, count, line);
    }

    // Skips the colour that may end a face, cell or polyline line: at most 4 numbers. More
    // values on the line mean the length was wrong or two items share a line.
    bool skipColour(const std::string& what, long long length, long line) {
        const std::size_t values = tokens_.leftOnLine();
        if (values > kMaxColourValues) {
            return fail(line, what + " of length " + std::to_string(length) + " is followed by " +
                                  std::to_string(values) +
                                  " values on its line, more than a colour has; is its length "
                                  "right?");
        }
        for (std::size_t k = 0; k < values; ++k) {
            double ignored = 0.0;
            if (!readReal([&] { return "the colour of " + what; }, ignored)) {
                return false;
            }
        }
        return true;
    }

    // Nothing may follow the last item the counts announce: extra data means a count is wrong.
    bool checkEnd() {
        if (tokens_.atEnd()) {
            return true;
        }
        return fail(tokens_.line(), "unexpected " + quoted(tokens_.peek()) +
                                        " after the end of the figure; do the counts on line " +
                                        std::to_string(countLine_) + " match the data?");
    }

    static void reserveVertices(EdgeGraph& graph, long long count) {
        graph.vertices.reserve(static_cast<std::size_t>(std::min(count, kMaxReserve)));
    }

    // 4OFF and nOFF: "NVertices NFaces NEdges", or with a fourth count, NCells, cells of face
    // indices after the faces. Faces become their boundary edges; cells add no edges.
    bool readOff(const Format& format, EdgeGraph& graph) {
        expect("the count line");
        if (tokens_.atEnd()) {
            return endedEarly();
        }
        countLine_ = tokens_.line();
        const std::size_t counts = tokens_.leftOnLine();
        if (counts != 3 && counts != 4) {
            return fail(countLine_,
                        "expected the count line 'NVertices NFaces NEdges' or "
                        "'NVertices NFaces NEdges NCells', found " +
                            counted(static_cast<long long>(counts), "value", "values"));
        }
        long long vertexCount = 0, faceCount = 0, edgeCount = 0, cellCount = 0;
        long line = 0;
        if (!readCount("NVertices", vertexCount, line) || !readCount("NFaces", faceCount, line) ||
            !readCount("NEdges", edgeCount, line) ||
            (counts == 4 && !readCount("NCells", cellCount, line))) {
            return false;
        }
        // The edge count is often 0 or approximate in such files, so it is not checked.

        const int extraValues =
            (format.normal ? 3 : 0) + (format.colour ? 4 : 0) + (format.texture ? 2 : 0);
        reserveVertices(graph, vertexCount);
        const auto keep = [&graph](const Vertex4& v, long line) {
            graph.addVertex(v[0], v[1], v[2], v[3]);
            graph.vertexLines.push_back(line);
        };
        if (!readVertices(vertexCount, extraValues, keep)) {
            return false;
        }

        for (long long f = 0; f < faceCount; ++f) {
            expect("faces", f, faceCount);
            int first = 0;
            int previous = 0;
            std::vector<int> corners;
            const auto visit = [&](long long position, int index) {
                if (position == 0) {
                    first = index;
                } else {
                    graph.addEdge(previous, index);
                }
                previous = index;
                corners.push_back(index);
            };
            if (!readIndexList("face " + std::to_string(f), vertexCount, "vertex", "vertices",
                               visit)) {
                return false;
            }
            graph.addEdge(previous, first);  // closes the polygon; a loop for a 1-vertex face
            if (corners.size() >= 3) {       // a polygon; shorter "faces" are points and segments
                graph.faces.push_back(std::move(corners));
            }
        }

        for (long long c = 0; c < cellCount; ++c) {
            expect("cells", c, cellCount);
            if (!readIndexList("cell " + std::to_string(c), faceCount, "face", "faces",
                               [](long long, int) {})) {
                return false;
            }
        }
        return true;
    }

    // 4SKEL and nSKEL: "NVertices NPolylines", vertices, then open polylines of vertex indices.
    bool readSkel(const Format& format, EdgeGraph& graph) {
        long long vertexCount = 0, polylineCount = 0;
        long line = 0;
        if (!readCount("NVertices", vertexCount, countLine_) ||
            !readCount("NPolylines", polylineCount, line)) {
            return false;
        }
        reserveVertices(graph, vertexCount);
        const auto keep = [&graph](const Vertex4& v, long line) {
            graph.addVertex(v[0], v[1], v[2], v[3]);
            graph.vertexLines.push_back(line);
        };
        if (!readVertices(vertexCount, format.colour ? 4 : 0, keep)) {
            return false;
        }
        for (long long p = 0; p < polylineCount; ++p) {
            expect("polylines", p, polylineCount);
            int previous = 0;
            const auto visit = [&](long long position, int index) {
                if (position > 0) {
                    graph.addEdge(previous, index);
                }
                previous = index;
            };
            if (!readIndexList("polyline " + std::to_string(p), vertexCount, "vertex", "vertices",
                               visit)) {
                return false;
            }
        }
        return true;
    }

    // 4VECT: "NPolylines NVertices NColors", each polyline's vertex count (negative for a
    // closed one), each one's colour count, the vertices in polyline order, then the colours.
    // Polylines own their vertices, so vertices with exactly equal coordinates are merged to
    // let polylines that meet at a corner share it in the graph.
    bool readVect(EdgeGraph& graph) {
        long long polylineCount = 0, vertexCount = 0, colourCount = 0;
        long line = 0;
        if (!readCount("NPolylines", polylineCount, countLine_) ||
            !readCount("NVertices", vertexCount, line) ||
            !readCount("NColors", colourCount, line)) {
            return false;
        }

        std::vector<long long> lengths;  // signed, as in the file
        lengths.reserve(static_cast<std::size_t>(std::min(polylineCount, kMaxReserve)));
        long long vertexSum = 0;
        for (long long p = 0; p < polylineCount; ++p) {
            expect("polyline vertex counts", p, polylineCount);
            long long length = 0;
            if (!readWhole([&] { return "the vertex count of polyline " + std::to_string(p); },
                           length, line)) {
                return false;
            }
            if (length == 0 || length < -vertexCount || length > vertexCount) {
                return fail(line, "polyline " + std::to_string(p) + " has a vertex count of " +
                                      std::to_string(length) + "; it must be 1 to " +
                                      std::to_string(vertexCount) +
                                      " (NVertices), negative for a closed polyline");
            }
            vertexSum += std::llabs(length);
            lengths.push_back(length);
        }
        if (vertexSum != vertexCount) {
            return fail(countLine_, "the polylines' vertex counts add up to " +
                                        std::to_string(vertexSum) + ", but NVertices is " +
                                        std::to_string(vertexCount));
        }

        long long colourSum = 0;
        for (long long p = 0; p < polylineCount; ++p) {
            expect("polyline colour counts", p, polylineCount);
            long long colours = 0;
            if (!readWhole([&] { return "the colour count of polyline " + std::to_string(p); },
                           colours, line)) {
                return false;
            }
            const long long length = std::llabs(lengths[static_cast<std::size_t>(p)]);
            if (colours < 0 || colours > length) {
                return fail(line, "polyline " + std::to_string(p) + " has a colour count of " +
                                      std::to_string(colours) + "; it must be 0 to " +
                                      std::to_string(length) + ", its number of vertices");
            }
            colourSum += colours;
        }
        if (colourSum != colourCount) {
            return fail(countLine_, "the polylines' colour counts add up to " +
                                        std::to_string(colourSum) + ", but NColors is " +
                                        std::to_string(colourCount));
        }

        // The graph index of each vertex of the file, after merging.
        std::vector<int> merged;
        merged.reserve(static_cast<std::size_t>(std::min(vertexCount, kMaxReserve)));
        std::map<Vertex4, int> known;
        const auto keep = [&](const Vertex4& v, long line) {
            const auto found = known.find(v);
            if (found != known.end()) {
                merged.push_back(found->second);
                return;
            }
            const int index = graph.addVertex(v[0], v[1], v[2], v[3]);
            graph.vertexLines.push_back(line);
            known.emplace(v, index);
            merged.push_back(index);
        };
        if (!readVertices(vertexCount, 0, keep)) {
            return false;
        }

        for (long long c = 0; c < colourCount; ++c) {
            expect("colours", c, colourCount);
            for (int k = 0; k < 4; ++k) {
                double ignored = 0.0;
                if (!readReal(
                        [&] {
                            return "component " + std::to_string(k + 1) + " of colour " +
                                   std::to_string(c);
                        },
                        ignored)) {
                    return false;
                }
            }
        }

        std::size_t start = 0;
        for (const long long signedLength : lengths) {
            const std::size_t length = static_cast<std::size_t>(std::llabs(signedLength));
            for (std::size_t j = 1; j < length; ++j) {
                graph.addEdge(merged[start + j - 1], merged[start + j]);
            }
            if (signedLength < 0) {
                graph.addEdge(merged[start + length - 1], merged[start]);
            }
            start += length;
        }
        return true;
    }

    Tokens tokens_;
    const std::string& name_;
    std::string& error_;
    long countLine_ = 1;
    const char* items_ = nullptr;
    const char* thing_ = "the header";
    long long done_ = 0;
    long long total_ = 0;
};

}  // namespace

bool isOffKeyword(std::string_view word) {
    Format format;
    return splitKeyword(word, format);
}

bool importFigure(std::istream& in, const std::string& name, EdgeGraph& graph, std::string& error) {
    // Built aside so that a failed import leaves the caller's graph as it was.
    EdgeGraph figure;
    if (!Importer(in, name, error).run(figure)) {
        return false;
    }
    graph = std::move(figure);
    return true;
}

}  // namespace tessascene
