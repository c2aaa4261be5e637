// The fields of one record of a delimited text table: its separator, quoted values that may
// hold separators and line breaks, and the numbers in them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tessascene {

// The largest coordinate a text table may hold; placement scales it to fit a float.
constexpr double kMaxTableValue = 1e300;

// The separator between values; kBlank stands for any run of spaces and tabs.
enum class Separator : char { kBlank = ' ', kComma = ',', kTab = '\t', kSemicolon = ';' };

// text without the blanks (spaces, tabs, CR, FF, VT) at its ends.
std::string_view trim(std::string_view text);

// Splits a record into its values. A value that starts with a double quote (after blanks) is
// quoted: it runs to the next lone quote, "" inside stands for one quote, and it may hold
// separators and line breaks; text after its closing quote is kept. Values are trimmed.
// Unquoted values are views into record; quoted ones are written into storage, which is
// reserved first so that the views stay valid.
void splitValues(std::string_view record, Separator separator,
                 std::vector<std::string_view>& values, std::string& storage);

// Where a record stands at the end of a line: whether a quoted value is still open.
struct QuoteState {
    bool open = false;       // inside a quoted value
    bool fieldStart = true;  // at the start of a value (blanks aside)
};

// Follows quotes through line, which continues a record in state.
void followQuotes(std::string_view line, Separator separator, QuoteState& state);

// Digits, one comma, digits: a number written with a decimal comma.
bool hasDecimalComma(std::string_view text);

// The separator for a table whose first row is line: a tab, else a semicolon, else a comma,
// else blanks, each counted only outside quoted values. Blank-separated numbers with decimal
// commas ("1,5 2,5") stay blank-separated, so that they are reported as decimal commas rather
// than as odd values.
Separator separatorOf(std::string_view line);

// What a value holds.
enum class Value {
    kNumber,
    kMissing,
    kInfinite,
    kOutOfRange,  // beyond kMaxTableValue in size
    kTooSmall,    // not 0, yet too small for a double to hold
    kDecimalComma,
    kNotANumber
};

// Reads one value of a table into value, a number by tessascene's number rule
// (figures/numbers.h). An empty value, NA or any NaN is kMissing; a number beyond kMaxTableValue
// in size is kOutOfRange, one that is not 0 but too small for a double kTooSmall.
Value readTableValue(std::string_view text, double& value);

// Whether a and b are equal but for the case of ASCII letters.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace tessascene
