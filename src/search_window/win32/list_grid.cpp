#include "search_window/win32/list_grid.h"

#include "search_window/form_design.h"
#include "search_window/win32/cell_text.h"
#include "search_window/win32/row_copy.h"
#include "search_window/win32/row_paint.h"
#include "search_window/win32/type_ahead.h"

#include <algorithm>
#include <climits>
#include <iterator>

namespace search_window {

namespace {

constexpr UINT_PTR subclassId = 1;
constexpr UINT copyCommand = 1;
constexpr wchar_t copyCaption[] = L"&Copier";

bool widthChange(const NMHEADERW &change)
{
    return (change.hdr.code == HDN_ITEMCHANGINGW || change.hdr.code == HDN_ITEMCHANGINGA) && change.pitem
        && (change.pitem->mask & HDI_WIDTH);
}

} // namespace

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
    if (HWND headerWindow = header())
        SetWindowLongPtrW(headerWindow, GWL_STYLE, GetWindowLongPtrW(headerWindow, GWL_STYLE) | HDS_NOSIZING);
    SetWindowSubclass(m_list, listProcedure, subclassId, reinterpret_cast<DWORD_PTR>(this));
}

ListGrid::~ListGrid()
{
    if (m_list)
        RemoveWindowSubclass(m_list, listProcedure, subclassId);
}

// Every other way to change the column's width ends here: the user's
// "size all columns" (Ctrl and the keypad's +), a width asked for by
// message, the header told directly. A list view does not pass its header's
// notifications on to its parent everywhere (Wine keeps HDN_ITEMCHANGING),
// so they are refused on their way into it. The key and a width asked for
// are refused before the list view measures every row for them, which
// takes long with a quarter of a million rows.
LRESULT CALLBACK ListGrid::listProcedure(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR self)
{
    auto *grid = reinterpret_cast<ListGrid *>(self);
    switch (message) {
    case LVM_SETCOLUMNWIDTH:
        if (!grid->m_fitting)
            return FALSE;
        break;
    case WM_KEYDOWN:
        if (wParam == VK_ADD && GetKeyState(VK_CONTROL) < 0)
            return 0;
        break;
    case WM_NOTIFY:
        if (!grid->m_fitting && widthChange(*reinterpret_cast<const NMHEADERW *>(lParam)))
            return TRUE;
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(list, listProcedure, subclassId);
        grid->m_list = nullptr;
        break;
    default:
        break;
    }
    return DefSubclassProc(list, message, wParam, lParam);
}

HWND ListGrid::header() const
{
    return reinterpret_cast<HWND>(SendMessageW(m_list, LVM_GETHEADER, 0, 0));
}

void ListGrid::setFormatString(std::u16string_view format)
{
    const GridFormat parsed = parseGridFormat(format);
    m_header = wideText(parsed.header);

    while (SendMessageW(m_list, LVM_DELETECOLUMN, 0, 0)) {
    }
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
    column.fmt = parsed.centred ? LVCFMT_CENTER : LVCFMT_LEFT;
    column.pszText = m_header.data();
    SendMessageW(m_list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    // The list view keeps its first column's header at the left too; the
    // header control itself centres any of its items.
    if (HWND headerWindow = header()) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        item.fmt = HDF_STRING | (parsed.centred ? HDF_CENTER : HDF_LEFT);
        SendMessageW(headerWindow, HDM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    fitColumn();
}

void ListGrid::setFont(HFONT font, UINT dpi)
{
    m_dpi = dpi;
    SendMessageW(m_list, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    fitColumn();
}

// The header draws its text inside three edges' width on each side.
int ListGrid::margin() const
{
    return 3 * GetSystemMetricsForDpi(SM_CXEDGE, m_dpi);
}

// Just wide enough for the whole header text, spaces included.
void ListGrid::fitColumn()
{
    const auto text = static_cast<int>(
        SendMessageW(m_list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(m_header.c_str())));
    m_fitting = true;
    SendMessageW(m_list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(text + 2 * margin(), 0));
    m_fitting = false;
}

bool ListGrid::notify(NMHDR &header, LRESULT &result)
{
    if (header.hwndFrom != m_list)
        return false;
    result = 0;
    switch (header.code) {
    case LVN_GETDISPINFOW:
        showText(reinterpret_cast<NMLVDISPINFOW &>(header).item);
        return true;
    case LVN_GETINFOTIPW:
        showTip(reinterpret_cast<NMLVGETINFOTIPW &>(header));
        return true;
    case NM_CUSTOMDRAW:
        result = paint(reinterpret_cast<NMLVCUSTOMDRAW &>(header));
        return true;
    case LVN_ODFINDITEMW:
        result = findTypedRow(m_rows, reinterpret_cast<const NMLVFINDITEMW &>(header));
        return true;
    case LVN_ITEMCHANGED:
        noteChange(reinterpret_cast<const NMLISTVIEW &>(header));
        return true;
    case LVN_ODSTATECHANGED: {
        const auto &range = reinterpret_cast<const NMLVODSTATECHANGE &>(header);
        if (((range.uNewState ^ range.uOldState) & LVIS_SELECTED) && range.iFrom >= 0 && range.iTo >= 0)
            m_selected.set(static_cast<std::size_t>(range.iFrom), static_cast<std::size_t>(range.iTo),
                           range.uNewState & LVIS_SELECTED);
        return true;
    }
    case LVN_DELETEALLITEMS:
        m_selected.clear();
        // Nothing to say of each row: the rows are the grid's, not the list view's.
        result = TRUE;
        return true;
    case LVN_KEYDOWN:
        return key(reinterpret_cast<const NMLVKEYDOWN &>(header));
    default:
        return false;
    }
}

// A change of one row states the row's whole new state; one of every row
// at once comes as row -1.
void ListGrid::noteChange(const NMLISTVIEW &change)
{
    if (!(change.uChanged & LVIF_STATE))
        return;
    const bool selected = change.uNewState & LVIS_SELECTED;
    if (change.iItem >= 0)
        m_selected.set(static_cast<std::size_t>(change.iItem), selected);
    else if (selected)
        m_selected.selectAll(m_rows.size());
    else if (change.uOldState & LVIS_SELECTED)
        m_selected.clear();
}

bool ListGrid::key(const NMLVKEYDOWN &key)
{
    if (GetKeyState(VK_CONTROL) >= 0 || GetKeyState(VK_MENU) < 0)
        return false;
    if (key.wVKey == 'A') {
        selectAll();
        return true;
    }
    if (key.wVKey == 'C' || key.wVKey == VK_INSERT) {
        copySelectedRows();
        return true;
    }
    return false;
}

// A list view that selects every row one by one (Wine's does) would
// otherwise work out where each row lies and mark it to be painted again:
// seconds for a quarter of a million rows. With drawing held, the list is
// painted once.
void ListGrid::selectAll()
{
    LVITEMW all{};
    all.state = all.stateMask = LVIS_SELECTED;
    SendMessageW(m_list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(m_list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&all));
    SendMessageW(m_list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_list, nullptr, FALSE);
}

void ListGrid::showText(LVITEMW &item) const
{
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0)
        return;
    if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= m_rows.size() || item.iSubItem != 0) {
        item.pszText[0] = L'\0';
        return;
    }
    cellText(m_rows.kind(), m_rows[static_cast<std::size_t>(item.iItem)], item.pszText, item.cchTextMax);
}

// Only a row the column cuts short has a tooltip: an empty text shows none.
void ListGrid::showTip(NMLVGETINFOTIPW &tip) const
{
    if (!tip.pszText || tip.cchTextMax <= 0)
        return;
    tip.pszText[0] = L'\0';
    if (tip.iItem < 0 || static_cast<std::size_t>(tip.iItem) >= m_rows.size())
        return;
    const std::wstring text = cellText(m_rows.kind(), m_rows[static_cast<std::size_t>(tip.iItem)]);
    const auto width = SendMessageW(m_list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str()));
    const auto room = SendMessageW(m_list, LVM_GETCOLUMNWIDTH, 0, 0) - 2 * margin();
    if (width <= room)
        return;
    const std::size_t kept = std::min(text.size(), static_cast<std::size_t>(tip.cchTextMax - 1));
    text.copy(tip.pszText, kept);
    tip.pszText[kept] = L'\0';
}

LRESULT ListGrid::paint(NMLVCUSTOMDRAW &draw)
{
    if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) {
        // What holds for every row of this painting, asked once.
        followSelection();
        m_painting.listFocused = GetFocus() == m_list;
        m_painting.cuesHidden = SendMessageW(m_list, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS;
        return CDRF_NOTIFYITEMDRAW;
    }
    if (draw.nmcd.dwDrawStage != CDDS_ITEMPREPAINT)
        return CDRF_DODEFAULT;
    const auto row = static_cast<int>(draw.nmcd.dwItemSpec);
    if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size())
        return CDRF_DODEFAULT;
    // The selection is the grid's own account, checked once above, not a
    // question to the list view a row: Wine's list view takes a fifth of a
    // millisecond for each.
    RowLook look;
    look.selected = m_selected.contains(static_cast<std::size_t>(row));
    look.listFocused = m_painting.listFocused;
    look.focusCue = (draw.nmcd.uItemState & CDIS_FOCUS) && m_painting.listFocused && !m_painting.cuesHidden;
    wchar_t text[512];
    cellText(m_rows.kind(), m_rows[static_cast<std::size_t>(row)], text, static_cast<int>(std::size(text)));
    // The row's whole width, as Windows documents the rectangle at this
    // stage; asking the list view instead costs Wine a measure of the row's
    // text through a device context of the screen, most of a row's paint.
    paintRow(draw.nmcd.hdc, draw.nmcd.rc, text, look, margin());
    return CDRF_SKIPDEFAULT;
}

// From the keyboard, the menu opens under the focused row, or at the top of
// the rows when that row is out of sight or there is none.
void ListGrid::showMenu(POINT where)
{
    if (where.x == -1 && where.y == -1) {
        RECT rows{};
        GetClientRect(m_list, &rows);
        RECT above{};
        if (HWND headerWindow = header())
            GetWindowRect(headerWindow, &above);
        rows.top += above.bottom - above.top;
        where = POINT{rows.left, rows.top};
        const auto focused = SendMessageW(m_list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED);
        RECT row{};
        row.left = LVIR_BOUNDS;
        if (focused >= 0
            && SendMessageW(m_list, LVM_GETITEMRECT, static_cast<WPARAM>(focused), reinterpret_cast<LPARAM>(&row))
            && row.bottom > rows.top && row.bottom <= rows.bottom)
            where = POINT{rows.left, row.bottom};
        ClientToScreen(m_list, &where);
    }
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    followSelection();
    const UINT enabled = m_selected.count() > 0 ? MF_ENABLED : MF_GRAYED;
    AppendMenuW(menu, MF_STRING | enabled, copyCommand, copyCaption);
    const UINT chosen = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, where.x, where.y, 0, GetParent(m_list), nullptr));
    DestroyMenu(menu);
    if (chosen == copyCommand)
        copySelectedRows();
}

void ListGrid::copySelectedRows()
{
    followSelection();
    copyRows(m_list, m_rows, m_selected);
}

// The selection kept from the notifications is checked against the list
// view's own count, one message. A list view does not always tell of a
// change: Wine's selects a one-row Shift range in silence. Then the list
// view is asked for its selected rows, one message each, and for none when
// it has none or all.
void ListGrid::followSelection()
{
    const auto listed = SendMessageW(m_list, LVM_GETSELECTEDCOUNT, 0, 0);
    if (listed < 0 || static_cast<std::size_t>(listed) == m_selected.count())
        return;
    m_selected.clear();
    if (listed == 0)
        return;
    if (static_cast<std::size_t>(listed) >= m_rows.size()) {
        m_selected.selectAll(m_rows.size());
        return;
    }
    for (LRESULT row = -1;;) {
        row = SendMessageW(m_list, LVM_GETNEXTITEM, static_cast<WPARAM>(row), LVNI_SELECTED);
        if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size())
            break;
        m_selected.set(static_cast<std::size_t>(row), true);
    }
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

void ListGrid::AddItem(const jet_engine::FieldValue &value, const std::shared_ptr<const void> &keepAlive)
{
    m_rows.append(value, keepAlive);
    if (m_batchDepth == 0)
        showRows();
}

void ListGrid::AddItems(const jet_engine::FieldRun &run)
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

// A new listing starts at its top, nothing selected and its first row
// focused, so that a Tab into the list shows where the keys will act; the
// first row is also where a Shift selection starts. Nothing here works a
// row: a list view that clears a selection row by row (Wine's does) took up
// to 150 ms for a quarter of a million rows, so a selection is let go with
// the list view's items, and only when there is one, since a list view
// emptied loses its scroll bar and takes it back at once, which costs a
// repaint of its frame.
void ListGrid::showRows()
{
    if (SendMessageW(m_list, LVM_GETSELECTEDCOUNT, 0, 0) > 0)
        SendMessageW(m_list, LVM_DELETEALLITEMS, 0, 0);
    m_selected.clear();
    const int count = Rows() - 1;
    SendMessageW(m_list, LVM_SETITEMCOUNT, static_cast<WPARAM>(count), 0);
    if (count == 0)
        return;
    LVITEMW focused{};
    focused.state = focused.stateMask = LVIS_FOCUSED;
    SendMessageW(m_list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&focused));
    SendMessageW(m_list, LVM_SETSELECTIONMARK, 0, 0);
    SendMessageW(m_list, LVM_ENSUREVISIBLE, 0, FALSE);
}

} // namespace search_window
