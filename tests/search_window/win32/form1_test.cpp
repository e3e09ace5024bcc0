#include "article_database/module1.h"
#include "mdb_writer.h"
#include "search_window/win32/cell_text.h"
#include "search_window/win32/form1.h"
#include "temp_dir.h"
#include "win32_window_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using search_window::Form1;
using namespace win32_window_testing;

namespace {

const std::vector<std::string> designations{
    "VIS TÊTE HEXAGONALE M6", "Vis à bois 4x40", "VILEBREQUIN",    "CLE D'ARRET 12",  "ÉCROU HEXAGONAL M8",
    "écrou borgne M6",        "RONDELLE PLATE",  "CLE D'ARRET 14", "TOURNEVIS PLAT",  "JOINT STRAßE",
    "JOINT STRASSE",          "ﬁlet M10",        "FILET M12",      "ǄEP 1",           "DŽEP 2",
};

mdb_writer::Table designationTable()
{
    mdb_writer::Table table;
    table.name = "ARTICLE";
    table.columns = {{"ARTICLE"}, {"CODE", mdb_writer::ColumnType::LongInteger}};
    std::int32_t code = 100;
    for (const std::string &designation : designations)
        table.rows.push_back({designation, code++});
    return table;
}

// A drive with an article database, written once for every test.
class ArticleDrive {
public:
    explicit ArticleDrive(const mdb_writer::Table &table)
    {
        const auto folder = m_drive.path() / "VANTORELISK";
        std::filesystem::create_directories(folder);
        m_written = mdb_writer::writeDatabase((folder / "TABLEARTICLE.MDB").string(), {table});
    }
    const std::string &written() const { return m_written; }
    std::string folder() const { return m_drive.path().string(); }

private:
    test_support::TempDir m_drive;
    std::string m_written;
};

ArticleDrive &articleDrive()
{
    static ArticleDrive drive(designationTable());
    return drive;
}

// The grid lists the first column, here a price.
ArticleDrive &priceDrive()
{
    mdb_writer::Table table;
    table.name = "ARTICLE";
    table.columns = {{"PRIX", mdb_writer::ColumnType::Double}, {"ARTICLE"}};
    table.rows = {{1.0 / 3, std::string("VIS A")}, {1234.5, std::string("VIS B")}};
    static ArticleDrive drive(table);
    return drive;
}

// More rows than the grid shows at once.
ArticleDrive &longListDrive()
{
    mdb_writer::Table table;
    table.name = "ARTICLE";
    table.columns = {{"ARTICLE"}};
    for (int i = 0; i < 300; ++i)
        table.rows.push_back({"ROW " + std::to_string(i) + (i % 2 ? " ODD" : " EVEN")});
    static ArticleDrive drive(table);
    return drive;
}

std::wstring clipboardText()
{
    std::wstring text;
    if (!OpenClipboard(nullptr))
        return L"(no clipboard)";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto *units = static_cast<const wchar_t *>(GlobalLock(data))) {
            text = units;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

void setClipboardText(const std::wstring &text)
{
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    std::memcpy(GlobalLock(memory), text.c_str(), bytes);
    GlobalUnlock(memory);
    SetClipboardData(CF_UNICODETEXT, memory);
    CloseClipboard();
}

class Win32Window : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(articleDrive().written(), "");
        open(articleDrive().folder());
    }

    void open(const std::string &drive)
    {
        m_form.reset();
        m_module.reset();
        m_system = std::make_unique<DriveInFolder>(drive);
        m_module = std::make_unique<article_database::Module1>(*m_system);
        m_form = Form1::create(*m_module);
        ASSERT_TRUE(m_form);
        m_form->show(SW_SHOWNORMAL);
        ASSERT_FALSE(deliverQueued(form()));
    }

    HWND form() const { return m_form->window(); }
    HWND control(int id) const { return GetDlgItem(form(), id); }
    HWND searchBox() const { return control(Form1::RechGeneralId); }
    HWND grid() const { return control(Form1::GId); }
    HWND button() const { return control(Form1::Command1Id); }

    std::vector<std::string> type(std::u16string_view text)
    {
        typeText(text);
        EXPECT_FALSE(deliverQueued(form()));
        return listedRows(grid());
    }

    // True when the key ended the program: the loop was told to stop and the
    // window is gone.
    bool endedBy(UINT virtualKey, bool alt = false)
    {
        HWND window = form();
        pressKey(virtualKey, alt);
        const bool quit = deliverQueued(window);
        return quit && !IsWindow(window);
    }

    std::unique_ptr<DriveInFolder> m_system;
    std::unique_ptr<article_database::Module1> m_module;
    std::unique_ptr<Form1> m_form;
};

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
            << "face " << article_database::toUtf8(reinterpret_cast<const char16_t *>(font.lfFaceName));
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

TEST_F(Win32Window, Colours)
{
    EXPECT_EQ(GetClassLongPtrW(form(), GCLP_HBRBACKGROUND), COLOR_3DHIGHLIGHT + 1);
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_TRUE(dc);
    SendMessageW(form(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(control(Form1::Label1Id)));
    EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_3DHIGHLIGHT));
    SendMessageW(form(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(control(Form1::Label2Id)));
    EXPECT_EQ(GetTextColor(dc), RGB(255, 255, 0));
    EXPECT_EQ(GetBkColor(dc), RGB(0, 0, 0));
    DeleteDC(dc);
}

// Windows documents the leftmost column of a list view as always
// left-aligned: the column shown comes second, after one of no width.
TEST_F(Win32Window, GridShowsOneCentredColumnWideEnoughForItsHeader)
{
    using search_window::ListGrid;
    HWND header = reinterpret_cast<HWND>(SendMessageW(grid(), LVM_GETHEADER, 0, 0));
    ASSERT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageW(grid(), LVM_GETCOLUMNWIDTH, ListGrid::hiddenColumn, 0), 0);
    wchar_t text[300] = {};
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
    column.pszText = text;
    column.cchTextMax = static_cast<int>(std::size(text));
    ASSERT_TRUE(SendMessageW(grid(), LVM_GETCOLUMNW, ListGrid::shownColumn, reinterpret_cast<LPARAM>(&column)));
    EXPECT_EQ(std::wstring(text), std::wstring(40, L' ') + L"Désignation d'article" + std::wstring(116, L' '));
    EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_CENTER);
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    ASSERT_TRUE(SendMessageW(header, HDM_GETITEMW, ListGrid::shownColumn, reinterpret_cast<LPARAM>(&item)));
    EXPECT_EQ(item.fmt & HDF_JUSTIFYMASK, HDF_CENTER);
    EXPECT_GT(column.cx, SendMessageW(grid(), LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text)));
    EXPECT_TRUE(GetWindowLongPtrW(header, GWL_STYLE) & HDS_NOSIZING);
    const auto extended = SendMessageW(grid(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    EXPECT_TRUE(extended & LVS_EX_GRIDLINES);
    EXPECT_TRUE(extended & LVS_EX_FULLROWSELECT);
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
                    Typing{"NoMatch", u"zz", {}},
                    Typing{"AnyLetterCase", u"m6", {"VIS TÊTE HEXAGONALE M6", "écrou borgne M6"}},
                    Typing{"Accented", u"écr", {"ÉCROU HEXAGONAL M8", "écrou borgne M6"}},
                    Typing{"Apostrophe", u"cle d'arret", {"CLE D'ARRET 12", "CLE D'ARRET 14"}},
                    Typing{"UnclosedBracket", u"[a", {}},
                    Typing{"SharpSIsOneLetter", u"aße", {"JOINT STRAßE"}},
                    Typing{"LigatureIsOneLetter", u"ﬁl", {"ﬁlet M10"}},
                    Typing{"DigraphIsOneLetter", u"ǆe", {"ǄEP 1"}}),
    [](const testing::TestParamInfo<Typing> &info) { return info.param.name; });

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

TEST_F(Win32Window, LettersTypedInTheGridGoToTheRowStartingWithThem)
{
    ASSERT_EQ(type(u"vis").size(), 3u);
    pressKey(VK_TAB);
    ASSERT_FALSE(deliverQueued(form()));
    ASSERT_EQ(GetFocus(), grid());
    typeText(u"t");
    ASSERT_FALSE(deliverQueued(form()));
    EXPECT_EQ(SendMessageW(grid(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), 2);
}

TEST_F(Win32Window, NumbersShowInTheUsersFormat)
{
    ASSERT_EQ(priceDrive().written(), "");
    open(priceDrive().folder());
    wchar_t separator[8] = {};
    ASSERT_GT(GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8), 0);
    const std::string decimal = article_database::toUtf8(reinterpret_cast<const char16_t *>(separator));
    EXPECT_EQ(type(u"vis"), (std::vector<std::string>{"0" + decimal + "333333333333333", "1234" + decimal + "5"}));
}

// Run apart under a French user's locale (tools/run-windows-tests.sh): the
// grid once showed "1974-09-21" and "444.555" whatever the user's regional
// settings.
struct Shown {
    const char *name;
    article_database::FieldValue::Kind kind;
    const char *stored;
    const wchar_t *shown;
};

TEST(Win32CellText, ValuesInTheUsersFormatsInFrench)
{
    using Kind = article_database::FieldValue::Kind;
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

TEST_F(Win32Window, EachRowsTooltipIsItsWholeText)
{
    ASSERT_EQ(type(u"vis").size(), 3u);
    wchar_t tip[INFOTIPSIZE] = L"cut short";
    NMLVGETINFOTIPW request{};
    request.hdr.hwndFrom = grid();
    request.hdr.idFrom = Form1::GId;
    request.hdr.code = LVN_GETINFOTIPW;
    request.pszText = tip;
    request.cchTextMax = INFOTIPSIZE;
    request.iItem = 1;
    SendMessageW(form(), WM_NOTIFY, Form1::GId, reinterpret_cast<LPARAM>(&request));
    EXPECT_EQ(std::wstring(tip), L"Vis à bois 4x40");
}

TEST_F(Win32Window, CtrlCCopiesTheSelectedRowsOneALine)
{
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    ASSERT_EQ(type(u"vis").size(), 3u);
    pressKey(VK_TAB);
    ASSERT_FALSE(deliverQueued(form()));
    LVITEMW selected{};
    selected.state = selected.stateMask = LVIS_SELECTED;
    for (const WPARAM row : {0, 2})
        SendMessageW(grid(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&selected));
    BYTE keys[256];
    ASSERT_TRUE(GetKeyboardState(keys));
    keys[VK_CONTROL] = keys[VK_LCONTROL] = 0x80;
    SetKeyboardState(keys);
    pressKey('C');
    const bool ended = deliverQueued(form());
    keys[VK_CONTROL] = keys[VK_LCONTROL] = 0;
    SetKeyboardState(keys);
    ASSERT_FALSE(ended);
    EXPECT_EQ(clipboardText(), L"VIS TÊTE HEXAGONALE M6\r\nTOURNEVIS PLAT");
}

// After a refill the list once stayed scrolled where the old one was,
// hiding the first rows of the new list above the view.
TEST_F(Win32Window, ANewListStartsAtItsTop)
{
    ASSERT_EQ(longListDrive().written(), "");
    open(longListDrive().folder());
    ASSERT_EQ(type(u"ro").size(), 300u);
    SendMessageW(grid(), LVM_ENSUREVISIBLE, 299, FALSE);
    ASSERT_GT(SendMessageW(grid(), LVM_GETTOPINDEX, 0, 0), 0);
    ASSERT_EQ(type(u"w").size(), 300u);
    EXPECT_EQ(SendMessageW(grid(), LVM_GETTOPINDEX, 0, 0), 0);
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

// Screen readers read a row by its item's own text, the first column's.
TEST_F(Win32Window, TheColumnOfNoWidthHoldsTheSameText)
{
    const std::vector<std::string> shown = type(u"vis");
    EXPECT_EQ(listedRows(grid(), search_window::ListGrid::hiddenColumn), shown);
}

TEST_F(Win32Window, WithoutADatabaseTheWindowOpensAndListsNothing)
{
    test_support::TempDir emptyDrive;
    open(emptyDrive.path().string());
    EXPECT_EQ(type(u"vis"), std::vector<std::string>{});
    EXPECT_TRUE(endedBy('F', true));
}
