#include "search_window/win32/form1.h"

#include "search_window/form_design.h"

namespace search_window {

namespace {

HWND createControl(HWND form, const wchar_t *className, std::u16string_view caption, DWORD style, DWORD exStyle,
                   int id)
{
    return CreateWindowExW(exStyle, className, wideText(caption).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                           form, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                           nullptr);
}

} // namespace

// The controls in the order Tab visits them: box, grid, button. Label1 comes
// just before the box, which screen readers name after the static text
// preceding it.
void Form1::createControls()
{
    Label1 = createControl(m_window, WC_STATICW, Label1Caption, SS_LEFT | SS_NOPREFIX, 0, Label1Id);
    RechGeneral = createControl(m_window, WC_EDITW, u"", WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
                                RechGeneralId);
    // The default limit, 32,767 characters, cuts a long paste silently; the
    // search must get all the user gave.
    SendMessageW(RechGeneral, EM_SETLIMITTEXT, 0, 0);

    G = std::make_unique<ListGrid>(m_window, GId);
    G->setFormatString(GFormatString());

    Command1 = createControl(m_window, WC_BUTTONW, Command1Caption, WS_TABSTOP | BS_PUSHBUTTON, 0, Command1Id);
    Label2 = createControl(m_window, WC_STATICW, Label2Caption, SS_LEFT | SS_NOPREFIX, 0, Label2Id);
}

void Form1::placeControls()
{
    const struct {
        HWND control;
        const ControlDesign &design;
    } controls[] = {{RechGeneral, RechGeneralDesign},
                    {G->window(), GDesign},
                    {Label1, Label1Design},
                    {Command1, Command1Design},
                    {Label2, Label2Design}};
    static_assert(std::size(controls) == std::tuple_size_v<decltype(m_fonts)>);

    const int dpi = static_cast<int>(m_dpi);
    decltype(m_fonts) fonts;
    for (std::size_t i = 0; i < fonts.size(); ++i) {
        const auto &[control, design] = controls[i];
        fonts[i] = createDesignFont(design.font, m_dpi);
        const TwipRect &twips = design.twips;
        SetWindowPos(control, nullptr, twipsToPixels(twips.left, dpi), twipsToPixels(twips.top, dpi),
                     twipsToPixels(twips.width, dpi), twipsToPixels(twips.height, dpi),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if (control == G->window())
            G->setFont(fonts[i].get(), m_dpi);
        else
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fonts[i].get()), TRUE);
    }
    // The controls have let go of the old fonts only now.
    m_fonts.swap(fonts);
}

} // namespace search_window
