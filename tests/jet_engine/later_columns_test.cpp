// Columns a search does not need are read only when first asked for, and
// then only from the state of the file the rest of the rows came from.

#include "jet_engine/engine.h"
#include "jet_engine/format/jet_file.h"
#include "jet_engine/tables/table_read.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace jet_engine {
namespace {

using mdb_writer::ColumnType;
using testing_support::TempDir;

std::vector<mdb_writer::Row> articles(double price)
{
    return {{std::string("VIS A BOIS"), std::int32_t{101}, price},
            {mdb_writer::Null{}, std::int32_t{102}, 2.5},
            {std::string("ECROU M6"), std::int32_t{103}, mdb_writer::Null{}}};
}

void writeArticles(const std::string &path, double price)
{
    testing_support::writeOrFail(
        path, {testing_support::table("ARTICLE",
                                      {{"ARTICLE", ColumnType::Text, 40},
                                       {"REFERENCE", ColumnType::LongInteger},
                                       {"PRIX", ColumnType::Double}},
                                      articles(price))});
}

std::vector<std::string> texts(const ColumnValues &values)
{
    std::vector<std::string> out;
    for (std::uint32_t row = 0; row < values.rowCount(); ++row)
        out.push_back(values.nulls[row] ? "<null>" : std::string(values.at(row).text));
    return out;
}

TEST(LaterColumnsTest, ReadOnDemandEqualTheirValues)
{
    TempDir dir;
    const std::string path = dir.file("a.mdb");
    writeArticles(path, 1.25);
    auto file = JetFile::open(operatingSystem(), path);
    ASSERT_TRUE(file.ok());
    const auto ref = file.value()->findTable("article");
    ASSERT_TRUE(ref);
    auto snapshot = readTable(*file.value(), *ref, {"PRIX"});
    ASSERT_TRUE(snapshot.ok());
    const Snapshot &rows = *snapshot.value();
    ASSERT_EQ(rows.rowCount(), 3u);
    // Asked for: the first column and PRIX; REFERENCE comes later, once the
    // file behind the snapshot is closed.
    file.value().reset();
    ASSERT_NE(rows.column(1), nullptr);
    EXPECT_EQ(texts(*rows.column(0)), (std::vector<std::string>{"VIS A BOIS", "<null>", "ECROU M6"}));
    EXPECT_EQ(texts(*rows.column(1)), (std::vector<std::string>{"101", "102", "103"}));
    EXPECT_EQ(texts(*rows.column(2)), (std::vector<std::string>{"1.25", "2.5", "<null>"}));
}

// A search on a small table of articles, opened on its first row.
class LaterColumnsSearchTest : public testing::Test {
protected:
    Recordset &searchFor(std::u16string_view query)
    {
        writeArticles(m_path, 1.25);
        auto database = m_engine.openDatabase(m_path, false, true);
        EXPECT_TRUE(database.ok());
        if (database.ok()) {
            auto set = database.value()->openRecordset(query);
            EXPECT_TRUE(set.ok());
            if (set.ok())
                m_set = std::move(set.value());
        }
        if (!m_set)
            throw std::runtime_error("the search did not open");
        EXPECT_EQ(m_set->moveFirst(), Status::Ok);
        return *m_set;
    }

    TempDir m_dir;
    const std::string m_path = m_dir.file("a.mdb");
    Engine m_engine;
    std::shared_ptr<Recordset> m_set;
};

// A result set read before the file was rewritten must not show a column
// from the new file next to rows from the old one.
TEST_F(LaterColumnsSearchTest, FailAfterTheFileChanged)
{
    Recordset &rows = searchFor(u"SELECT * FROM ARTICLE WHERE ARTICLE LIKE '*VIS*'");
    ASSERT_TRUE(rows.field(0).ok());

    // In place, so that the descriptor the snapshot reads through sees it.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::string copy = m_dir.file("b.mdb");
    writeArticles(copy, 9.75);
    testing_support::writeBytes(m_path, testing_support::readBytes(copy));

    const auto price = rows.field(2);
    EXPECT_EQ(price.status(), Status::ReadFailed);
    EXPECT_EQ(rows.field(0).value().text, "VIS A BOIS");
}

TEST_F(LaterColumnsSearchTest, ReadWhileTheFileStaysTheSame)
{
    Recordset &rows = searchFor(u"SELECT * FROM ARTICLE WHERE ARTICLE LIKE '*ECROU*'");
    const auto reference = rows.field(1);
    ASSERT_TRUE(reference.ok());
    EXPECT_EQ(reference.value().text, "103");
    EXPECT_TRUE(rows.field(2).value().isNull());
}

// Large tables are read in two halves at once; the halves must join in
// Jet's order, and a column read later must split and sum its pages alike.
TEST(LaterColumnsTest, LargeTableKeepsItsOrderAcrossBothHalves)
{
    TempDir dir;
    const std::string path = dir.file("large.mdb");
    mdb_writer::Table large;
    large.name = "ARTICLE";
    large.columns = {{"ARTICLE", ColumnType::Text, 40}, {"REFERENCE", ColumnType::LongInteger}};
    large.rowCount = 100000;
    const auto designation = [](std::size_t i) {
        return (i % 3 == 0 ? "Écrou Σφ " : "ARTICLE ") + std::to_string(i);
    };
    large.generate = [&](std::size_t i, mdb_writer::Row &row) {
        row[0] = designation(i);
        row[1] = static_cast<std::int32_t>(i);
    };
    testing_support::writeOrFail(path, {large});
    auto file = JetFile::open(operatingSystem(), path);
    ASSERT_TRUE(file.ok());
    auto snapshot = readTable(*file.value(), *file.value()->findTable("ARTICLE"), {"ARTICLE"});
    ASSERT_TRUE(snapshot.ok());
    const Snapshot &rows = *snapshot.value();
    ASSERT_EQ(rows.rowCount(), 100000u);
    const ColumnValues *names = rows.column(0);
    const ColumnValues *references = rows.column(1);
    ASSERT_NE(names, nullptr);
    ASSERT_NE(references, nullptr);
    for (std::uint32_t i = 0; i < 100000; i += 997) {
        EXPECT_EQ(names->at(i).text, designation(i));
        EXPECT_EQ(references->at(i).text, std::to_string(i));
    }
    EXPECT_EQ(names->at(99999).text, designation(99999));

    // Its other folds found as it was read, half by half: the same as found
    // from it whole, and a third of its rows.
    const Snapshot whole({"ARTICLE"}, {*names}, rows.rowCount());
    EXPECT_EQ(rows.searchText(0).others->rows.size(), 100000u / 3 + 1);
    EXPECT_EQ(rows.searchText(0).others->rows, whole.searchText(0).others->rows);
    EXPECT_EQ(rows.searchText(0).others->bytes, whole.searchText(0).others->bytes);
    EXPECT_EQ(rows.searchText(0).others->starts, whole.searchText(0).others->starts);
}

} // namespace
} // namespace jet_engine
