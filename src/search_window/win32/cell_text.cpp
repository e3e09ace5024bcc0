#include "search_window/win32/cell_text.h"

#include "jet_engine/text/unicode_text.h"
#include "search_window/cell_value.h"
#include "search_window/win32/windows_api.h"

#include <algorithm>
#include <iterator>

namespace search_window {

namespace {

using Kind = jet_engine::FieldValue::Kind;

// UTF-8 into `out`, as much as fits in `room` less the terminator; returns
// the units written.
int copyAsUtf16(std::string_view utf8, wchar_t *out, int room)
{
    int used = 0;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        // Most designations are ASCII, a byte a unit.
        const auto byte = static_cast<unsigned char>(utf8[pos]);
        if (byte < 0x80) {
            if (used + 1 >= room)
                break;
            out[used++] = static_cast<wchar_t>(byte);
            ++pos;
            continue;
        }
        const char32_t c = jet_engine::nextCodePoint(utf8, pos);
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

std::wstring wide(const std::u16string &text)
{
    return std::wstring(text.begin(), text.end());
}

std::u16string units(const wchar_t *text)
{
    return reinterpret_cast<const char16_t *>(text);
}

SYSTEMTIME systemTime(const JetDateTime &when)
{
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(when.year);
    time.wMonth = static_cast<WORD>(when.month);
    time.wDay = static_cast<WORD>(when.day);
    time.wHour = static_cast<WORD>(when.hour);
    time.wMinute = static_cast<WORD>(when.minute);
    time.wSecond = static_cast<WORD>(when.second);
    return time;
}

class UserFormats final : public RegionalFormats {
public:
    std::u16string decimalSeparator() const override
    {
        wchar_t separator[8] = L".";
        GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, static_cast<int>(std::size(separator)));
        return units(separator);
    }

    // The system formats only the years of its own calendar (1601 on); Jet's
    // earlier ones keep their invariant text.
    std::u16string shortDate(const JetDateTime &when) const override
    {
        const SYSTEMTIME time = systemTime(when);
        wchar_t date[80] = {};
        if (!GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date,
                             static_cast<int>(std::size(date)), nullptr))
            return {};
        return units(date);
    }

    std::u16string longTime(const JetDateTime &when) const override
    {
        const SYSTEMTIME time = systemTime(when);
        wchar_t shown[80] = {};
        GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &time, nullptr, shown, static_cast<int>(std::size(shown)));
        return units(shown);
    }
};

} // namespace

std::wstring cellText(Kind kind, std::string_view text)
{
    if (!shownAsStored(kind))
        return wide(regionalText(kind, text, UserFormats()));
    // UTF-8 never takes fewer bytes than UTF-16 takes units.
    std::wstring converted(text.size() + 1, L'\0');
    const int used = copyAsUtf16(text, converted.data(), static_cast<int>(converted.size()));
    converted.resize(static_cast<std::size_t>(used));
    return converted;
}

void cellText(Kind kind, std::string_view text, wchar_t *out, int room)
{
    if (room <= 0)
        return;
    if (shownAsStored(kind)) {
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
