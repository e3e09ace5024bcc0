// The program must never write the database, nor keep a colleague's program
// from writing it: not a byte, not its time stamp, not a lock file beside it,
// and no handle of ours that would refuse a writer. The real Win32 window
// starts on a database on its C: drive, runs many searches, and the file and
// its folder are compared before and after; Windows' sharing rules tell what
// access the window holds while it has the file open.

#include "article_database/module1.h"
#include "never_write.h"
#include "search_window/win32/form1.h"
#include "temp_dir.h"
#include "win32_window_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>

namespace {

namespace fs = std::filesystem;

using namespace win32_window_testing;

constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// 0 when `path` opens with that access and sharing, else why not.
DWORD openRefusal(const fs::path &path, DWORD access, DWORD share)
{
    const HANDLE handle =
        CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError();
    CloseHandle(handle);
    return 0;
}

// What the file's directory entry tells, last access left out: reading may
// move it.
struct Entry {
    DWORD attributes;
    FILETIME created;
    FILETIME written;
    std::uint64_t size;
};

Entry entryOf(const fs::path &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    EXPECT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) << path;
    return {data.dwFileAttributes, data.ftCreationTime, data.ftLastWriteTime,
            (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow};
}

std::uint64_t ticks(const FILETIME &time) { return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime; }

class NeverWriteTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_folder = m_drive.path() / "VANTORELISK";
        fs::create_directories(m_folder);
        m_database = m_folder / "TABLEARTICLE.MDB";
        ASSERT_EQ(mdb_writer::writeDatabase(m_database.string(), {never_write::articleTable()}), "");
    }

    test_support::TempDir m_drive;
    fs::path m_folder;
    fs::path m_database;
};

// A writer that shares reading and writing, as the program owning the
// database opens it, must get in while we hold the file; and an open that
// refuses any other writer must too, which it cannot while anyone holds the
// file with write access.
void expectOnlyReadAccess(const fs::path &database)
{
    EXPECT_EQ(openRefusal(database, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE), 0u)
        << "a colleague's program cannot write the database";
    EXPECT_EQ(openRefusal(database, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ), 0u)
        << "the window holds the database with write access";
}

TEST_F(NeverWriteTest, StartUpAndSearchesLeaveTheFileAndItsFolderAsTheyWere)
{
    const std::string bytes = never_write::readBytes(m_database);
    const Entry before = entryOf(m_database);
    const auto listed = never_write::entries(m_folder);

    {
        DriveInFolder system(m_drive.path().string());
        article_database::Module1 module(system);
        const auto form = search_window::Form1::create(module);
        ASSERT_TRUE(form);
        form->show(SW_SHOWNORMAL);
        ASSERT_FALSE(deliverQueued(form->window()));
        ASSERT_TRUE(module.BaseArticle);

        // Nobody may have the file unshared while we read it: the probes
        // below are about a handle the window does hold.
        ASSERT_EQ(openRefusal(m_database, GENERIC_READ, 0), DWORD{ERROR_SHARING_VIOLATION})
            << "the open database holds no handle on the file";
        expectOnlyReadAccess(m_database);

        HWND box = GetDlgItem(form->window(), search_window::Form1::RechGeneralId);
        ASSERT_NE(box, nullptr);
        SetFocus(box);
        for (const std::string &text : never_write::typedTexts()) {
            SetWindowTextW(box, L"");
            std::u16string units;
            ASSERT_TRUE(jet_engine::utf8ToUtf16(text, units));
            for (const char16_t unit : units) {
                typeText(std::u16string(1, unit));
                ASSERT_FALSE(deliverQueued(form->window()));
            }
        }
        // The searches ran, on what was read: the last one finds rows.
        EXPECT_FALSE(listedRows(GetDlgItem(form->window(), search_window::Form1::GId)).empty());
        expectOnlyReadAccess(m_database);
    }

    const Entry after = entryOf(m_database);
    EXPECT_EQ(never_write::readBytes(m_database), bytes);
    EXPECT_EQ(after.size, before.size);
    EXPECT_EQ(ticks(after.written), ticks(before.written));
    EXPECT_EQ(ticks(after.created), ticks(before.created));
    EXPECT_EQ(after.attributes, before.attributes);
    EXPECT_EQ(never_write::entries(m_folder), listed);
}

// The probes above must tell a holder with write access from one without, or
// they would pass whatever the window holds. Checked against the system the
// tests run on, Wine included.
struct Holder {
    const char *name;
    DWORD access;
    DWORD share;
    DWORD probeAccess;
    DWORD probeShare;
    DWORD refusal;
};

void PrintTo(const Holder &holder, std::ostream *os) { *os << holder.name; }

class SharingProbeTest : public NeverWriteTest, public testing::WithParamInterface<Holder> {};

TEST_P(SharingProbeTest, TellsWhatTheHolderHolds)
{
    const Holder &holder = GetParam();
    const HANDLE held = CreateFileW(m_database.c_str(), holder.access, holder.share, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(openRefusal(m_database, holder.probeAccess, holder.probeShare), holder.refusal);
    CloseHandle(held);
}

INSTANTIATE_TEST_SUITE_P(
    Holders, SharingProbeTest,
    testing::Values(
        Holder{"reader_admits_a_writer", GENERIC_READ, shareAll, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, 0},
        Holder{"reader_admits_an_open_refusing_writers", GENERIC_READ, shareAll, GENERIC_READ | GENERIC_WRITE,
               FILE_SHARE_READ, 0},
        Holder{"writer_fails_an_open_refusing_writers", GENERIC_READ | GENERIC_WRITE, shareAll,
               GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, ERROR_SHARING_VIOLATION},
        Holder{"reader_refusing_writers_locks_a_writer_out", GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE,
               FILE_SHARE_READ | FILE_SHARE_WRITE, ERROR_SHARING_VIOLATION},
        Holder{"reader_fails_an_unshared_open", GENERIC_READ, shareAll, GENERIC_READ, 0, ERROR_SHARING_VIOLATION}),
    [](const testing::TestParamInfo<Holder> &info) { return std::string(info.param.name); });

} // namespace
