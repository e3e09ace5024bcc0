#pragma once
// The row that letters typed in the grid lead to: the next whose shown text
// starts with them, whatever their case, as the list view asks for it
// (LVN_ODFINDITEMW). The typed letters are upper-cased once; each row of
// text is then compared where it lies, as stored in UTF-8, a character at a
// time up to the first that differs, so a miss over a quarter of a million
// rows costs a byte or two a row and no conversion. Numbers and dates, shown
// in the user's formats, are compared as shown, each row formatted.

#include "search_window/grid_rows.h"
#include "search_window/win32/windows_api.h"

namespace search_window {

// -1 when no row matches.
int findTypedRow(const GridRows &rows, const NMLVFINDITEMW &find);

} // namespace search_window
