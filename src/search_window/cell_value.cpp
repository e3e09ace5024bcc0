#include "search_window/cell_value.h"

#include <charconv>
#include <chrono>

namespace search_window {

namespace {

bool readDigits(std::string_view text, std::size_t at, std::size_t count, unsigned &out)
{
    if (at + count > text.size())
        return false;
    out = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        out = out * 10 + unsigned(text[i] - '0');
    }
    return true;
}

} // namespace

double JetDateTime::jetDays() const
{
    using namespace std::chrono;
    constexpr sys_days jetEpoch = 1899y / December / 30;
    const sys_days date{std::chrono::year(year) / std::chrono::month(month) / std::chrono::day(day)};
    const double dayCount = double((date - jetEpoch).count());
    const double fraction = double(hour * 3600 + minute * 60 + second) / 86400.0;
    // Before day 0 Jet keeps the time of day positive: -1.25 is 29 Dec, 06:00.
    return dayCount < 0 ? dayCount - fraction : dayCount + fraction;
}

std::optional<JetDateTime> readInvariantDate(std::string_view text)
{
    if (text.size() != 10 && text.size() != 19)
        return std::nullopt;
    unsigned year = 0;
    JetDateTime parsed;
    if (!readDigits(text, 0, 4, year) || text[4] != '-' || !readDigits(text, 5, 2, parsed.month) || text[7] != '-'
        || !readDigits(text, 8, 2, parsed.day))
        return std::nullopt;
    parsed.year = int(year);
    if (text.size() == 19
        && (text[10] != ' ' || !readDigits(text, 11, 2, parsed.hour) || text[13] != ':'
            || !readDigits(text, 14, 2, parsed.minute) || text[16] != ':' || !readDigits(text, 17, 2, parsed.second)))
        return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year(parsed.year), std::chrono::month(parsed.month),
                                           std::chrono::day(parsed.day)};
    if (!date.ok() || parsed.hour > 23 || parsed.minute > 59 || parsed.second > 59)
        return std::nullopt;
    return parsed;
}

std::optional<double> readInvariantNumber(std::string_view text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string significantDigits(double value, int digits)
{
    if (value == 0)
        return "0";
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
    if (error != std::errc())
        return {};
    std::string text(buffer, end);
    // to_chars writes "1e+15"; the variant conversion, "1E+15".
    for (char &c : text)
        if (c == 'e')
            c = 'E';
    return text;
}

std::u16string withDecimalSeparator(std::string_view text, std::u16string_view separator)
{
    std::u16string converted;
    converted.reserve(text.size() + separator.size());
    for (const char c : text) {
        if (c == '.')
            converted += separator;
        else
            converted += char16_t(static_cast<unsigned char>(c));
    }
    return converted;
}

bool shownAsStored(jet_engine::FieldValue::Kind kind)
{
    using Kind = jet_engine::FieldValue::Kind;
    return !(kind == Kind::Double || kind == Kind::Single || kind == Kind::Numeric || kind == Kind::Currency
             || kind == Kind::DateTime);
}

std::u16string regionalText(jet_engine::FieldValue::Kind kind, std::string_view text,
                            const RegionalFormats &formats)
{
    using Kind = jet_engine::FieldValue::Kind;
    const auto real = [&](int digits) {
        const auto value = readInvariantNumber(text);
        return withDecimalSeparator(value ? significantDigits(*value, digits) : std::string(text),
                                    formats.decimalSeparator());
    };
    switch (kind) {
    case Kind::Double: return real(15);
    case Kind::Single: return real(7);
    case Kind::Numeric:
    case Kind::Currency: return withDecimalSeparator(text, formats.decimalSeparator());
    case Kind::DateTime: {
        // The engine shows dates out of Jet's range as numbers.
        const auto parsed = readInvariantDate(text);
        if (!parsed)
            return withDecimalSeparator(text, formats.decimalSeparator());
        if (parsed->timeAlone())
            return formats.longTime(*parsed);
        const std::u16string date = formats.shortDate(*parsed);
        if (date.empty())
            return withDecimalSeparator(text, u".");
        return parsed->midnight() ? date : date + u' ' + formats.longTime(*parsed);
    }
    default:
        // Shown as stored: the toolkit converts that text itself.
        return {};
    }
}

} // namespace search_window
