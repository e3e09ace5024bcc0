#include "search_window/win32/row_copy.h"

#include "search_window/cell_value.h"
#include "search_window/win32/cell_text.h"

#include <climits>
#include <cstring>
#include <string>

namespace search_window {

namespace {

template <typename Visit>
void forEachSelected(const GridRows &rows, const SelectedRows &selected, Visit visit)
{
    bool first = true;
    for (const SelectedRows::Range &range : selected.ranges())
        for (std::size_t row = range.first; row <= range.last && row < rows.size(); ++row) {
            visit(rows[row], first);
            first = false;
        }
}

// The rows' text as one UTF-16 string in memory the clipboard can take.
// Text shown as stored is joined as UTF-8 and converted in one pass, so a
// quarter of a million rows cost one conversion, not one each.
HGLOBAL joinedText(const GridRows &rows, const SelectedRows &selected)
{
    const auto kind = rows.kind();
    const bool asStored = shownAsStored(kind);
    std::wstring formatted;
    std::string stored;
    std::size_t count = 0;
    if (asStored) {
        std::size_t bytes = 0;
        forEachSelected(rows, selected, [&](std::string_view row, bool) { bytes += row.size() + 2; });
        stored.reserve(bytes);
    }
    forEachSelected(rows, selected, [&](std::string_view row, bool first) {
        ++count;
        if (asStored) {
            if (!first)
                stored += "\r\n";
            stored += row;
        } else {
            if (!first)
                formatted += L"\r\n";
            formatted += cellText(kind, row);
        }
    });
    // UTF-8 never takes fewer bytes than UTF-16 takes units.
    const std::size_t units = (asStored ? stored.size() : formatted.size()) + 1;
    if (count == 0 || units > static_cast<std::size_t>(INT_MAX))
        return nullptr;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, units * sizeof(wchar_t));
    if (!memory)
        return nullptr;
    auto *into = static_cast<wchar_t *>(GlobalLock(memory));
    if (!into) {
        GlobalFree(memory);
        return nullptr;
    }
    if (asStored)
        cellText(kind, stored, into, static_cast<int>(units));
    else
        std::memcpy(into, formatted.c_str(), units * sizeof(wchar_t));
    GlobalUnlock(memory);
    return memory;
}

// Another program may hold the clipboard for a moment.
bool openClipboard(HWND owner)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (OpenClipboard(owner))
            return true;
        Sleep(10);
    }
    return false;
}

} // namespace

void copyRows(HWND owner, const GridRows &rows, const SelectedRows &selected)
{
    HGLOBAL text = joinedText(rows, selected);
    if (!text)
        return;
    if (!openClipboard(owner)) {
        GlobalFree(text);
        return;
    }
    EmptyClipboard();
    // The clipboard owns the memory once it took it.
    if (!SetClipboardData(CF_UNICODETEXT, text))
        GlobalFree(text);
    CloseClipboard();
}

} // namespace search_window
