#pragma once
// The form was laid out in twips. At 96 dpi a pixel is 15 twips; other
// densities are left to Qt's device-pixel scaling, so the conversion stays fixed.

#include <QRect>

namespace search_window {

constexpr int twipsPerPixel = 15;

constexpr int twipsToPixels(int twips)
{
    return (twips + twipsPerPixel / 2) / twipsPerPixel;
}

constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

} // namespace search_window
