// Files that are missing, not Jet files, cut short or damaged: the engine
// fails cleanly or reads them, never crashes or hangs, and never writes.

#include "jet_engine/engine.h"
#include "damaged_sample.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

namespace jet_engine {
namespace {

using testing_support::damagedCopy;
using testing_support::kDamagedCopies;
using testing_support::TempDir;

// Reads every field of every row: the first column of each as text, or a
// failure status.
struct ReadResult {
    Status status = Status::Ok;
    std::vector<std::string> values;
};

ReadResult readAll(Database &database, std::u16string_view query)
{
    ReadResult result;
    auto opened = database.openRecordset(query);
    if (!opened.ok()) {
        result.status = opened.status();
        return result;
    }
    Recordset &rows = *opened.value();
    for (;;) {
        const auto atEnd = rows.eof();
        if (!atEnd.ok()) {
            result.status = atEnd.status();
            return result;
        }
        if (atEnd.value())
            return result;
        for (int column = 0;; ++column) {
            const auto value = rows.field(column);
            if (!value.ok())
                break;
            if (column == 0)
                result.values.emplace_back(value.value().isNull() ? "<null>" : value.value().text);
        }
        if (const Status moved = rows.moveNext(); moved != Status::Ok) {
            result.status = moved;
            return result;
        }
    }
}

class BadFilesTest : public testing_support::SampleFileTest {
protected:
    void SetUp() override { writeSample(mdb_writer::Format::Jet4); }
};

class DamagedCopyTest : public BadFilesTest, public testing::WithParamInterface<mdb_writer::Format> {
protected:
    void SetUp() override { writeSample(GetParam()); }
};

struct UnopenableCase {
    const char *name;
    std::function<std::string(const TempDir &, const std::string &goodBytes)> make;
    Status status;
};

void PrintTo(const UnopenableCase &c, std::ostream *os) { *os << c.name; }

class UnopenableFileTest : public BadFilesTest, public testing::WithParamInterface<UnopenableCase> {};

TEST_P(UnopenableFileTest, FailsToOpen)
{
    const std::string path = GetParam().make(m_dir, m_bytes);
    EXPECT_EQ(m_engine.openDatabase(path, false, false).status(), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnopenableFileTest,
    testing::Values(
        UnopenableCase{"missing", [](const TempDir &dir, const std::string &) { return dir.file("absent.mdb"); },
                       Status::FileNotFound},
        UnopenableCase{"directory",
                       [](const TempDir &dir, const std::string &) {
                           std::filesystem::create_directory(dir.file("folder.mdb"));
                           return dir.file("folder.mdb");
                       },
                       Status::FileNotFound},
        UnopenableCase{"empty",
                       [](const TempDir &dir, const std::string &) {
                           testing_support::writeBytes(dir.file("empty.mdb"), "");
                           return dir.file("empty.mdb");
                       },
                       Status::NotADatabase},
        UnopenableCase{"text_renamed",
                       [](const TempDir &dir, const std::string &) {
                           testing_support::writeBytes(dir.file("notes.mdb"),
                                                       std::string(20000, 'x') + "\nnot a database\n");
                           return dir.file("notes.mdb");
                       },
                       Status::NotADatabase},
        UnopenableCase{"header_page_only",
                       [](const TempDir &dir, const std::string &good) {
                           testing_support::writeBytes(dir.file("header.mdb"), good.substr(0, 4096));
                           return dir.file("header.mdb");
                       },
                       Status::NotADatabase},
        UnopenableCase{"catalog_page_zeroed",
                       [](const TempDir &dir, const std::string &good) {
                           std::string bytes = good;
                           std::fill(bytes.begin() + 2 * 4096, bytes.begin() + 3 * 4096, '\0');
                           testing_support::writeBytes(dir.file("catalog.mdb"), bytes);
                           return dir.file("catalog.mdb");
                       },
                       Status::NotADatabase}),
    [](const testing::TestParamInfo<UnopenableCase> &info) { return std::string(info.param.name); });

// A copy cut short either fails or gives every row unchanged: a row or a memo
// whose page is gone must never just disappear or come back shorter.
TEST_P(DamagedCopyTest, TruncatedCopyFailsOrReadsEverything)
{
    auto database = m_engine.openDatabase(m_good, false, false);
    ASSERT_TRUE(database.ok());
    const ReadResult full = readAll(*database.value(), u"ARTICLE");
    ASSERT_EQ(full.status, Status::Ok);
    ASSERT_EQ(full.values.size(), 400u);

    const std::string path = m_dir.file("cut.mdb");
    for (std::size_t size = 0; size < m_bytes.size(); size += size < 4 * m_pageSize ? 1000 : m_pageSize) {
        testing_support::writeBytes(path, m_bytes.substr(0, size));
        auto cut = m_engine.openDatabase(path, false, false);
        if (!cut.ok()) {
            EXPECT_EQ(cut.status(), Status::NotADatabase) << size;
            continue;
        }
        const ReadResult read = readAll(*cut.value(), u"ARTICLE");
        if (read.status != Status::Ok)
            EXPECT_EQ(read.status, Status::ReadFailed) << size;
        else
            EXPECT_EQ(read.values, full.values) << size;
        const ReadResult searched = readAll(*cut.value(), u"SELECT * FROM ARTICLE WHERE NOTES LIKE '*a*'");
        EXPECT_TRUE(searched.status == Status::Ok || searched.status == Status::ReadFailed) << size;
    }
}

// Random bytes changed anywhere in the file: any outcome but a crash or a
// hang is acceptable, as long as failures are reported as such.
TEST_P(DamagedCopyTest, RandomlyDamagedCopyFailsCleanlyOrReads)
{
    const std::set<Status> openFailures = {Status::NotADatabase};
    const std::set<Status> readFailures = {Status::Ok, Status::ReadFailed, Status::NoSuchTable, Status::NoSuchColumn};
    const std::string path = m_dir.file("damaged.mdb");
    unsigned opened = 0;
    for (unsigned seed = 1; seed <= kDamagedCopies; ++seed) {
        testing_support::writeBytes(path, damagedCopy(m_bytes, seed));

        auto database = m_engine.openDatabase(path, true, false);
        if (!database.ok()) {
            EXPECT_TRUE(openFailures.count(database.status())) << "seed " << seed;
            continue;
        }
        ++opened;
        for (std::u16string_view query :
             {std::u16string_view(u"ARTICLE"), std::u16string_view(u"SELECT * FROM ARTICLE Where ARTICLE like '*1*'"),
              std::u16string_view(u"SELECT * FROM ARTICLE WHERE NOTES LIKE '*b*'")}) {
            const ReadResult read = readAll(*database.value(), query);
            EXPECT_TRUE(readFailures.count(read.status)) << "seed " << seed << " " << describe(read.status);
        }
    }
    // Most damage lands in rows, past the header checks: the reading path
    // must have been exercised, not only the rejection of the file.
    EXPECT_GT(opened, 100u);
}

INSTANTIATE_TEST_SUITE_P(Formats, DamagedCopyTest,
                         testing::Values(mdb_writer::Format::Jet4, mdb_writer::Format::Jet3),
                         [](const testing::TestParamInfo<mdb_writer::Format> &info) {
                             return info.param == mdb_writer::Format::Jet3 ? "Jet3" : "Jet4";
                         });

TEST_F(BadFilesTest, ReadingLeavesFileAndFolderUntouched)
{
    const auto writtenBefore = std::filesystem::last_write_time(m_good);
    const auto permissionsBefore = std::filesystem::status(m_good).permissions();
    std::set<std::filesystem::path> listingBefore(std::filesystem::directory_iterator(m_dir.path()), {});

    for (const bool exclusive : {false, true})
        for (const bool readOnly : {false, true}) {
            auto database = m_engine.openDatabase(m_good, exclusive, readOnly);
            ASSERT_TRUE(database.ok());
            EXPECT_EQ(readAll(*database.value(), u"ARTICLE").status, Status::Ok);
            EXPECT_EQ(readAll(*database.value(), u"SELECT * FROM ARTICLE Where ARTICLE like '*1*'").status,
                      Status::Ok);
        }

    EXPECT_EQ(testing_support::readBytes(m_good), m_bytes);
    EXPECT_EQ(std::filesystem::last_write_time(m_good), writtenBefore);
    EXPECT_EQ(std::filesystem::status(m_good).permissions(), permissionsBefore);
    EXPECT_EQ(std::set<std::filesystem::path>(std::filesystem::directory_iterator(m_dir.path()), {}), listingBefore);
}

} // namespace
} // namespace jet_engine
