#pragma once
// One row of the grid painted by the window itself: a list view draws its
// first column's text at the left whatever the column's format, and the
// grid's one column is centred.

#include "search_window/win32/windows_api.h"

#include <string_view>

namespace search_window {

struct RowLook {
    bool selected = false;
    // The row has the keyboard focus and the list shows focus cues.
    bool focusCue = false;
    // The list has the keyboard focus: selected rows then take the
    // highlight colours, else those of a selection kept on show.
    bool listFocused = false;
};

// `row` is the whole row; the text is centred in it, `margin` pixels kept
// clear at each side, cut with an ellipsis where it does not fit.
void paintRow(HDC dc, const RECT &row, std::wstring_view text, const RowLook &look, int margin);

} // namespace search_window
