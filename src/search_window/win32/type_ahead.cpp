#include "search_window/win32/type_ahead.h"

#include "jet_engine/text/unicode_text.h"
#include "search_window/cell_value.h"
#include "search_window/win32/cell_text.h"

#include <array>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

namespace search_window {

namespace {

// Each UTF-16 unit's upper case, as the system's invariant mapping gives it,
// made once: one call for every unit instead of one a row. Surrogates stay
// as they are.
class UpperUnits {
public:
    UpperUnits()
    {
        for (std::size_t u = 0; u < m_upper.size(); ++u)
            m_upper[u] = static_cast<wchar_t>(u);
        mapRange(0, 0xD800);
        mapRange(0xE000, 0x10000);
    }

    wchar_t operator[](wchar_t unit) const { return m_upper[static_cast<std::size_t>(unit)]; }

private:
    void mapRange(std::size_t from, std::size_t to)
    {
        const int count = static_cast<int>(to - from);
        std::wstring mapped(static_cast<std::size_t>(count), L'\0');
        // The mapping is one unit to one; a system that answered otherwise
        // leaves these units as they are rather than shifted.
        if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, m_upper.data() + from, count, mapped.data(), count,
                          nullptr, nullptr, 0)
            == count)
            std::copy(mapped.begin(), mapped.end(), m_upper.begin() + static_cast<std::ptrdiff_t>(from));
    }

    std::array<wchar_t, 0x10000> m_upper{};
};

const UpperUnits &upperUnits()
{
    static const auto table = std::make_unique<const UpperUnits>();
    return *table;
}

// The typed letters upper-cased, and whether a row must hold them alone.
struct Typed {
    std::wstring upper;
    bool whole;
};

bool startsWith(std::string_view utf8, const Typed &typed, const UpperUnits &upper)
{
    std::size_t pos = 0;
    std::size_t matched = 0;
    const std::size_t wanted = typed.upper.size();
    while (matched < wanted) {
        if (pos >= utf8.size())
            return false;
        const char32_t c = jet_engine::nextCodePoint(utf8, pos);
        if (c >= 0x10000) {
            if (matched + 2 > wanted || static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10)) != typed.upper[matched]
                || static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF)) != typed.upper[matched + 1])
                return false;
            matched += 2;
        } else {
            if (upper[static_cast<wchar_t>(c)] != typed.upper[matched])
                return false;
            ++matched;
        }
    }
    return !typed.whole || pos == utf8.size();
}

// Numbers and dates show in the user's formats, not as stored: their rows
// are compared as shown.
bool shownStartsWith(jet_engine::FieldValue::Kind kind, std::string_view stored, const Typed &typed,
                     const UpperUnits &upper)
{
    const std::wstring shown = cellText(kind, stored);
    if (shown.size() < typed.upper.size() || (typed.whole && shown.size() != typed.upper.size()))
        return false;
    for (std::size_t i = 0; i < typed.upper.size(); ++i)
        if (upper[shown[i]] != typed.upper[i])
            return false;
    return true;
}

} // namespace

int findTypedRow(const GridRows &rows, const NMLVFINDITEMW &find)
{
    // Windows names the start of a row LVFI_PARTIAL or LVFI_SUBSTRING, whose
    // value mingw-w64's headers lack.
    constexpr UINT substring = 0x0004;
    constexpr UINT partial = LVFI_PARTIAL | substring;
    if (!(find.lvfi.flags & (LVFI_STRING | partial)) || !find.lvfi.psz || rows.size() == 0)
        return -1;
    const UpperUnits &upper = upperUnits();
    Typed typed{find.lvfi.psz, !(find.lvfi.flags & partial)};
    for (wchar_t &unit : typed.upper)
        unit = upper[unit];

    const std::size_t count = rows.size();
    const bool wrap = find.lvfi.flags & LVFI_WRAP;
    std::size_t start = find.iStart >= 0 ? static_cast<std::size_t>(find.iStart) : 0;
    if (start >= count) {
        if (!wrap)
            return -1;
        start = 0;
    }
    const std::size_t last = wrap ? count : count - start;
    const auto kind = rows.kind();
    const bool asStored = shownAsStored(kind);
    for (std::size_t step = 0; step < last; ++step) {
        const std::size_t row = (start + step) % count;
        if (asStored ? startsWith(rows[row], typed, upper) : shownStartsWith(kind, rows[row], typed, upper))
            return static_cast<int>(row);
    }
    return -1;
}

} // namespace search_window
