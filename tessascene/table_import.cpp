#include "tessascene/table_import.h"

#include <cctype>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <system_error>
#include <utility>

#include "tessascene/text_input.h"

namespace {

constexpr std::string_view kBlanks = " \t\r\f\v";

std::string_view trim(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(kBlanks);
    if (begin == std::string_view::npos) {
        return {};
    }
    return text.substr(begin, text.find_last_not_of(kBlanks) - begin + 1);
}

// The separator between values; kBlank stands for any run of spaces and tabs.
enum class Separator : char { kBlank = ' ', kComma = ',', kTab = '\t', kSemicolon = ';' };

// Splits a line into its values. Values are trimmed and lose one pair of surrounding double
// quotes, as spreadsheets and R quote them.
void splitValues(std::string_view line, Separator separator,
                 std::vector<std::string_view>& values) {
    values.clear();
    if (separator == Separator::kBlank) {
        splitWords(line, kBlanks, values);
        return;
    }
    const char mark = static_cast<char>(separator);
    for (;;) {
        const std::size_t end = line.find(mark);
        std::string_view value = trim(line.substr(0, end));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        values.push_back(value);
        if (end == std::string_view::npos) {
            return;
        }
        line.remove_prefix(end + 1);
    }
}

// Digits, one comma, digits: a number written with a decimal comma.
bool hasDecimalComma(std::string_view text) {
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        text.remove_prefix(1);
    }
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos || comma == 0 || comma + 1 == text.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i != comma && !std::isdigit(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    return true;
}

// The separator for a table whose first row is line: a tab, else a semicolon, else a comma,
// else blanks. Blank-separated numbers with decimal commas ("1,5 2,5") stay blank-separated, so
// that they are reported as decimal commas rather than as odd values.
Separator separatorOf(std::string_view line) {
    if (line.find('\t') != std::string_view::npos) {
        return Separator::kTab;
    }
    if (line.find(';') != std::string_view::npos) {
        return Separator::kSemicolon;
    }
    if (line.find(',') == std::string_view::npos) {
        return Separator::kBlank;
    }
    std::vector<std::string_view> words;
    splitValues(line, Separator::kBlank, words);
    bool allDecimalCommas = words.size() > 1;
    for (std::string_view word : words) {
        allDecimalCommas = allDecimalCommas && hasDecimalComma(word);
    }
    return allDecimalCommas ? Separator::kBlank : Separator::kComma;
}

enum class Value { kNumber, kMissing, kInfinite, kOutOfRange, kDecimalComma, kNotANumber };

// Reads one value as strtod does in the C locale. An empty value or any NaN is kMissing.
// from_chars reads plain decimal numbers to the same nearest double several times faster;
// strtod takes what it leaves (a leading '+', hexadecimal numbers).
Value readValue(std::string_view text, double& value) {
    if (text.empty()) {
        return Value::kMissing;
    }
    const char* const textEnd = text.data() + text.size();
    const auto [stop, status] = std::from_chars(text.data(), textEnd, value);
    if (stop != textEnd || status != std::errc()) {
        // strtod needs a terminated string; a short copy on the stack keeps it cheap.
        char shortCopy[64];
        std::string longCopy;
        const char* start = shortCopy;
        if (text.size() < sizeof shortCopy) {
            text.copy(shortCopy, text.size());
            shortCopy[text.size()] = '\0';
        } else {
            longCopy.assign(text);
            start = longCopy.c_str();
        }
        char* end = nullptr;
        errno = 0;
        value = std::strtod(start, &end);
        if (end != start + text.size() || std::isspace(static_cast<unsigned char>(text[0]))) {
            return hasDecimalComma(text) ? Value::kDecimalComma : Value::kNotANumber;
        }
        if (std::isinf(value) && errno == ERANGE) {
            return Value::kOutOfRange;
        }
    }
    if (std::isnan(value)) {
        return Value::kMissing;
    }
    if (std::isinf(value)) {
        return Value::kInfinite;
    }
    if (!(std::fabs(value) <= FLT_MAX)) {
        return Value::kOutOfRange;
    }
    return Value::kNumber;
}

bool isNumber(std::string_view text) {
    double ignored = 0.0;
    const Value kind = readValue(text, ignored);
    return kind == Value::kNumber || kind == Value::kInfinite || kind == Value::kOutOfRange;
}

// An OFF-family keyword: optional ST, C, N, 4 and n prefixes, then OFF, SKEL or VECT.
bool isOffKeyword(std::string_view word) {
    for (std::string_view prefix : {"ST", "C", "N", "4", "n"}) {
        if (word.substr(0, prefix.size()) == prefix) {
            word.remove_prefix(prefix.size());
        }
    }
    return word == "OFF" || word == "SKEL" || word == "VECT";
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
            if (status == LineStatus::kTooLong) {
                return fail("the line is longer than " + std::to_string(kMaxLineBytes) +
                            " bytes; is this a table of numbers?");
            }
            if (status == LineStatus::kFailed) {
                return fail("cannot read the file");
            }
            std::string_view row(text_);
            if (line_ == 1 && row.substr(0, 3) == "\xEF\xBB\xBF") {
                row.remove_prefix(3);  // a byte order mark, as some spreadsheets write
            }
            row = trim(row);
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
            line_ = 1;
            return fail("the file is empty");
        }
        if (table.points == 0) {
            return fail("no rows of numbers: a point table has four values a row");
        }
        return true;
    }

private:
    bool fail(const std::string& message) {
        error_ = name_ + ":" + std::to_string(line_) + ": " + message;
        return false;
    }

    std::string columnName(std::size_t column) const {
        if (column < names_.size() && !names_[column].empty()) {
            return "column " + std::to_string(column + 1) + " (" + quoted(names_[column]) + ")";
        }
        return "column " + std::to_string(column + 1);
    }

    // The separator, the column names and the columns to read, from the first row that is not
    // a comment. header is the comment directly above it, or empty.
    bool readLayout(std::string_view row, const std::string& header) {
        separator_ = separatorOf(row);
        splitValues(row, separator_, values_);
        columnCount_ = values_.size();
        std::size_t numbers = 0;
        for (std::string_view v : values_) {
            numbers += isNumber(v) ? 1 : 0;
        }
        double ignored = 0.0;
        std::size_t words = 0;
        for (std::string_view v : values_) {
            words += readValue(v, ignored) == Value::kNotANumber ? 1 : 0;
        }
        header_ = numbers == 0 && words > 0;
        if (header_) {
            names_.assign(values_.begin(), values_.end());
        } else if (!header.empty()) {
            std::vector<std::string_view> names;
            splitValues(header, separator_, names);
            if (names.size() != columnCount_) {
                splitValues(header, Separator::kBlank, names);
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

        if (!options_.columns.empty()) {
            for (const std::string& wanted : options_.columns) {
                std::size_t column = 0;
                if (!findColumn(wanted, "--columns", column)) {
                    return false;
                }
                columns_.push_back(column);
            }
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

    // By default the first four columns that do not hold text in the first row of data.
    bool chooseColumns() {
        double ignored = 0.0;
        for (std::size_t i = 0; i < columnCount_ && columns_.size() < 4; ++i) {
            if (readValue(values_[i], ignored) != Value::kNotANumber) {
                columns_.push_back(i);
            }
        }
        if (columns_.size() < 4) {
            return fail("only " + std::to_string(columns_.size()) +
                        " columns hold numbers; a point table needs four (x, y, z, q)");
        }
        return true;
    }

    bool readRow(std::string_view row, PointTable& table) {
        splitValues(row, separator_, values_);
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
            switch (readValue(text, point[i])) {
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
                                " is beyond the range of 32-bit floats (about 3.4e38)");
                case Value::kDecimalComma:
                    return fail(quoted(text) + " in " + columnName(column) +
                                " has a decimal comma; write numbers with a decimal point "
                                "(1.5, not 1,5)");
                case Value::kNotANumber:
                    return fail(quoted(text) + " in " + columnName(column) + " is not a number");
            }
        }
        if (missing == 4) {
            endPath(table);  // a row of NaN separates polylines
            return true;
        }
        if (missing > 0) {
            return fail(columnName(missingColumn) +
                        " is NaN or empty in a row that has numbers; only a row with no "
                        "coordinates at all separates polylines");
        }
        if (table.points >= kMaxTablePoints) {
            return fail("more than " + std::to_string(kMaxTablePoints) +
                        " points; thin the data out first");
        }
        if (!pathOpen_) {
            table.paths.emplace_back();
            pathOpen_ = true;
        }
        table.paths.back().push_back(point);
        table.box.add(point);
        ++table.points;
        return true;
    }

    void endPath(PointTable&) { pathOpen_ = false; }

    std::istream& in_;
    const std::string& name_;
    const TableOptions& options_;
    std::string& error_;
    std::string text_;
    long line_ = 0;
    Separator separator_ = Separator::kBlank;
    bool header_ = false;
    std::size_t columnCount_ = 0;
    std::vector<std::string> names_;  // empty without a header
    std::vector<std::size_t> columns_;
    std::size_t group_ = static_cast<std::size_t>(-1);  // none
    std::vector<std::string_view> values_;              // into text_ or a header
    std::string previousGroup_;
    bool havePrevious_ = false;
    bool pathOpen_ = false;
};

}  // namespace

bool detectInputKind(std::istream& in, const std::string& name, InputKind& kind,
                     std::string& error) {
    kind = InputKind::kTable;
    std::string text;
    // Only the first word counts, so a few lines suffice: a table's first row is soon reached.
    for (int read = 0; read < 1000; ++read) {
        const LineStatus status = readBoundedLine(in, text);
        if (status != LineStatus::kLine) {
            break;
        }
        const std::string_view row = trim(text);
        if (row.empty() || row[0] == '#') {
            continue;
        }
        const std::string_view word = row.substr(0, row.find_first_of(kBlanks));
        kind = isOffKeyword(word) ? InputKind::kOffFamily : InputKind::kTable;
        break;
    }
    in.clear();
    in.seekg(0);
    if (!in) {
        error = name + ": cannot read the file from its start again; give a regular file";
        return false;
    }
    return true;
}

bool importTable(std::istream& in, const std::string& name, const TableOptions& options,
                 PointTable& table, std::string& error) {
    table = PointTable{};
    return TableReader(in, name, options, error).run(table);
}
