#pragma once
// The row that letters typed in the grid lead to: the next whose shown text
// starts with them, whatever their case, as the list view asks for it
// (LVN_ODFINDITEMW). The typed letters are upper-cased once; each row's
// stored UTF-8 is then compared where it lies, a character at a time, up to
// the first that differs, so a miss over a quarter of a million rows costs
// a byte or two a row and no conversion.

#include "search_window/grid_rows.h"
#include "search_window/win32/windows_api.h"

namespace search_window {

// -1 when no row matches.
int findTypedRow(const GridRows &rows, const NMLVFINDITEMW &find);

} // namespace search_window
