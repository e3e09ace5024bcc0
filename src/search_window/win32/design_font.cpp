#include "search_window/win32/design_font.h"

#include <cmath>
#include <cwchar>
#include <string>

namespace search_window {

namespace {

int CALLBACK noteFound(const LOGFONTW *, const TEXTMETRICW *, DWORD, LPARAM found)
{
    *reinterpret_cast<bool *>(found) = true;
    return 0;
}

bool faceInstalled(HDC screen, const std::wstring &face)
{
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    if (face.size() >= LF_FACESIZE)
        return false;
    std::wmemcpy(wanted.lfFaceName, face.c_str(), face.size() + 1);
    bool found = false;
    EnumFontFamiliesExW(screen, &wanted, noteFound, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

std::wstring messageFace(UINT dpi)
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi))
        return metrics.lfMessageFont.lfFaceName;
    return {};
}

// The design's faces in their order, then the system's message font.
std::wstring installedFace(const FontDesign &design, UINT dpi)
{
    HDC screen = GetDC(nullptr);
    std::wstring chosen;
    for (const std::u16string_view face : fontFaces(design.face)) {
        if (!face.empty() && faceInstalled(screen, wideText(face))) {
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
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
    const std::wstring face = installedFace(design, dpi);
    if (face.size() < LF_FACESIZE)
        std::wmemcpy(font.lfFaceName, face.c_str(), face.size() + 1);
    return FontHandle(CreateFontIndirectW(&font));
}

} // namespace search_window
