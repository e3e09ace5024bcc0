#pragma once
// The Win32 window driven as a user would: keys posted to the focused
// control and delivered through the program's own message handling, until
// nothing is left to deliver. A search runs to its end inside the delivery
// of the keystroke that asked for it, so once the queue is empty the grid
// shows what the user would see.

#include "jet_engine/platform/operating_system.h"
#include "jet_engine/text/unicode_text.h"
#include "search_window/win32/message_loop.h"
#include "search_window/win32/windows_api.h"

#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace win32_window_testing {

// This system, with "C:\" at a folder the test owns.
class DriveInFolder final : public jet_engine::OperatingSystem {
public:
    explicit DriveInFolder(std::string folder) : m_folder(std::move(folder)) {}

    jet_engine::Outcome<std::unique_ptr<jet_engine::ReadableFile>>
    openForReading(const std::string &path) override
    {
        return jet_engine::operatingSystem().openForReading(path);
    }
    std::optional<jet_engine::FileIdentity> identify(const std::string &path) override
    {
        return jet_engine::operatingSystem().identify(path);
    }
    std::int64_t fileClockNs() override { return jet_engine::operatingSystem().fileClockNs(); }
    std::unique_ptr<jet_engine::CodePageConverter> codePage(unsigned codePage) override
    {
        return jet_engine::operatingSystem().codePage(codePage);
    }
    std::string windowsPath(std::string_view path) override
    {
        if (path.size() >= 3 && (path[0] == 'C' || path[0] == 'c') && path.substr(1, 2) == ":\\")
            return m_folder + "\\" + std::string(path.substr(3));
        return std::string(path);
    }

private:
    std::string m_folder;
};

// Delivers every queued message as the program's loop does; true once the
// program's end was asked for.
inline bool deliverQueued(HWND form)
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            return true;
        search_window::deliverMessage(form, message);
    }
    return false;
}

// A key pressed and released where the keyboard sends it: to the focus.
inline void pressKey(UINT virtualKey, bool alt = false)
{
    HWND focus = GetFocus();
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16;
    const LPARAM down = 1 | scan | (alt ? LPARAM(1) << 29 : 0);
    const LPARAM up = down | (LPARAM(1) << 30) | (LPARAM(1) << 31);
    PostMessageW(focus, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, virtualKey, down);
    PostMessageW(focus, alt ? WM_SYSKEYUP : WM_KEYUP, virtualKey, up);
}

// Characters as a keyboard layout or an input method delivers them.
inline void typeText(std::u16string_view text)
{
    HWND focus = GetFocus();
    for (const char16_t unit : text)
        PostMessageW(focus, WM_CHAR, unit, 1);
}

inline std::wstring windowText(HWND window)
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// What the list view holds in `column`, top to bottom, in UTF-8.
inline std::vector<std::string> listedRows(HWND list, int column = 0)
{
    std::vector<std::string> rows;
    const auto count = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    for (LRESULT row = 0; row < count; ++row) {
        wchar_t text[300];
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = static_cast<int>(std::size(text));
        const auto length =
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        rows.push_back(jet_engine::toUtf8(
            std::u16string_view(reinterpret_cast<const char16_t *>(text), static_cast<std::size_t>(length))));
    }
    return rows;
}

// The control's rectangle in its parent's client area: left, top, width, height.
inline std::vector<int> placeInParent(HWND control)
{
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT *>(&rect), 2);
    return {int(rect.left), int(rect.top), int(rect.right - rect.left), int(rect.bottom - rect.top)};
}

} // namespace win32_window_testing
