#pragma once
// The selected rows on the clipboard as the grid shows them, one a line.

#include "search_window/grid_rows.h"
#include "search_window/win32/selected_rows.h"
#include "search_window/win32/windows_api.h"

namespace search_window {

// Nothing happens when no row is selected or the clipboard cannot be had.
void copyRows(HWND owner, const GridRows &rows, const SelectedRows &selected);

} // namespace search_window
