#include "search_window/win32/cell_text.h"

#include "article_database/query/unicode_text.h"
#include "search_window/cell_value.h"
#include "search_window/win32/windows_api.h"

#include <algorithm>
#include <iterator>

namespace search_window {

namespace {

using Kind = article_database::FieldValue::Kind;

// UTF-8 into `out`, as much as fits in `room` less the terminator; returns
// the units written.
int copyAsUtf16(std::string_view utf8, wchar_t *out, int room)
{
    int used = 0;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const char32_t c = article_database::nextCodePoint(utf8, pos);
        const int units = c >= 0x10000 ? 2 : 1;
        if (used + units >= room)
            break;
        if (units == 2) {
            out[used++] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            out[used++] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out[used++] = static_cast<wchar_t>(c);
        }
    }
    out[used] = L'\0';
    return used;
}

bool storedAsText(Kind kind)
{
    return !(kind == Kind::Double || kind == Kind::Single || kind == Kind::Numeric || kind == Kind::Currency
             || kind == Kind::DateTime);
}

std::wstring wide(const std::u16string &text)
{
    return std::wstring(text.begin(), text.end());
}

std::wstring decimal(std::string_view text)
{
    wchar_t separator[8] = L".";
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, static_cast<int>(std::size(separator)));
    return wide(withDecimalSeparator(text, reinterpret_cast<const char16_t *>(separator)));
}

std::wstring real(std::string_view text, int digits)
{
    const auto value = readInvariantNumber(text);
    return value ? decimal(significantDigits(*value, digits)) : decimal(text);
}

// The system formats only the years of its own calendar (1601 on); Jet's
// earlier ones keep their invariant text.
std::wstring dateTime(std::string_view text)
{
    const auto parsed = readInvariantDate(text);
    if (!parsed)
        return decimal(text);
    SYSTEMTIME when{};
    when.wYear = static_cast<WORD>(parsed->year);
    when.wMonth = static_cast<WORD>(parsed->month);
    when.wDay = static_cast<WORD>(parsed->day);
    when.wHour = static_cast<WORD>(parsed->hour);
    when.wMinute = static_cast<WORD>(parsed->minute);
    when.wSecond = static_cast<WORD>(parsed->second);
    wchar_t time[80] = {};
    if (!parsed->midnight() || parsed->timeAlone())
        GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &when, nullptr, time, static_cast<int>(std::size(time)));
    if (parsed->timeAlone())
        return time;
    wchar_t date[80] = {};
    if (!GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &when, nullptr, date,
                         static_cast<int>(std::size(date)), nullptr))
        return std::wstring(text.begin(), text.end());
    if (parsed->midnight())
        return date;
    return std::wstring(date) + L' ' + time;
}

} // namespace

std::wstring cellText(Kind kind, std::string_view text)
{
    switch (kind) {
    case Kind::Double: return real(text, 15);
    case Kind::Single: return real(text, 7);
    case Kind::Numeric:
    case Kind::Currency: return decimal(text);
    case Kind::DateTime: return dateTime(text);
    default: {
        // UTF-8 never takes fewer bytes than UTF-16 takes units.
        std::wstring converted(text.size() + 1, L'\0');
        const int units = copyAsUtf16(text, converted.data(), static_cast<int>(converted.size()));
        converted.resize(static_cast<std::size_t>(units));
        return converted;
    }
    }
}

void cellText(Kind kind, std::string_view text, wchar_t *out, int room)
{
    if (room <= 0)
        return;
    if (storedAsText(kind)) {
        copyAsUtf16(text, out, room);
        return;
    }
    const std::wstring formatted = cellText(kind, text);
    int used = std::min(static_cast<int>(formatted.size()), room - 1);
    if (used > 0 && used < static_cast<int>(formatted.size()) && IS_HIGH_SURROGATE(formatted[used - 1]))
        --used;
    formatted.copy(out, static_cast<std::size_t>(used));
    out[used] = L'\0';
}

} // namespace search_window
