#include "search_window/win32/list_grid.h"

#include "article_database/query/unicode_text.h"
#include "search_window/form_design.h"

#include <algorithm>
#include <climits>
#include <iterator>

namespace search_window {

namespace {

// UTF-8 into the list view's buffer, cut to its room without splitting a
// surrogate pair; always terminated.
void copyAsUtf16(std::string_view utf8, wchar_t *out, int room)
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
}

} // namespace

ListGrid::ListGrid(HWND parent, int id)
    : m_list(CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, wideText(GAccessibleName).c_str(),
                             WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL
                                 | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
                             0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             GetModuleHandleW(nullptr), nullptr))
{
    const DWORD extended = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER;
    SendMessageW(m_list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    // The column's width is the design's, not the user's to drag.
    if (HWND header = reinterpret_cast<HWND>(SendMessageW(m_list, LVM_GETHEADER, 0, 0)))
        SetWindowLongPtrW(header, GWL_STYLE, GetWindowLongPtrW(header, GWL_STYLE) | HDS_NOSIZING);
}

void ListGrid::setFormatString(std::u16string_view format)
{
    const GridFormat parsed = parseGridFormat(format);
    m_header = wideText(parsed.header);

    // Windows left-aligns the leftmost column whatever its format says. As
    // the list view's documentation advises, the column is added second,
    // after a placeholder, which then goes: it keeps its alignment as the
    // first column.
    while (SendMessageW(m_list, LVM_DELETECOLUMN, 0, 0)) {
    }
    LVCOLUMNW placeholder{};
    placeholder.mask = LVCF_WIDTH;
    SendMessageW(m_list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&placeholder));
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
    column.fmt = parsed.centred ? LVCFMT_CENTER : LVCFMT_LEFT;
    column.pszText = m_header.data();
    SendMessageW(m_list, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
    SendMessageW(m_list, LVM_DELETECOLUMN, 0, 0);
    fitColumn();
}

void ListGrid::setFont(HFONT font, UINT dpi)
{
    m_dpi = dpi;
    SendMessageW(m_list, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    fitColumn();
}

void ListGrid::fitColumn()
{
    // The header draws its text inside three edges' width on each side; the
    // column is just wide enough for the whole header text, spaces included.
    const int margin = 3 * GetSystemMetricsForDpi(SM_CXEDGE, m_dpi);
    const auto text = static_cast<int>(
        SendMessageW(m_list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(m_header.c_str())));
    SendMessageW(m_list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(text + 2 * margin, 0));
}

bool ListGrid::notify(NMHDR &header, LRESULT &result) const
{
    if (header.hwndFrom != m_list)
        return false;
    if (header.code == LVN_GETDISPINFOW) {
        showText(reinterpret_cast<NMLVDISPINFOW &>(header).item);
        result = 0;
        return true;
    }
    if (header.code == LVN_ODFINDITEMW) {
        result = findRow(reinterpret_cast<const NMLVFINDITEMW &>(header));
        return true;
    }
    return false;
}

void ListGrid::showText(LVITEMW &item) const
{
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0)
        return;
    if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= m_rows.size() || item.iSubItem != 0) {
        item.pszText[0] = L'\0';
        return;
    }
    copyAsUtf16(m_rows[static_cast<std::size_t>(item.iItem)], item.pszText, item.cchTextMax);
}

// Letters typed in the grid go to the next row that starts with them,
// whatever their case, from the row the list view names, round to the top.
int ListGrid::findRow(const NMLVFINDITEMW &find) const
{
    if (!(find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.lvfi.psz || m_rows.size() == 0)
        return -1;
    const int typed = lstrlenW(find.lvfi.psz);
    const std::size_t count = m_rows.size();
    const std::size_t start = find.iStart >= 0 && static_cast<std::size_t>(find.iStart) < count
                                  ? static_cast<std::size_t>(find.iStart)
                                  : 0;
    const std::size_t last = (find.lvfi.flags & LVFI_WRAP) ? count : count - start;
    wchar_t text[256];
    for (std::size_t step = 0; step < last; ++step) {
        const std::size_t row = (start + step) % count;
        copyAsUtf16(m_rows[row], text, static_cast<int>(std::size(text)));
        const int length = lstrlenW(text);
        const bool whole = !(find.lvfi.flags & LVFI_PARTIAL);
        if ((whole ? length == typed : length >= typed)
            && CompareStringOrdinal(text, typed, find.lvfi.psz, typed, TRUE) == CSTR_EQUAL)
            return static_cast<int>(row);
    }
    return -1;
}

int ListGrid::Rows() const
{
    return static_cast<int>(std::min<std::size_t>(m_rows.size(), INT_MAX - 1)) + 1;
}

void ListGrid::setRows(int rows)
{
    m_rows.resize(static_cast<std::size_t>(std::max(rows - 1, 0)));
    if (m_batchDepth == 0)
        showRows();
}

void ListGrid::AddItem(std::string_view text, const std::shared_ptr<const void> &keepAlive)
{
    m_rows.append(text, keepAlive);
    if (m_batchDepth == 0)
        showRows();
}

void ListGrid::beginUpdate()
{
    ++m_batchDepth;
}

void ListGrid::endUpdate()
{
    if (m_batchDepth > 0 && --m_batchDepth > 0)
        return;
    showRows();
}

void ListGrid::showRows()
{
    // A new listing starts at its top with nothing selected, as a model
    // reset does.
    LVITEMW unselected{};
    unselected.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(m_list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&unselected));
    const int count = Rows() - 1;
    SendMessageW(m_list, LVM_SETITEMCOUNT, static_cast<WPARAM>(count), 0);
    if (count > 0)
        SendMessageW(m_list, LVM_ENSUREVISIBLE, 0, FALSE);
}

} // namespace search_window
