#pragma once
// The form's faces as GDI fonts for one screen density. A designed face the
// system lacks (Wine has none of them) gives way to the first installed of
// the design's fallbacks for it, else to the system's message font, keeping
// the designed size and weight. Away from 96 dpi a face drawn as bitmaps
// counts as missing.

#include "search_window/form_design.h"
#include "search_window/win32/windows_api.h"

#include <memory>
#include <type_traits>

namespace search_window {

struct FontDeleter {
    void operator()(HFONT font) const { DeleteObject(font); }
};
using FontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

// Height -MulDiv(points, dpi, 72), in pixels, the designed face or its
// fallback; null only when the system makes no font at all.
FontHandle createDesignFont(const FontDesign &design, UINT dpi);

} // namespace search_window
