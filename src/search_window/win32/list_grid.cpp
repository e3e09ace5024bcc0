#include "search_window/win32/list_grid.h"

#include "search_window/form_design.h"
#include "search_window/win32/cell_text.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <iterator>

namespace search_window {

ListGrid::ListGrid(HWND parent, int id)
    : m_list(CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, wideText(GAccessibleName).c_str(),
                             WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS
                                 | LVS_NOSORTHEADER,
                             0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             GetModuleHandleW(nullptr), nullptr))
{
    const DWORD extended = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP;
    SendMessageW(m_list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    // The column's width is the design's, not the user's to drag.
    if (HWND header = reinterpret_cast<HWND>(SendMessageW(m_list, LVM_GETHEADER, 0, 0)))
        SetWindowLongPtrW(header, GWL_STYLE, GetWindowLongPtrW(header, GWL_STYLE) | HDS_NOSIZING);
}

void ListGrid::setFormatString(std::u16string_view format)
{
    const GridFormat parsed = parseGridFormat(format);
    m_header = wideText(parsed.header);

    // Windows documents the leftmost column as always left-aligned (Wine
    // does so too), so the column shown is the second, after one of no width
    // that stays: it takes its format. The first holds the same text for
    // those who read the item's own text, screen readers among them.
    while (SendMessageW(m_list, LVM_DELETECOLUMN, 0, 0)) {
    }
    LVCOLUMNW hidden{};
    hidden.mask = LVCF_WIDTH;
    SendMessageW(m_list, LVM_INSERTCOLUMNW, hiddenColumn, reinterpret_cast<LPARAM>(&hidden));
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
    column.fmt = parsed.centred ? LVCFMT_CENTER : LVCFMT_LEFT;
    column.pszText = m_header.data();
    SendMessageW(m_list, LVM_INSERTCOLUMNW, shownColumn, reinterpret_cast<LPARAM>(&column));
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
    SendMessageW(m_list, LVM_SETCOLUMNWIDTH, shownColumn, MAKELPARAM(text + 2 * margin, 0));
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
    if (header.code == LVN_GETINFOTIPW) {
        showTip(reinterpret_cast<NMLVGETINFOTIPW &>(header));
        result = 0;
        return true;
    }
    if (header.code == LVN_ODFINDITEMW) {
        result = findRow(reinterpret_cast<const NMLVFINDITEMW &>(header));
        return true;
    }
    if (header.code == LVN_KEYDOWN && reinterpret_cast<const NMLVKEYDOWN &>(header).wVKey == 'C'
        && GetKeyState(VK_CONTROL) < 0) {
        copySelectedRows();
        result = 0;
        return true;
    }
    return false;
}

void ListGrid::showText(LVITEMW &item) const
{
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0)
        return;
    if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= m_rows.size() || item.iSubItem > shownColumn) {
        item.pszText[0] = L'\0';
        return;
    }
    cellText(m_rows.kind(), m_rows[static_cast<std::size_t>(item.iItem)], item.pszText, item.cchTextMax);
}

void ListGrid::showTip(NMLVGETINFOTIPW &tip) const
{
    if (!tip.pszText || tip.cchTextMax <= 0 || tip.iItem < 0 || static_cast<std::size_t>(tip.iItem) >= m_rows.size())
        return;
    cellText(m_rows.kind(), m_rows[static_cast<std::size_t>(tip.iItem)], tip.pszText, tip.cchTextMax);
}

void ListGrid::copySelectedRows() const
{
    std::wstring copied;
    int row = -1;
    for (;;) {
        row = static_cast<int>(SendMessageW(m_list, LVM_GETNEXTITEM, static_cast<WPARAM>(row), LVNI_SELECTED));
        if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size())
            break;
        if (!copied.empty())
            copied += L"\r\n";
        copied += cellText(m_rows.kind(), m_rows[static_cast<std::size_t>(row)]);
    }
    if (copied.empty() || !OpenClipboard(m_list))
        return;
    EmptyClipboard();
    const std::size_t bytes = (copied.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void *into = GlobalLock(memory)) {
            std::memcpy(into, copied.c_str(), bytes);
            GlobalUnlock(memory);
            // The clipboard owns the memory once it took it.
            if (!SetClipboardData(CF_UNICODETEXT, memory))
                GlobalFree(memory);
        } else {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
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
        cellText(m_rows.kind(), m_rows[row], text, static_cast<int>(std::size(text)));
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

void ListGrid::AddItem(const article_database::FieldValue &value, const std::shared_ptr<const void> &keepAlive)
{
    m_rows.append(value, keepAlive);
    if (m_batchDepth == 0)
        showRows();
}

void ListGrid::AddItems(const article_database::FieldRun &run)
{
    m_rows.append(run);
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
