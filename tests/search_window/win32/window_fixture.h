#pragma once
// The Win32 window open on an article database the writer made, as each
// test of the window starts it, with what the tests share: the databases,
// the clipboard, keys held down, and the queries the window sends.

#include "article_database/module1.h"
#include "mdb_writer.h"
#include "search_window/win32/form1.h"
#include "temp_dir.h"
#include "win32_window_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace win32_window_testing {

// Longer than the column is wide in the grid's font.
inline const std::string longDesignation = "GOUJON FILETE " + std::string(150, 'X') + " FIN";

inline const std::vector<std::string> designations{
    "VIS TÊTE HEXAGONALE M6", "Vis à bois 4x40", "VILEBREQUIN",    "CLE D'ARRET 12",  "ÉCROU HEXAGONAL M8",
    "écrou borgne M6",        "RONDELLE PLATE",  "CLE D'ARRET 14", "TOURNEVIS PLAT",  "JOINT STRAßE",
    "JOINT STRASSE",          "ﬁlet M10",        "FILET M12",      "ǄEP 1",           "DŽEP 2",
    longDesignation,
};

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

inline ArticleDrive &articleDrive()
{
    static ArticleDrive drive([] {
        mdb_writer::Table table;
        table.name = "ARTICLE";
        table.columns = {{"ARTICLE"}, {"CODE", mdb_writer::ColumnType::LongInteger}};
        std::int32_t code = 100;
        for (const std::string &designation : designations)
            table.rows.push_back({designation, code++});
        return table;
    }());
    return drive;
}

// The grid lists the first column, here a price.
inline ArticleDrive &priceDrive()
{
    static ArticleDrive drive([] {
        mdb_writer::Table table;
        table.name = "ARTICLE";
        table.columns = {{"PRIX", mdb_writer::ColumnType::Double}, {"ARTICLE"}};
        table.rows = {{1.0 / 3, std::string("VIS A")}, {1234.5, std::string("VIS B")}};
        return table;
    }());
    return drive;
}

// More rows than the grid shows at once.
inline ArticleDrive &longListDrive()
{
    static ArticleDrive drive([] {
        mdb_writer::Table table;
        table.name = "ARTICLE";
        table.columns = {{"ARTICLE"}};
        for (int i = 0; i < 300; ++i)
            table.rows.push_back({"ROW " + std::to_string(i) + (i % 2 ? " ODD" : " EVEN")});
        return table;
    }());
    return drive;
}

inline std::wstring clipboardText()
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

inline void setClipboardText(const std::wstring &text)
{
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    if (!text.empty()) {
        const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
        std::memcpy(GlobalLock(memory), text.c_str(), bytes);
        GlobalUnlock(memory);
        SetClipboardData(CF_UNICODETEXT, memory);
    }
    CloseClipboard();
}

// Modifier keys down for as long as it lives, as the thread's keyboard
// state reports them to the controls.
class KeysHeld {
public:
    explicit KeysHeld(std::initializer_list<UINT> keys) : m_keys(keys)
    {
        GetKeyboardState(m_before);
        BYTE held[256];
        std::memcpy(held, m_before, sizeof held);
        for (const UINT key : m_keys)
            held[key] = 0x80;
        SetKeyboardState(held);
    }
    ~KeysHeld() { SetKeyboardState(m_before); }
    KeysHeld(const KeysHeld &) = delete;
    KeysHeld &operator=(const KeysHeld &) = delete;

private:
    std::vector<UINT> m_keys;
    BYTE m_before[256] = {};
};

// The database as the window sees it, each query text it opens noted.
class RecordingDatabase final : public jet_engine::Database {
public:
    explicit RecordingDatabase(std::shared_ptr<jet_engine::Database> inner) : m_inner(std::move(inner)) {}

    jet_engine::Outcome<std::shared_ptr<jet_engine::Recordset>>
    openRecordset(std::u16string_view nameOrQuery) override
    {
        queries.push_back(jet_engine::toUtf8(nameOrQuery));
        return m_inner->openRecordset(nameOrQuery);
    }

    std::vector<std::string> queries;

private:
    std::shared_ptr<jet_engine::Database> m_inner;
};

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
        m_form = search_window::Form1::create(*m_module);
        ASSERT_TRUE(m_form);
        m_form->show(SW_SHOWNORMAL);
        ASSERT_FALSE(deliverQueued(form()));
    }

    HWND form() const { return m_form->window(); }
    HWND control(int id) const { return GetDlgItem(form(), id); }
    HWND searchBox() const { return control(search_window::Form1::RechGeneralId); }
    HWND grid() const { return control(search_window::Form1::GId); }
    HWND button() const { return control(search_window::Form1::Command1Id); }

    std::vector<std::string> type(std::u16string_view text)
    {
        typeText(text);
        EXPECT_FALSE(deliverQueued(form()));
        return listedRows(grid());
    }

    void press(UINT virtualKey)
    {
        pressKey(virtualKey);
        EXPECT_FALSE(deliverQueued(form()));
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

    // From now on, the query texts the window opens.
    RecordingDatabase &recordQueries()
    {
        auto recording = std::make_shared<RecordingDatabase>(m_module->BaseArticle);
        m_module->BaseArticle = recording;
        return *recording;
    }

    std::unique_ptr<DriveInFolder> m_system;
    std::unique_ptr<article_database::Module1> m_module;
    std::unique_ptr<search_window::Form1> m_form;
};

} // namespace win32_window_testing
