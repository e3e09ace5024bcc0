#include "search_window/win32/upper_case.h"

#include "search_window/win32/windows_api.h"

namespace search_window {

std::u16string upperCaseEachUnit(std::u16string_view text)
{
    std::u16string upper(text);
    // CharUpperBuffW changes the units in place and never the length; the
    // box's text is far below a DWORD's range.
    if (!upper.empty())
        CharUpperBuffW(reinterpret_cast<wchar_t *>(upper.data()), static_cast<DWORD>(upper.size()));
    return upper;
}

} // namespace search_window
