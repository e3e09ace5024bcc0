#include "search_window/win32/row_copy.h"

#include "search_window/cell_value.h"
#include "search_window/win32/cell_text.h"

#include <climits>
#include <cstring>
#include <string>

namespace search_window {

namespace {

// The rows' text as one UTF-16 string in memory the clipboard can take.
// Text shown as stored is joined as UTF-8 and converted in one pass, so a
// quarter of a million rows cost one conversion, not one each.
HGLOBAL joinedText(const GridRows &rows, const SelectedRows &selected)
{
    const auto kind = rows.kind();
    std::wstring formatted;
    std::string stored;
    const bool asStored = shownAsStored(kind);
    if (asStored) {
        std::size_t bytes = 0;
        for (const SelectedRows::Range &range : selected.ranges())
            for (std::size_t row = range.first; row <= range.last && row < rows.size(); ++row)
                bytes += rows[row].size() + 2;
        stored.reserve(bytes);
    }
    for (const SelectedRows::Range &range : selected.ranges()) {
        for (std::size_t row = range.first; row <= range.last && row < rows.size(); ++row) {
            if (asStored) {
                if (!stored.empty())
                    stored += "\r\n";
                stored += rows[row];
            } else {
                if (!formatted.empty())
                    formatted += L"\r\n";
                formatted += cellText(kind, rows[row]);
            }
        }
    }
    // UTF-8 never takes fewer bytes than UTF-16 takes units.
    const std::size_t units = (asStored ? stored.size() : formatted.size()) + 1;
    if (units == 1 || units > static_cast<std::size_t>(INT_MAX))
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

} // namespace

void copyRows(HWND owner, const GridRows &rows, const SelectedRows &selected)
{
    HGLOBAL text = joinedText(rows, selected);
    if (!text)
        return;
    if (!OpenClipboard(owner)) {
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
