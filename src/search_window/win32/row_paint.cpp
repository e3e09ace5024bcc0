#include "search_window/win32/row_paint.h"

namespace search_window {

void paintRow(HDC dc, const RECT &row, std::wstring_view text, const RowLook &look, int margin)
{
    int background = COLOR_WINDOW;
    int foreground = COLOR_WINDOWTEXT;
    if (look.selected) {
        background = look.listFocused ? COLOR_HIGHLIGHT : COLOR_BTNFACE;
        foreground = look.listFocused ? COLOR_HIGHLIGHTTEXT : COLOR_BTNTEXT;
    }
    FillRect(dc, &row, GetSysColorBrush(background));
    const COLORREF oldText = SetTextColor(dc, GetSysColor(foreground));
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    RECT inside = row;
    inside.left += margin;
    inside.right -= margin;
    DrawTextW(dc, text.data(), static_cast<int>(text.size()), &inside,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    SetBkMode(dc, oldMode);
    SetTextColor(dc, oldText);
    if (look.focusCue)
        DrawFocusRect(dc, &row);
}

} // namespace search_window
