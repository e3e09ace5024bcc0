#pragma once
// The Windows headers as every file of this window includes them: the UTF-16
// functions, and what Windows 10 brought for windows that follow each
// monitor's density.

#ifndef UNICODE
#define UNICODE
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <string_view>

namespace search_window {

// The design's text for the system's functions, which want it terminated.
inline std::wstring wideText(std::u16string_view text)
{
    return std::wstring(text.begin(), text.end());
}

} // namespace search_window
