#pragma once
// The program's one window, on the Win32 API: a search box, the grid of
// matching designations and a button that ends the program, placed from the
// form's design at the density of the monitor the window is on, and placed
// again, with fonts made again, when it moves to another density.

#include "search_window/win32/design_font.h"
#include "search_window/win32/list_grid.h"
#include "search_window/win32/windows_api.h"

#include <array>
#include <memory>
#include <string>

namespace article_database {
class Module1;
}

namespace search_window {

class Form1 {
public:
    // The window, hidden, centred on its monitor, with the module's database
    // opened and its table being read; null when Windows makes no window.
    static std::unique_ptr<Form1> create(article_database::Module1 &module);
    ~Form1();
    Form1(const Form1 &) = delete;
    Form1 &operator=(const Form1 &) = delete;

    // Null once the window is closed.
    HWND window() const { return m_window; }
    // Shows the window with the focus in the search box.
    void show(int showCommand);

    // Control ids, for the window's children.
    enum : int { RechGeneralId = 101, GId, Command1Id, Label1Id, Label2Id };

private:
    explicit Form1(article_database::Module1 &module);
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT command(WORD id, WORD code);
    LRESULT colourStatic(HDC dc, HWND control);
    LRESULT defaultButton() const;
    void dpiChanged(UINT dpi, const RECT &suggested);

    void createControls();
    // Positions and fonts at m_dpi.
    void placeControls();
    void centreOnMonitor();
    void Form_Load();
    void Command1_Click();
    void RechGeneral_Change();

    article_database::Module1 &m_module;
    HWND m_window = nullptr;
    UINT m_dpi = USER_DEFAULT_SCREEN_DPI;
    // One font per control, in the order of the design's table.
    std::array<FontHandle, 5> m_fonts;
    HWND Label1 = nullptr;
    HWND RechGeneral = nullptr;
    std::unique_ptr<ListGrid> G;
    HWND Command1 = nullptr;
    HWND Label2 = nullptr;
    // Where the focus was when the window was last left, to return it there.
    HWND m_lastFocus = nullptr;
    // The box's text, kept between keystrokes so that reading it rarely allocates.
    std::wstring m_text;
};

} // namespace search_window
