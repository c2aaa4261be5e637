#include "tessascene/import/table_fields.h"

#include <cctype>
#include <cmath>

#include "tessascene/figures/numbers.h"
#include "tessascene/import/text_input.h"

namespace tessascene {

namespace {

constexpr std::string_view kBlanks = " \t\r\f\v";

bool isSeparator(char c, Separator separator) {
    return separator == Separator::kBlank ? (c == ' ' || c == '\t')
                                          : c == static_cast<char>(separator);
}

// The blanks around a value: for a tab-separated table only spaces.
bool isPadding(char c, Separator separator) {
    return c == ' ' || c == '\r' || (c == '\t' && separator != Separator::kTab);
}

}  // namespace

std::string_view trim(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(kBlanks);
    if (begin == std::string_view::npos) {
        return {};
    }
    return text.substr(begin, text.find_last_not_of(kBlanks) - begin + 1);
}

void splitValues(std::string_view record, Separator separator,
                 std::vector<std::string_view>& values, std::string& storage) {
    values.clear();
    if (record.find('"') == std::string_view::npos) {
        if (separator == Separator::kBlank) {
            splitWords(record, kBlanks, values);
            return;
        }
        const char mark = static_cast<char>(separator);
        for (;;) {
            const std::size_t end = record.find(mark);
            values.push_back(trim(record.substr(0, end)));
            if (end == std::string_view::npos) {
                return;
            }
            record.remove_prefix(end + 1);
        }
    }
    storage.clear();
    storage.reserve(record.size());
    std::size_t i = 0;
    const std::size_t n = record.size();
    for (;;) {
        while (i < n && isPadding(record[i], separator)) {
            ++i;
        }
        if (separator == Separator::kBlank && i == n) {
            return;
        }
        if (i < n && record[i] == '"') {
            const std::size_t start = storage.size();
            for (++i; i < n; ++i) {
                if (record[i] == '"') {
                    if (i + 1 < n && record[i + 1] == '"') {
                        ++i;
                    } else {
                        ++i;
                        break;
                    }
                }
                storage.push_back(record[i]);
            }
            while (i < n && !isSeparator(record[i], separator)) {
                storage.push_back(record[i++]);
            }
            values.push_back(trim(std::string_view(storage).substr(start)));
        } else {
            const std::size_t start = i;
            while (i < n && !isSeparator(record[i], separator)) {
                ++i;
            }
            values.push_back(trim(record.substr(start, i - start)));
        }
        if (i == n) {
            return;
        }
        ++i;  // the separator
        if (separator == Separator::kBlank) {
            while (i < n && isSeparator(record[i], separator)) {
                ++i;
            }
        }
    }
}

void followQuotes(std::string_view line, Separator separator, QuoteState& state) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (state.open) {
            if (c == '"') {
                if (i + 1 < line.size() && line[i + 1] == '"') {
                    ++i;
                } else {
                    state.open = false;
                }
            }
        } else if (isSeparator(c, separator)) {
            state.fieldStart = true;
        } else if (c == '"' && state.fieldStart) {
            state.open = true;
            state.fieldStart = false;
        } else if (!isPadding(c, separator)) {
            state.fieldStart = false;
        }
    }
}

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

Separator separatorOf(std::string_view line) {
    std::string outside;
    bool inQuotes = false;
    for (char c : line) {
        if (c == '"') {
            inQuotes = !inQuotes;
        } else if (!inQuotes) {
            outside.push_back(c);
        }
    }
    if (outside.find('\t') != std::string::npos) {
        return Separator::kTab;
    }
    if (outside.find(';') != std::string::npos) {
        return Separator::kSemicolon;
    }
    if (outside.find(',') == std::string::npos) {
        return Separator::kBlank;
    }
    std::vector<std::string_view> words;
    splitWords(line, kBlanks, words);
    bool allDecimalCommas = words.size() > 1;
    for (std::string_view word : words) {
        allDecimalCommas = allDecimalCommas && hasDecimalComma(word);
    }
    return allDecimalCommas ? Separator::kBlank : Separator::kComma;
}

Value readTableValue(std::string_view text, double& value) {
    if (text.empty() || text == "NA") {
        return Value::kMissing;
    }
    switch (readNumber(text, value)) {
        case NumberRead::kNotANumber:
            return hasDecimalComma(text) ? Value::kDecimalComma : Value::kNotANumber;
        case NumberRead::kOverflow:
            return Value::kOutOfRange;
        case NumberRead::kUnderflow:
            return Value::kTooSmall;
        case NumberRead::kNumber:
            break;
    }
    if (std::isnan(value)) {
        return Value::kMissing;
    }
    if (std::isinf(value)) {
        return Value::kInfinite;
    }
    if (!(std::fabs(value) <= kMaxTableValue)) {
        return Value::kOutOfRange;
    }
    return Value::kNumber;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace tessascene
