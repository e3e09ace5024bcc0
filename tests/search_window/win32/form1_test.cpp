#include "search_window/win32/cell_text.h"
#include "window_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using search_window::Form1;
using namespace win32_window_testing;

namespace {

struct Placed {
    const char *name;
    int id;
    std::vector<int> pixelsAt96; // left, top, width, height in the form's client area
    int fontHeightAt96;
    int weight;
};

const Placed placed[] = {
    {"search box", Form1::RechGeneralId, {312, 16, 233, 33}, -16, FW_SEMIBOLD},
    {"grid", Form1::GId, {16, 64, 889, 473}, -15, FW_SEMIBOLD},
    {"prompt", Form1::Label1Id, {120, 24, 161, 25}, -16, FW_NORMAL},
    {"close button", Form1::Command1Id, {816, 560, 89, 33}, -13, FW_SEMIBOLD},
    {"warning", Form1::Label2Id, {552, 16, 361, 33}, -24, FW_NORMAL},
};

LOGFONTW fontOf(HWND control)
{
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font;
}

int CALLBACK noteFound(const LOGFONTW *, const TEXTMETRICW *, DWORD, LPARAM found)
{
    *reinterpret_cast<bool *>(found) = true;
    return 0;
}

bool installed(const wchar_t *face)
{
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(screen, &wanted, noteFound, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

} // namespace

TEST_F(Win32Window, TitleAndClientSizeAt96Dpi)
{
    EXPECT_EQ(windowText(form()), L"Fiche d'article : ");
    ASSERT_EQ(GetDpiForWindow(form()), 96u);
    RECT client;
    GetClientRect(form(), &client);
    EXPECT_EQ(client.right, 921);
    EXPECT_EQ(client.bottom, 622);
}

TEST_F(Win32Window, ControlsAndFontsAsDesigned)
{
    for (const Placed &p : placed) {
        SCOPED_TRACE(p.name);
        EXPECT_EQ(placeInParent(control(p.id)), p.pixelsAt96);
        const LOGFONTW font = fontOf(control(p.id));
        EXPECT_EQ(font.lfHeight, p.fontHeightAt96);
        EXPECT_EQ(font.lfWeight, p.weight);
        // Wine has none of the designed faces: the one given must exist.
        EXPECT_TRUE(installed(font.lfFaceName))
            << "face " << jet_engine::toUtf8(reinterpret_cast<const char16_t *>(font.lfFaceName));
    }
    EXPECT_EQ(windowText(control(Form1::Label1Id)), L"Rechercher d'aricle : ");
    EXPECT_EQ(windowText(control(Form1::Label2Id)), L"Problème avec caractère ( ' )");
    EXPECT_EQ(windowText(button()), L"&Fermer");
}

TEST_F(Win32Window, ControlsKeepTheirPlacesWhenTheWindowIsResized)
{
    SetWindowPos(form(), nullptr, 0, 0, 400, 300, SWP_NOMOVE | SWP_NOZORDER);
    ASSERT_FALSE(deliverQueued(form()));
    for (const Placed &p : placed) {
        SCOPED_TRACE(p.name);
        EXPECT_EQ(placeInParent(control(p.id)), p.pixelsAt96);
    }
}

TEST_F(Win32Window, ANewDensityPlacesTheControlsAndMakesTheirFontsAgain)
{
    RECT suggested{100, 100, 100 + 2000, 100 + 1400};
    SendMessageW(form(), WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
    for (const Placed &p : placed) {
        SCOPED_TRACE(p.name);
        std::vector<int> doubled;
        for (int pixels : p.pixelsAt96)
            doubled.push_back(2 * pixels);
        EXPECT_EQ(placeInParent(control(p.id)), doubled);
        EXPECT_EQ(fontOf(control(p.id)).lfHeight, 2 * p.fontHeightAt96);
    }
}

// A static control fills what its text leaves with the brush its parent
// returns, and its text cell with the colour set on the device context:
// both are seen here, as the control would paint them.
TEST_F(Win32Window, Colours)
{
    EXPECT_EQ(GetClassLongPtrW(form(), GCLP_HBRBACKGROUND), COLOR_3DHIGHLIGHT + 1);
    const struct {
        const char *name;
        int id;
        COLORREF text, background;
    } labels[] = {
        {"prompt", Form1::Label1Id, GetSysColor(COLOR_BTNTEXT), GetSysColor(COLOR_3DHIGHLIGHT)},
        {"warning, yellow on black", Form1::Label2Id, RGB(255, 255, 0), RGB(0, 0, 0)},
    };
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_TRUE(dc);
    for (const auto &label : labels) {
        SCOPED_TRACE(label.name);
        const auto brush = reinterpret_cast<HBRUSH>(SendMessageW(
            form(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control(label.id))));
        LOGBRUSH painted{};
        ASSERT_EQ(GetObjectW(brush, sizeof painted, &painted), static_cast<int>(sizeof painted));
        EXPECT_EQ(painted.lbStyle, static_cast<UINT>(BS_SOLID));
        EXPECT_EQ(painted.lbColor, label.background);
        EXPECT_EQ(GetBkColor(dc), label.background);
        EXPECT_EQ(GetTextColor(dc), label.text);
    }
    DeleteDC(dc);
}

namespace {

bool drawnAsBitmaps(HWND control)
{
    HDC dc = GetDC(control);
    const HGDIOBJ before = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, before);
    ReleaseDC(control, dc);
    return !(metrics.tmPitchAndFamily & (TMPF_VECTOR | TMPF_TRUETYPE));
}

} // namespace

// "MS Sans Serif" is on every Windows a face drawn as bitmaps for 96 dpi
// alone. On a screen at 150 % the two labels kept it: their text snapped to
// the nearest bitmap size, while every other control grew with the screen.
TEST_F(Win32Window, AwayFrom96DpiTheLabelsTakeAScalableFace)
{
    ASSERT_TRUE(drawnAsBitmaps(control(Form1::Label1Id)))
        << "the test needs the prefix to hold, as Windows does, MS Sans Serif as bitmaps only";
    RECT suggested{100, 100, 100 + 1500, 100 + 1000};
    SendMessageW(form(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    for (const int label : {Form1::Label1Id, Form1::Label2Id}) {
        EXPECT_FALSE(drawnAsBitmaps(control(label))) << "label " << label;
        EXPECT_NE(std::wstring(fontOf(control(label)).lfFaceName), L"MS Sans Serif");
    }
    EXPECT_EQ(fontOf(control(Form1::Label1Id)).lfHeight, -24);
}

namespace {

// Calls this program makes to the system's DefWindowProcW, seen on their
// way there: the program's own import of it is pointed here for a while.
class DefaultProcedureCalls {
public:
    DefaultProcedureCalls()
    {
        s_calls = this;
        m_slot = importSlot("user32.dll", "DefWindowProcW");
        if (m_slot)
            swap(reinterpret_cast<void *>(&noted));
    }
    ~DefaultProcedureCalls()
    {
        if (m_slot)
            swap(m_original);
        s_calls = nullptr;
    }
    DefaultProcedureCalls(const DefaultProcedureCalls &) = delete;
    DefaultProcedureCalls &operator=(const DefaultProcedureCalls &) = delete;

    bool hooked() const { return m_slot != nullptr; }
    // The window each WM_NCDESTROY was handed with.
    std::vector<HWND> lastMessages;

private:
    static LRESULT WINAPI noted(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCDESTROY)
            s_calls->lastMessages.push_back(window);
        return reinterpret_cast<decltype(&DefWindowProcW)>(s_calls->m_original)(window, message, wParam, lParam);
    }

    static void **importSlot(const char *library, const char *function)
    {
        auto *base = reinterpret_cast<unsigned char *>(GetModuleHandleW(nullptr));
        const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
        const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY &imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (auto *entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress);
             entry->Name; ++entry) {
            if (lstrcmpiA(reinterpret_cast<const char *>(base + entry->Name), library) != 0)
                continue;
            auto *names = reinterpret_cast<const IMAGE_THUNK_DATA *>(base + entry->OriginalFirstThunk);
            auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + entry->FirstThunk);
            for (; names->u1.AddressOfData; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                    continue;
                const auto *byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
                if (lstrcmpA(reinterpret_cast<const char *>(byName->Name), function) == 0)
                    return reinterpret_cast<void **>(&slots->u1.Function);
            }
        }
        return nullptr;
    }

    void swap(void *function)
    {
        DWORD protection = 0;
        VirtualProtect(m_slot, sizeof *m_slot, PAGE_READWRITE, &protection);
        if (!m_original)
            m_original = *m_slot;
        *m_slot = function;
        VirtualProtect(m_slot, sizeof *m_slot, protection, &protection);
    }

    static inline DefaultProcedureCalls *s_calls = nullptr;
    void **m_slot = nullptr;
    void *m_original = nullptr;
};

} // namespace

// The form let go of its window handle before the system's default handling
// of the window's last message ran, and handed that handling a null window:
// what the system frees there for a window was never freed.
TEST_F(Win32Window, TheLastMessagesDefaultHandlingIsHandedTheWindow)
{
    HWND window = form();
    DefaultProcedureCalls calls;
    ASSERT_TRUE(calls.hooked());
    m_form.reset();
    EXPECT_EQ(calls.lastMessages, std::vector<HWND>{window});
}

// The manifest's two settings: without it Windows hands the program the
// common controls of version 5, which draw the old way, and stretches its
// window as a bitmap on a dense screen.
TEST_F(Win32Window, ManifestBringsCommonControls6AndEachMonitorsDensity)
{
    HMODULE procedureModule = nullptr;
    const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    ASSERT_TRUE(GetModuleHandleExW(flags, reinterpret_cast<LPCWSTR>(GetWindowLongPtrW(button(), GWLP_WNDPROC)),
                                   &procedureModule));
    EXPECT_EQ(procedureModule, GetModuleHandleW(L"comctl32.dll"));
    EXPECT_EQ(GetAwarenessFromDpiAwarenessContext(GetWindowDpiAwarenessContext(form())),
              DPI_AWARENESS_PER_MONITOR_AWARE);
}

TEST_F(Win32Window, FocusStartsInTheSearchBoxAndTabCyclesBoxGridButton)
{
    EXPECT_EQ(GetFocus(), searchBox());
    const HWND order[] = {grid(), button(), searchBox(), grid()};
    for (HWND next : order) {
        pressKey(VK_TAB);
        ASSERT_FALSE(deliverQueued(form()));
        EXPECT_EQ(GetFocus(), next);
    }
}

TEST_F(Win32Window, ShiftTabCyclesBoxButtonGrid)
{
    const KeysHeld shift{VK_SHIFT};
    for (HWND previous : {button(), grid(), searchBox()}) {
        press(VK_TAB);
        EXPECT_EQ(GetFocus(), previous);
    }
}

TEST_F(Win32Window, AltFEndsFromTheSearchBox)
{
    EXPECT_TRUE(endedBy('F', true));
}

// Tab makes the button the default one as it gives it the focus; the focus
// can also come back to it otherwise (the window left and activated again),
// and Enter must press it then too.
TEST_F(Win32Window, EnterOrSpaceOnTheFocusedButtonEnds)
{
    for (const bool byTab : {true, false}) {
        for (const UINT key : {VK_RETURN, VK_SPACE}) {
            SCOPED_TRACE(testing::Message() << (byTab ? "focus by Tab, key " : "focus given, key ") << key);
            open(articleDrive().folder());
            if (byTab) {
                pressKey(VK_TAB);
                pressKey(VK_TAB);
            } else {
                SetFocus(button());
            }
            ASSERT_FALSE(deliverQueued(form()));
            ASSERT_EQ(GetFocus(), button());
            EXPECT_TRUE(endedBy(key));
        }
    }
}

// The dialog manager asks the window to press its default button on Enter
// wherever the focus is: the form has none, so Enter elsewhere than on the
// button must leave the program running.
TEST_F(Win32Window, EnterInTheSearchBoxOrTheGridDoesNotEnd)
{
    EXPECT_FALSE(endedBy(VK_RETURN));
    pressKey(VK_TAB);
    ASSERT_FALSE(deliverQueued(form()));
    EXPECT_FALSE(endedBy(VK_RETURN));
    EXPECT_TRUE(IsWindow(form()));
}

TEST_F(Win32Window, CloseBoxEnds)
{
    HWND window = form();
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(deliverQueued(window));
    EXPECT_FALSE(IsWindow(window));
}

struct Typing {
    const char *name;
    std::u16string typed;
    std::vector<std::string> expected;
};

class Win32WindowTyping : public Win32Window, public testing::WithParamInterface<Typing> {};

TEST_P(Win32WindowTyping, ListsWhatTheBoxHolds)
{
    EXPECT_EQ(type(GetParam().typed), GetParam().expected);
}

const std::vector<std::string> vi{"VIS TÊTE HEXAGONALE M6", "Vis à bois 4x40", "VILEBREQUIN", "TOURNEVIS PLAT"};
const std::vector<std::string> vis{"VIS TÊTE HEXAGONALE M6", "Vis à bois 4x40", "TOURNEVIS PLAT"};
INSTANTIATE_TEST_SUITE_P(
    Rows, Win32WindowTyping,
    testing::Values(Typing{"OneLetterChangesNothing", u"v", {}},
                    Typing{"SecondLetterLists", u"vi", vi},
                    Typing{"ThirdLetterNarrows", u"vis", vis},
                    Typing{"BackToOneLetterKeeps", u"vis\b\b", vi},
                    Typing{"ClearedKeeps", u"vis\b\b\b", vi},
                    Typing{"NoMatch", u"zz", {}},
                    Typing{"AnyLetterCase", u"m6", {"VIS TÊTE HEXAGONALE M6", "écrou borgne M6"}},
                    Typing{"Accented", u"écr", {"ÉCROU HEXAGONAL M8", "écrou borgne M6"}},
                    Typing{"Apostrophe", u"cle d'arret", {"CLE D'ARRET 12", "CLE D'ARRET 14"}},
                    Typing{"UnclosedBracket", u"[a", {}},
                    Typing{"SharpSIsOneLetter", u"aße", {"JOINT STRAßE"}},
                    Typing{"LigatureIsOneLetter", u"ﬁl", {"ﬁlet M10"}},
                    Typing{"DigraphIsOneLetter", u"ǆe", {"ǄEP 1"}}),
    [](const testing::TestParamInfo<Typing> &info) { return info.param.name; });

// The engine compares without regard to case: the rows listed are the same
// whether the box's text was upper-cased or not, and only the query the
// window sends shows it.
struct Sent {
    const char *name;
    std::u16string typed;
    std::vector<std::string> queries;
};

class Win32WindowQueries : public Win32Window, public testing::WithParamInterface<Sent> {};

TEST_P(Win32WindowQueries, SendsTheBoxsTextUpperCased)
{
    const RecordingDatabase &database = recordQueries();
    type(GetParam().typed);
    EXPECT_EQ(database.queries, GetParam().queries);
}

std::string like(const std::string &pattern)
{
    return "SELECT * FROM ARTICLE Where ARTICLE like '*" + pattern + "*'";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Win32WindowQueries,
    testing::Values(Sent{"OneLetterSendsNothing", u"v", {}},
                    Sent{"EachLetterFromTheSecond", u"vis", {like("VI"), like("VIS")}},
                    Sent{"AccentedLetters", u"éc", {like("ÉC")}},
                    Sent{"ApostropheKeptInsideThePattern", u"l'", {like("L''")}},
                    Sent{"PatternCharactersAsTyped", u"m[6]", {like("M["), like("M[6"), like("M[6]")}}),
    [](const testing::TestParamInfo<Sent> &info) { return info.param.name; });

// An edit control takes 32,767 characters unless told otherwise: a longer
// paste would be cut there, and search for stars alone, listing every row.
TEST_F(Win32Window, LongPasteSearchesTheWholeText)
{
    const std::wstring pasted = std::wstring(39'997, L'*') + L"m10";
    SendMessageW(searchBox(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(pasted.c_str()));
    ASSERT_FALSE(deliverQueued(form()));
    EXPECT_EQ(GetWindowTextLengthW(searchBox()), 40'000);
    EXPECT_EQ(listedRows(grid()), std::vector<std::string>{"ﬁlet M10"});
}

TEST_F(Win32Window, NumbersShowInTheUsersFormat)
{
    ASSERT_EQ(priceDrive().written(), "");
    open(priceDrive().folder());
    wchar_t separator[8] = {};
    ASSERT_GT(GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8), 0);
    const std::string decimal = jet_engine::toUtf8(reinterpret_cast<const char16_t *>(separator));
    EXPECT_EQ(type(u"vis"), (std::vector<std::string>{"0" + decimal + "333333333333333", "1234" + decimal + "5"}));
}

// Run apart under a French user's locale (tools/run-windows-tests.sh): the
// grid once showed "1974-09-21" and "444.555" whatever the user's regional
// settings.
struct Shown {
    const char *name;
    jet_engine::FieldValue::Kind kind;
    const char *stored;
    const wchar_t *shown;
};

TEST(Win32CellText, ValuesInTheUsersFormatsInFrench)
{
    using Kind = jet_engine::FieldValue::Kind;
    wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
    GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH);
    ASSERT_EQ(std::wstring(locale), L"fr-FR") << "run under LC_ALL=fr_FR.UTF-8";
    const Shown cases[] = {
        {"date", Kind::DateTime, "1974-09-21", L"21/09/1974"},
        {"date and time", Kind::DateTime, "1974-09-21 12:30:00", L"21/09/1974 12:30:00"},
        {"time alone", Kind::DateTime, "1899-12-30 12:30:00", L"12:30:00"},
        {"double", Kind::Double, "444.555", L"444,555"},
        {"double to 15 digits", Kind::Double, "0.30000000000000004", L"0,3"},
        {"double no grouping", Kind::Double, "1234567.5", L"1234567,5"},
        {"double large", Kind::Double, "1e+15", L"1E+15"},
        {"double negative zero", Kind::Double, "-0", L"0"},
        {"single to 7 digits", Kind::Single, "3.1415927", L"3,141593"},
        {"currency", Kind::Currency, "-12.5", L"-12,5"},
        {"numeric beyond double", Kind::Numeric, "12345678901234567.89", L"12345678901234567,89"},
        {"boolean", Kind::Boolean, "True", L"True"},
        {"text with a point", Kind::Text, "VIS 4.5", L"VIS 4.5"},
    };
    for (const Shown &c : cases)
        EXPECT_EQ(search_window::cellText(c.kind, c.stored), c.shown) << c.name;
}

// What the Qt window does on purpose, the system's box does of itself: a
// paste keeps its first line, so a spreadsheet cell copied as "vis" and a
// line break searches "VIS".
TEST_F(Win32Window, APasteKeepsItsFirstLine)
{
    setClipboardText(L"vis\r\nécrou");
    SendMessageW(searchBox(), WM_PASTE, 0, 0);
    ASSERT_FALSE(deliverQueued(form()));
    EXPECT_EQ(windowText(searchBox()), L"vis");
    EXPECT_EQ(listedRows(grid()).size(), 3u);
}

TEST_F(Win32Window, WithoutADatabaseTheWindowOpensAndListsNothing)
{
    test_support::TempDir emptyDrive;
    open(emptyDrive.path().string());
    EXPECT_EQ(type(u"vis"), std::vector<std::string>{});
    EXPECT_TRUE(endedBy('F', true));
}
