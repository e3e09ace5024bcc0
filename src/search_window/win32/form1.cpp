#include "search_window/win32/form1.h"

#include "article_database/module1.h"
#include "search_window/form_design.h"
#include "search_window/search_steps.h"
#include "search_window/win32/resource_ids.h"
#include "search_window/win32/upper_case.h"

#include <algorithm>

#include <windowsx.h>

namespace search_window {

namespace {

constexpr wchar_t windowClass[] = L"FicheArticleForm1";
constexpr DWORD formStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD formExStyle = 0;

bool registerWindowClass(WNDPROC procedure)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, windowClass, &existing))
        return true;
    WNDCLASSEXW form{};
    form.cbSize = sizeof form;
    form.lpfnWndProc = procedure;
    form.hInstance = instance;
    // The program's own icon; a test program that links the window has none
    // and gets the system's.
    form.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(FICHE_ARTICLE_ICON));
    form.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(FICHE_ARTICLE_ICON), IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    form.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_3DHIGHLIGHT + 1));
    form.lpszClassName = windowClass;
    return RegisterClassExW(&form) != 0;
}

} // namespace

Form1::Form1(article_database::Module1 &module) : m_module(module) {}

std::unique_ptr<Form1> Form1::create(article_database::Module1 &module)
{
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);
    if (!registerWindowClass(windowProcedure))
        return nullptr;

    std::unique_ptr<Form1> form(new Form1(module));
    const std::wstring caption = wideText(formCaption);
    CreateWindowExW(formExStyle, windowClass, caption.c_str(), formStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                    CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, GetModuleHandleW(nullptr), form.get());
    if (!form->m_window)
        return nullptr;
    form->m_dpi = GetDpiForWindow(form->m_window);
    form->createControls();
    form->placeControls();
    form->centreOnMonitor();
    form->Form_Load();
    return form;
}

Form1::~Form1()
{
    if (m_window)
        DestroyWindow(m_window);
}

void Form1::show(int showCommand)
{
    m_lastFocus = RechGeneral;
    ShowWindow(m_window, showCommand);
    SetFocus(RechGeneral);
    UpdateWindow(m_window);
}

void Form1::centreOnMonitor()
{
    RECT frame{0, 0, twipsToPixels(formClientWidth, static_cast<int>(m_dpi)),
               twipsToPixels(formClientHeight, static_cast<int>(m_dpi))};
    AdjustWindowRectExForDpi(&frame, formStyle, FALSE, formExStyle, m_dpi);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(m_window, MONITOR_DEFAULTTOPRIMARY), &monitor))
        return;
    const RECT &work = monitor.rcWork;
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    // A screen smaller than the form keeps the title bar within reach.
    const int left = std::max(work.left, work.left + (work.right - work.left - width) / 2);
    const int top = std::max(work.top, work.top + (work.bottom - work.top - height) / 2);
    SetWindowPos(m_window, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form1::Form_Load()
{
    m_module.OUVRIR_BASE();
    m_module.ouvrirTableArticle();
}

// Ends the program. The module's table may still be being read: the caller
// lets the module go once the loop ends, which stops the read where it stands.
void Form1::Command1_Click()
{
    HWND window = m_window;
    DestroyWindow(window);
    PostQuitMessage(0);
}

void Form1::RechGeneral_Change()
{
    const int length = GetWindowTextLengthW(RechGeneral);
    m_text.resize(static_cast<std::size_t>(length) + 1);
    const int got = GetWindowTextW(RechGeneral, m_text.data(), length + 1);
    const std::u16string_view text(reinterpret_cast<const char16_t *>(m_text.data()),
                                   static_cast<std::size_t>(std::max(got, 0)));
    search_window::RechGeneral_Change(m_module, *G, text, upperCaseEachUnit);
}

LRESULT CALLBACK Form1::windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto *form = static_cast<Form1 *>(reinterpret_cast<const CREATESTRUCTW *>(lParam)->lpCreateParams);
        form->m_window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto *form = reinterpret_cast<Form1 *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!form)
        return DefWindowProcW(window, message, wParam, lParam);
    // No exception may cross the system's frames: a handler that fails is
    // abandoned, and the user sees no message, as the program's convention has it.
    try {
        return form->handle(message, wParam, lParam);
    } catch (...) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT Form1::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        return command(LOWORD(wParam), HIWORD(wParam));
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (G && G->notify(*reinterpret_cast<NMHDR *>(lParam), result))
            return result;
        break;
    }
    case WM_CONTEXTMENU:
        if (G && reinterpret_cast<HWND>(wParam) == G->window()) {
            G->showMenu(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return 0;
        }
        break;
    case WM_CTLCOLORSTATIC:
        return colourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case DM_GETDEFID:
        return defaultButton();
    case WM_ACTIVATE:
        // The focus leaves with the window and comes back where it was.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(m_window, focus))
                m_lastFocus = focus;
        } else if (!HIWORD(wParam) && m_lastFocus) {
            SetFocus(m_lastFocus);
        }
        return 0;
    case WM_DPICHANGED:
        dpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT *>(lParam));
        return 0;
    case WM_CLOSE:
        Command1_Click();
        return 0;
    case WM_NCDESTROY: {
        // The default teardown still needs the handle the form lets go of.
        HWND window = m_window;
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        m_window = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    default:
        break;
    }
    return DefWindowProcW(m_window, message, wParam, lParam);
}

LRESULT Form1::command(WORD id, WORD code)
{
    if (id == RechGeneralId && code == EN_CHANGE)
        RechGeneral_Change();
    else if (id == Command1Id && code == BN_CLICKED)
        Command1_Click();
    // Enter elsewhere than on the button (IDOK) and Escape (IDCANCEL) do
    // nothing: the form has neither a default nor a cancel button.
    return 0;
}

// The dialog manager presses the default button on Enter: the button is the
// default only while it has the focus, so Enter presses it then and only then.
LRESULT Form1::defaultButton() const
{
    if (GetFocus() == Command1)
        return MAKELRESULT(Command1Id, DC_HASDEFID);
    return 0;
}

LRESULT Form1::colourStatic(HDC dc, HWND control)
{
    if (control == Label1) {
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        SetBkColor(dc, GetSysColor(COLOR_3DHIGHLIGHT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_3DHIGHLIGHT));
    }
    if (control == Label2) {
        SetTextColor(dc, RGB(255, 255, 0));
        SetBkColor(dc, RGB(0, 0, 0));
        return reinterpret_cast<LRESULT>(GetStockObject(BLACK_BRUSH));
    }
    return DefWindowProcW(m_window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
}

void Form1::dpiChanged(UINT dpi, const RECT &suggested)
{
    m_dpi = dpi;
    SetWindowPos(m_window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    placeControls();
}

} // namespace search_window
