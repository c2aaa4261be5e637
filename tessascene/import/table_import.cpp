#include "tessascene/import/table_import.h"

#include <sys/mman.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <system_error>
#include <utility>

#include "tessascene/import/table_fields.h"
#include "tessascene/import/text_input.h"

namespace tessascene {

namespace {

// Asks the system to back the untouched memory at data with large pages where it can: a long
// table then costs a fraction of the page faults. Only a hint; nothing changes if it is refused.
void useLargePages(void* data, std::size_t size) {
    constexpr std::uintptr_t kLarge = std::uintptr_t{2} << 20;
    const std::uintptr_t begin =
        (reinterpret_cast<std::uintptr_t>(data) + kLarge - 1) & ~(kLarge - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(kLarge - 1);
    if (end > begin) {
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
}

// The points of one polyline as they arrive, kept in blocks mapped straight from the system:
// a path costs its points and one block, its vector is made at its exact size, and each block
// goes back to the system once copied, so a long table never needs twice its points at once
// (a growing vector would, when it moves).
class PathCollector {
public:
    PathCollector() = default;
    PathCollector(const PathCollector&) = delete;
    PathCollector& operator=(const PathCollector&) = delete;
    ~PathCollector() { release(); }

    std::size_t size() const { return size_; }

    void push(const Vertex4& point) {
        if (size_ == blocks_.size() * kBlockPoints) {
            void* memory = ::mmap(nullptr, kBlockBytes, PROT_READ | PROT_WRITE,
                                  MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (memory == MAP_FAILED) {
                throw std::bad_alloc();
            }
            useLargePages(memory, kBlockBytes);
            blocks_.push_back(static_cast<Vertex4*>(memory));
        }
        blocks_.back()[size_ % kBlockPoints] = point;
        ++size_;
    }

    // The points in order; the collector is empty afterwards.
    std::vector<Vertex4> take() {
        std::vector<Vertex4> points;
        points.reserve(size_);
        useLargePages(points.data(), size_ * sizeof(Vertex4));
        for (std::size_t b = 0; b < blocks_.size(); ++b) {
            const std::size_t count = std::min(kBlockPoints, size_ - b * kBlockPoints);
            points.insert(points.end(), blocks_[b], blocks_[b] + count);
            ::munmap(blocks_[b], kBlockBytes);
            blocks_[b] = nullptr;
        }
        blocks_.clear();
        size_ = 0;
        return points;
    }

private:
    static constexpr std::size_t kBlockPoints = std::size_t{1} << 18;  // 8 MiB
    static constexpr std::size_t kBlockBytes = kBlockPoints * sizeof(Vertex4);

    void release() {
        for (std::size_t b = 0; b < blocks_.size(); ++b) {
            if (blocks_[b] != nullptr) {
                ::munmap(blocks_[b], kBlockBytes);
            }
        }
    }

    std::vector<Vertex4*> blocks_;
    std::size_t size_ = 0;
};

// A row of a tab-separated table without its blanks at the ends, but with its tabs: a tab there
// separates an empty value (pandas writes its index's empty name and NaN so).
std::string_view trimKeepingTabs(std::string_view text) {
    constexpr std::string_view kBlanksButTab = " \r\f\v";
    const std::size_t begin = text.find_first_not_of(kBlanksButTab);
    if (begin == std::string_view::npos) {
        return {};
    }
    return text.substr(begin, text.find_last_not_of(kBlanksButTab) - begin + 1);
}

// Whether a value of this kind is a number as written, whether or not a table may hold it.
bool isWritten(Value kind) {
    return kind == Value::kNumber || kind == Value::kInfinite || kind == Value::kOutOfRange ||
           kind == Value::kTooSmall;
}

// A header name as a message shows it: unprintable bytes as '?', at most 24 bytes.
std::string plainName(const std::string& name) {
    const std::string shown = quoted(name);
    return shown.substr(1, shown.size() - 2);
}

class TableReader {
public:
    TableReader(std::istream& in, const std::string& name, const TableOptions& options,
                std::string& error)
        : in_(in), name_(name), options_(options), error_(error) {}

    bool run(PointTable& table) {
        std::string comment;  // the text of a comment line directly above, '#' removed
        long commentLine = 0;
        bool started = false;
        for (;;) {
            const LineStatus status = readBoundedLine(in_, text_);
            if (status == LineStatus::kEnd) {
                break;
            }
            ++line_;
            recordLine_ = line_;
            if (!checkLine(status)) {
                return false;
            }
            std::string_view line(text_);
            if (line_ == 1 && line.substr(0, 3) == "\xEF\xBB\xBF") {
                line.remove_prefix(3);  // a byte order mark, as some spreadsheets write
            }
            std::string_view row = trim(line);
            if (row.empty()) {
                endPath(table);
                comment.clear();
                commentLine = 0;
                continue;
            }
            if (row[0] == '#') {
                comment = trim(row.substr(1));
                commentLine = line_;
                continue;
            }
            if ((started ? separator_ : separatorOf(row)) == Separator::kTab) {
                row = trimKeepingTabs(line);
            }
            if (row.find('"') != std::string_view::npos && !readRecord(row, started)) {
                return false;
            }
            if (!started) {
                started = true;
                if (!readLayout(row, commentLine == line_ - 1 ? comment : std::string())) {
                    return false;
                }
                if (header_) {
                    continue;
                }
            }
            if (!readRow(row, table)) {
                return false;
            }
        }
        endPath(table);
        if (line_ == 0) {
            line_ = recordLine_ = 1;
            return fail("the file is empty");
        }
        if (table.points == 0) {
            return fail("no rows of numbers: a point table has four values a row");
        }
        table.description = describeColumns();
        return true;
    }

private:
    bool fail(const std::string& message) {
        error_ = name_ + ":" + std::to_string(recordLine_) + ": " + message;
        return false;
    }

    bool checkLine(LineStatus status) {
        if (status == LineStatus::kTooLong) {
            return fail("the line is longer than " + std::to_string(kMaxLineBytes) +
                        " bytes; is this a table of numbers?");
        }
        if (status == LineStatus::kFailed) {
            return fail("cannot read the file");
        }
        return true;
    }

    // Joins the lines of a record whose quoted value holds line breaks into record_, and
    // points row at it. The separator of a first record is told from its first line.
    bool readRecord(std::string_view& row, bool started) {
        const Separator separator = started ? separator_ : separatorOf(row);
        QuoteState state;
        followQuotes(row, separator, state);
        if (!state.open) {
            return true;
        }
        record_.assign(row);
        while (state.open) {
            const LineStatus status = readBoundedLine(in_, text_);
            if (status == LineStatus::kEnd) {
                return fail(
                    "a quoted value is not closed: the quote that opens it has no "
                    "partner before the end of the file");
            }
            ++line_;
            if (!checkLine(status)) {
                return false;
            }
            std::string_view next(text_);
            if (!next.empty() && next.back() == '\r') {
                next.remove_suffix(1);
            }
            if (record_.size() + 1 + next.size() > kMaxLineBytes) {
                return fail("a quoted value runs on for more than " +
                            std::to_string(kMaxLineBytes) + " bytes; is a closing quote missing?");
            }
            record_ += '\n';
            record_.append(next);
            followQuotes(next, separator, state);  // the rest of the record is on this line
        }
        row = separator == Separator::kTab ? trimKeepingTabs(record_) : trim(record_);
        return true;
    }

    std::string columnName(std::size_t column) const {
        if (column < names_.size() && !names_[column].empty()) {
            return "column " + std::to_string(column + 1) + " (" + quoted(names_[column]) + ")";
        }
        return "column " + std::to_string(column + 1);
    }

    // Reads a value of the table: in a semicolon-separated table with decimal commas, the comma
    // is the decimal mark. mixed is set when the value uses the other mark than the table.
    Value readValue(std::string_view text, double& value, bool& mixed) {
        mixed = false;
        if (separator_ != Separator::kSemicolon) {
            return readTableValue(text, value);
        }
        const std::size_t comma = text.find(',');
        const bool point = text.find('.') != std::string_view::npos;
        if (comma == std::string_view::npos) {
            const Value kind = readTableValue(text, value);
            if (point && kind != Value::kNotANumber && kind != Value::kMissing) {
                mixed = decimalMark_ == ',';
                if (decimalMark_ == 0) {
                    decimalMark_ = '.';
                    markLine_ = recordLine_;
                }
            }
            return kind;
        }
        if (point || text.find(',', comma + 1) != std::string_view::npos || text.size() >= 64) {
            return readTableValue(text, value);  // not a number with a decimal comma
        }
        char copy[64];
        text.copy(copy, text.size());
        copy[comma] = '.';
        const Value kind = readTableValue(std::string_view(copy, text.size()), value);
        if (kind != Value::kNotANumber) {
            mixed = decimalMark_ == '.';
            if (decimalMark_ == 0) {
                decimalMark_ = ',';
                markLine_ = recordLine_;
            }
        }
        return kind;
    }

    // The separator, the column names and the columns to read, from the first row that is not
    // a comment. header is the comment directly above it, or empty.
    bool readLayout(std::string_view row, const std::string& header) {
        separator_ = separatorOf(row);
        splitValues(row, separator_, values_, unquoted_);
        columnCount_ = values_.size();
        std::size_t numbers = 0, words = 0;
        for (std::string_view v : values_) {
            double ignored = 0.0;
            bool mixed = false;
            const Value kind = readValue(v, ignored, mixed);
            numbers += isWritten(kind) ? 1 : 0;
            words += kind == Value::kNotANumber ? 1 : 0;
        }
        decimalMark_ = 0;  // a header's words say nothing of the numbers
        header_ = (numbers == 0 && words > 0) || isDefaultPandasHeader();
        if (header_) {
            names_.assign(values_.begin(), values_.end());
        } else if (!header.empty()) {
            std::vector<std::string_view> names;
            std::string storage;
            splitValues(header, separator_, names, storage);
            if (names.size() != columnCount_) {
                splitValues(header, Separator::kBlank, names, storage);
            }
            if (names.size() == columnCount_) {
                names_.assign(names.begin(), names.end());
            }
        }
        if (columnCount_ < 4) {
            return fail(std::to_string(columnCount_) +
                        (columnCount_ == 1 ? " column" : " columns") +
                        "; a point table needs four (x, y, z, q) and may have more");
        }
        return resolveColumns();
    }

    // The columns --columns and --group name, or those the header names x, y, z, q.
    bool resolveColumns() {
        columns_.clear();
        group_ = static_cast<std::size_t>(-1);
        if (!options_.columns.empty()) {
            for (const std::string& wanted : options_.columns) {
                std::size_t column = 0;
                if (!findColumn(wanted, "--columns", column)) {
                    return false;
                }
                columns_.push_back(column);
            }
        } else if (!chooseByName()) {
            return false;
        }
        if (!options_.group.empty()) {
            std::size_t column = 0;
            if (!findColumn(options_.group, "--group", column)) {
                return false;
            }
            group_ = column;
        }
        return true;
    }

    // pandas' header for a frame without column names: an empty index name, then 0, 1, 2, ...
    bool isDefaultPandasHeader() const {
        if (values_.size() < 2 || !values_[0].empty()) {
            return false;
        }
        for (std::size_t i = 1; i < values_.size(); ++i) {
            if (values_[i] != std::to_string(i - 1)) {
                return false;
            }
        }
        return true;
    }

    // A column by its 1-based number or its name.
    bool findColumn(const std::string& wanted, const char* option, std::size_t& column) {
        if (!wanted.empty() && wanted.size() < 10 &&
            wanted.find_first_not_of("0123456789") == std::string::npos) {
            const std::size_t number = std::stoul(wanted);
            if (number < 1 || number > columnCount_) {
                return fail(std::string(option) + " names column " + wanted +
                            ", but the table has " + std::to_string(columnCount_) +
                            " columns (1 to " + std::to_string(columnCount_) + ")");
            }
            column = number - 1;
            return true;
        }
        for (std::size_t i = 0; i < names_.size(); ++i) {
            if (names_[i] == wanted) {
                column = i;
                return true;
            }
        }
        if (names_.empty()) {
            return fail(std::string(option) + " names column " + quoted(wanted) +
                        ", but the table has no header row naming its columns; give column "
                        "numbers from 1 to " +
                        std::to_string(columnCount_));
        }
        std::string known;
        for (const std::string& n : names_) {
            known += (known.empty() ? "" : ", ") + quoted(n);
        }
        return fail(std::string(option) + ": no column is named " + quoted(wanted) +
                    "; the header names " + known);
    }

    // Header names x, y, z and q or w, in any case and wherever they stand; or x1..x4, x0..x3.
    // A header that names some of these but no whole set is refused rather than guessed at.
    bool chooseByName() {
        static const char* const kNameSets[][4] = {{"x", "y", "z", "q"},
                                                   {"x", "y", "z", "w"},
                                                   {"x1", "x2", "x3", "x4"},
                                                   {"x0", "x1", "x2", "x3"}};
        std::vector<bool> coordinate(names_.size(), false);
        for (const auto& set : kNameSets) {
            std::vector<std::size_t> found;
            for (const char* wanted : set) {
                for (std::size_t i = 0; i < names_.size(); ++i) {
                    if (equalsIgnoringCase(trim(names_[i]), wanted)) {
                        found.push_back(i);
                        coordinate[i] = true;
                        break;
                    }
                }
            }
            if (found.size() == 4) {
                columns_ = found;
                return true;
            }
        }
        std::string named, header;
        for (std::size_t i = 0; i < names_.size(); ++i) {
            header += (i > 0 ? ", " : "") + plainName(names_[i]);
            if (coordinate[i]) {
                named += (named.empty() ? "" : ", ") + plainName(names_[i]);
            }
        }
        if (named.empty()) {
            return true;  // no names of coordinates: the first four columns of numbers
        }
        return fail("the header (" + header + ") names " + named +
                    ", not all of x, y, z and q or w; choose the columns for x, y, z, q with "
                    "--columns (names or numbers from 1)");
    }

    // Without names, the first four columns that do not hold text in the first row of data,
    // after a leading index column: one named "", index or "Unnamed: 0" (as pandas and R write
    // it) that holds a whole number.
    bool chooseColumns() {
        double value = 0.0;
        bool mixed = false;
        std::size_t first = 0;
        if (!names_.empty() && columnCount_ > 4) {
            const std::string_view name = trim(names_[0]);
            if ((name.empty() || equalsIgnoringCase(name, "index") || name == "Unnamed: 0") &&
                readValue(values_[0], value, mixed) == Value::kNumber && value >= 0.0 &&
                value == std::floor(value)) {
                first = 1;
            }
        }
        for (std::size_t i = first; i < columnCount_ && columns_.size() < 4; ++i) {
            if (readValue(values_[i], value, mixed) != Value::kNotANumber) {
                columns_.push_back(i);
            }
        }
        decimalMark_ = 0;
        if (columns_.size() < 4) {
            return fail("only " + std::to_string(columns_.size()) +
                        " columns hold numbers; a point table needs four (x, y, z, q)");
        }
        return true;
    }

    // "using columns x, y, z, w (3 to 6) as x, y, z, q", or "using columns 1 to 4 as x, y, z, q"
    // without names.
    std::string describeColumns() const {
        bool consecutive = true;
        for (std::size_t i = 1; i < 4; ++i) {
            consecutive = consecutive && columns_[i] == columns_[0] + i;
        }
        std::string numbers;
        if (consecutive) {
            numbers = std::to_string(columns_[0] + 1) + " to " + std::to_string(columns_[3] + 1);
        } else {
            for (std::size_t i = 0; i < 4; ++i) {
                numbers += (i > 0 ? ", " : "") + std::to_string(columns_[i] + 1);
            }
        }
        if (names_.empty()) {
            return "using columns " + numbers + kAsCoordinates;
        }
        std::string named;
        for (std::size_t i = 0; i < 4; ++i) {
            const std::string& name = names_[columns_[i]];
            named += (i > 0 ? ", " : "") + (name.empty() ? std::string("\"\"") : plainName(name));
        }
        return "using columns " + named + " (" + numbers + ")" + kAsCoordinates;
    }

    bool readRow(std::string_view row, PointTable& table) {
        splitValues(row, separator_, values_, unquoted_);
        if (header_ && !dataSeen_ && separator_ == Separator::kBlank &&
            values_.size() == columnCount_ + 1) {
            // R's write.table names every column but that of the row names.
            names_.insert(names_.begin(), std::string());
            ++columnCount_;
            if (!resolveColumns()) {
                return false;
            }
        }
        dataSeen_ = true;
        if (values_.size() != columnCount_) {
            return fail("a ragged row: " + std::to_string(values_.size()) +
                        (values_.size() == 1 ? " value" : " values") + " where " +
                        (header_ ? "the header has " : "the first row has ") +
                        std::to_string(columnCount_));
        }
        if (columns_.empty() && !chooseColumns()) {
            return false;
        }
        if (group_ < columnCount_) {
            const std::string_view key = values_[group_];
            if (havePrevious_ && key != previousGroup_) {
                endPath(table);
            }
            previousGroup_.assign(key);
            havePrevious_ = true;
        }
        Vertex4 point{};
        int missing = 0;
        std::size_t missingColumn = 0;
        for (int i = 0; i < 4; ++i) {
            const std::size_t column = columns_[i];
            const std::string_view text = values_[column];
            bool mixed = false;
            const Value kind = readValue(text, point[i], mixed);
            if (mixed) {
                return fail(quoted(text) + " in " + columnName(column) + " has a decimal " +
                            (decimalMark_ == ',' ? "point" : "comma") + ", but line " +
                            std::to_string(markLine_) + " has numbers with a decimal " +
                            (decimalMark_ == ',' ? "comma" : "point") +
                            "; write every number with the same decimal mark");
            }
            switch (kind) {
                case Value::kNumber:
                    break;
                case Value::kMissing:
                    ++missing;
                    missingColumn = column;
                    break;
                case Value::kInfinite:
                    return fail(quoted(text) + " in " + columnName(column) +
                                " is infinite; every coordinate must be a finite number");
                case Value::kOutOfRange:
                    return fail(quoted(text) + " in " + columnName(column) +
                                " is beyond the range a table may hold (1e300 in size)");
                case Value::kTooSmall:
                    return fail(quoted(text) + " in " + columnName(column) +
                                " is not 0 but too small for a 64-bit float to hold");
                case Value::kDecimalComma:
                    return fail(quoted(text) + " in " + columnName(column) +
                                " has a decimal comma; write numbers with a decimal point "
                                "(1.5, not 1,5), or separate the values with semicolons");
                case Value::kNotANumber:
                    return fail(quoted(text) + " in " + columnName(column) + " is not a number");
            }
        }
        if (missing == 4) {
            endPath(table);  // a row of missing values separates polylines
            return true;
        }
        if (missing > 0) {
            return fail(columnName(missingColumn) +
                        " is NA, NaN or empty in a row that has numbers; only a row with no "
                        "coordinates at all separates polylines");
        }
        if (table.points >= kMaxTablePoints) {
            return fail("more than " + std::to_string(kMaxTablePoints) +
                        " points; thin the data out first");
        }
        if (path_.size() == 0 || recordLine_ != lastPointLine_ + 1) {
            runs_.emplace_back(path_.size(), recordLine_);
        }
        lastPointLine_ = recordLine_;
        path_.push(point);
        table.box.add(point);
        ++table.points;
        return true;
    }

    void endPath(PointTable& table) {
        if (path_.size() > 0) {
            table.paths.push_back(path_.take());
            table.lineRuns.push_back(std::move(runs_));
            runs_.clear();
        }
    }

    std::istream& in_;
    const std::string& name_;
    const TableOptions& options_;
    std::string& error_;
    std::string text_;
    std::string record_;    // a record of several lines
    std::string unquoted_;  // the values of a record with quotes
    long line_ = 0;
    long recordLine_ = 0;  // where the record being read starts
    Separator separator_ = Separator::kBlank;
    char decimalMark_ = 0;  // ',' or '.' once a number shows it
    long markLine_ = 0;     // where it showed
    bool header_ = false;
    bool dataSeen_ = false;  // a row of data was read
    std::size_t columnCount_ = 0;
    std::vector<std::string> names_;  // empty without a header
    std::vector<std::size_t> columns_;
    std::size_t group_ = static_cast<std::size_t>(-1);  // none
    std::vector<std::string_view> values_;              // into text_, record_ or unquoted_
    std::string previousGroup_;
    bool havePrevious_ = false;
    PathCollector path_;
    std::vector<std::pair<std::size_t, long>> runs_;  // of the path being read
    long lastPointLine_ = 0;
};

}  // namespace

long pointLine(const PointTable& table, std::size_t path, std::size_t index) {
    if (path >= table.lineRuns.size() || table.lineRuns[path].empty()) {
        return 0;
    }
    const auto& runs = table.lineRuns[path];
    // The last run that starts at or before index.
    const auto after = std::upper_bound(
        runs.begin(), runs.end(), index,
        [](std::size_t i, const std::pair<std::size_t, long>& run) { return i < run.first; });
    const auto& run = *(after - 1);
    return run.second + static_cast<long>(index - run.first);
}

bool importTable(std::istream& in, const std::string& name, const TableOptions& options,
                 PointTable& table, std::string& error) {
    table = PointTable{};
    return TableReader(in, name, options, error).run(table);
}

}  // namespace tessascene
