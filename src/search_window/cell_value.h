#pragma once
// The engine gives every value as invariant text ("444.555", "1974-09-21
// 12:30:00"), which article-query prints as it is. A window shows dates and
// numbers in the user's regional formats instead: these read the invariant
// text back, for each toolkit to format it.

#include "jet_engine/field_value.h"

#include <optional>
#include <string>
#include <string_view>

namespace search_window {

struct JetDateTime {
    int year = 0;
    unsigned month = 0, day = 0;
    unsigned hour = 0, minute = 0, second = 0;
    // Day 0 of Jet's calendar, 1899-12-30, stands for a time alone.
    bool timeAlone() const { return year == 1899 && month == 12 && day == 30; }
    bool midnight() const { return hour == 0 && minute == 0 && second == 0; }
    // Days since day 0, the time of day as the fraction, as Jet stores it.
    double jetDays() const;
};

// "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS"; nothing for anything else (the
// engine shows out-of-range dates as numbers).
std::optional<JetDateTime> readInvariantDate(std::string_view text);

std::optional<double> readInvariantNumber(std::string_view text);

// `digits` significant digits as a variant's conversion to text gives them:
// no grouping, no trailing zeros, the exponent form ("1E+15", "1E-05") from
// 10^digits and below 10^-4, never "-0"; '.' as the decimal separator.
std::string significantDigits(double value, int digits);

// The invariant text with `separator` for its '.', in UTF-16.
std::u16string withDecimalSeparator(std::string_view text, std::u16string_view separator);

// Text, booleans and integers are shown as the engine gives them.
bool shownAsStored(jet_engine::FieldValue::Kind kind);

// What each toolkit reads of the user's regional settings.
class RegionalFormats {
public:
    virtual ~RegionalFormats() = default;
    virtual std::u16string decimalSeparator() const = 0;
    // Empty where the system cannot show that date.
    virtual std::u16string shortDate(const JetDateTime &when) const = 0;
    virtual std::u16string longTime(const JetDateTime &when) const = 0;
};

// A value not shown as stored, in the user's formats, the way the system's
// own conversion of a value to text gives it to a Windows user: a date alone
// at midnight, a time alone on day 0, 15 significant digits for a Double and
// 7 for a Single; a Numeric or a Currency never passes through double.
std::u16string regionalText(jet_engine::FieldValue::Kind kind, std::string_view text,
                            const RegionalFormats &formats);

} // namespace search_window
