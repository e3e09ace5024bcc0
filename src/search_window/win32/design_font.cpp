#include "search_window/win32/design_font.h"

#include <cmath>
#include <cwchar>
#include <string>

namespace search_window {

namespace {

struct Wanted {
    bool scalable;
    bool found = false;
};

int CALLBACK noteFound(const LOGFONTW *, const TEXTMETRICW *, DWORD type, LPARAM wanted)
{
    auto &face = *reinterpret_cast<Wanted *>(wanted);
    if (face.scalable && (type & RASTER_FONTTYPE))
        return 1;
    face.found = true;
    return 0;
}

bool faceInstalled(HDC screen, const std::wstring &face, bool scalable)
{
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    if (face.size() >= LF_FACESIZE)
        return false;
    std::wmemcpy(wanted.lfFaceName, face.c_str(), face.size() + 1);
    Wanted found{scalable};
    EnumFontFamiliesExW(screen, &wanted, noteFound, reinterpret_cast<LPARAM>(&found), 0);
    return found.found;
}

std::wstring messageFace(UINT dpi)
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi))
        return metrics.lfMessageFont.lfFaceName;
    return {};
}

// The design's faces in their order, then the system's message font. A
// raster face ("MS Sans Serif" on every Windows is one) has its sizes drawn
// for 96 dpi alone: elsewhere its text would snap to the nearest bitmap,
// so a scalable face stands in for it.
std::wstring installedFace(const FontDesign &design, UINT dpi)
{
    const bool scalable = dpi != USER_DEFAULT_SCREEN_DPI;
    HDC screen = GetDC(nullptr);
    std::wstring chosen;
    for (const std::u16string_view face : fontFaces(design.face)) {
        if (!face.empty() && faceInstalled(screen, wideText(face), scalable)) {
            chosen = wideText(face);
            break;
        }
    }
    ReleaseDC(nullptr, screen);
    return chosen.empty() ? messageFace(dpi) : chosen;
}

} // namespace

FontHandle createDesignFont(const FontDesign &design, UINT dpi)
{
    LOGFONTW font{};
    font.lfHeight = -static_cast<LONG>(std::lround(design.points * dpi / 72.0));
    font.lfWeight = design.semibold ? FW_SEMIBOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    // Where a face comes both ways, away from 96 dpi the outline one.
    font.lfOutPrecision = dpi == USER_DEFAULT_SCREEN_DPI ? OUT_DEFAULT_PRECIS : OUT_OUTLINE_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
    const std::wstring face = installedFace(design, dpi);
    if (face.size() < LF_FACESIZE)
        std::wmemcpy(font.lfFaceName, face.c_str(), face.size() + 1);
    return FontHandle(CreateFontIndirectW(&font));
}

} // namespace search_window
