#pragma once
// The design's twips as Qt rectangles. At 96 dpi a pixel is 15 twips; other
// densities are left to Qt's device-pixel scaling, so the conversion stays fixed.

#include "search_window/form_design.h"

#include <QRect>

namespace search_window {

constexpr QRect twipsRect(TwipRect twips)
{
    return QRect(twipsToPixels(twips.left), twipsToPixels(twips.top), twipsToPixels(twips.width),
                 twipsToPixels(twips.height));
}

} // namespace search_window
