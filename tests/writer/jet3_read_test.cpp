// Jet 3 (Access 97) files read back with the mdbtools tools and libmdb.

#include "read_back.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

using namespace mdb_writer;
using namespace writer_test;

namespace {

TEST(Jet3ReadBack, EveryColumnKindWithNullsAndExtremes)
{
    TempDir dir;
    const std::string path = dir.file("jet3.mdb");
    Table t;
    t.name = "ARTICLE";
    t.columns = {{"ARTICLE", ColumnType::Text, 60},       {"NOTE", ColumnType::Memo},
                 {"REFERENCE", ColumnType::LongInteger}, {"PRIX", ColumnType::Double},
                 {"EN_STOCK", ColumnType::Boolean},      {"Désignation", ColumnType::Text, 10}};
    t.rows = {
        {std::string("VIS TETE HEXAGONALE M8X40 INOX"), std::string("court"), 1, 1.5, true, std::string("€ œ Ÿ")},
        {Null{}, Null{}, Null{}, Null{}, Null{}, Null{}},
        {std::string(""), std::string(""), 0, 0.0, false, std::string("")},
        {std::string("Équerre clé"), std::string(300, 'm'), std::numeric_limits<std::int32_t>::min(), -1e300,
         true, Null{}},
        {std::string("CLE D'ARRET"), Null{}, std::numeric_limits<std::int32_t>::max(), 0.1, false,
         std::string("ÀÉÎÕÜ")},
    };
    ASSERT_EQ(writeDatabase(path, {t}, Format::Jet3), "");

    EXPECT_EQ(toolLine({"mdb-ver", path}), "JET3");
    expectToolsShow(path, t);
    EXPECT_EQ(toolLine({"mdb-count", path, "ARTICLE"}), "5");
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"ARTICLE", "Text (60)"},  {"NOTE", "Memo/Hyperlink (255)"}, {"REFERENCE", "Long Integer"},
        {"PRIX", "Double"},        {"EN_STOCK", "Boolean NOT NULL"}, {"Désignation", "Text (10)"}};
    EXPECT_EQ(schema(path).at("ARTICLE"), expected);

    const auto read = readWithLibmdb(path, "ARTICLE");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->stored[0][5].bytes, (std::vector<std::uint8_t>{0x80, ' ', 0x9C, ' ', 0x9F}))
        << "Jet 3 keeps text in Windows-1252";
    EXPECT_FALSE(read->stored[2][0].null);
}

// Jet 3 rows keep one-byte offsets plus a jump table for each 256 bytes, and
// a filler entry when the row's tail crosses a boundary its data does not.
// Rows of every length up to a full page cross each case.
TEST(Jet3ReadBack, RowsOfEveryLengthKeepTheirOffsets)
{
    TempDir dir;
    const std::string path = dir.file("lengths.mdb");
    Table t;
    t.name = "LONGUEURS";
    t.columns = {{"A", ColumnType::Text, 255}, {"N", ColumnType::LongInteger}, {"B", ColumnType::Text, 255},
                 {"C", ColumnType::Memo},      {"D", ColumnType::Text, 255},    {"E", ColumnType::Text, 255}};
    t.rowCount = 4 * 256;
    t.generate = [](std::size_t i, Row &row) {
        const std::size_t a = i % 256;
        const std::size_t b = (i * 7) % 256;
        row[0] = std::string(a, static_cast<char>('a' + i % 26));
        row[1] = static_cast<std::int32_t>(i);
        if (i % 5 != 0)
            row[2] = std::string(b, 'b');
        if (i % 3 == 0)
            row[3] = std::string(i % 64, 'c');
        if (i >= 512)
            row[4] = std::string(255, 'd');
        if (i >= 768)
            row[5] = std::string(255 - a, 'e');
    };
    ASSERT_EQ(writeDatabase(path, {t}, Format::Jet3), "");
    expectToolsShow(path, t);
}

class Jet3MemoRoundTrip : public testing::TestWithParam<std::size_t> {};

TEST_P(Jet3MemoRoundTrip, ToolsReadTheWholeValue)
{
    TempDir dir;
    const std::string path = dir.file("memo.mdb");
    const std::string symbols[] = {"é", "è", "à", "a", "b", "c"};
    std::string text;
    for (std::size_t i = 0; i < GetParam(); ++i)
        text += i % 100 == 0 ? std::string(1, static_cast<char>('0' + (i / 100) % 10)) : symbols[i % 6];
    Table t;
    t.name = "NOTES";
    t.columns = {{"NOTE", ColumnType::Memo}, {"N", ColumnType::LongInteger}};
    t.rows = {{text, 1}, {Null{}, 2}, {text, 3}};
    ASSERT_EQ(writeDatabase(path, {t}, Format::Jet3), "");
    expectToolsShow(path, t);
}

// One long value page holds 2036 bytes; chained pieces hold 2032.
INSTANTIATE_TEST_SUITE_P(Lengths, Jet3MemoRoundTrip,
                         testing::Values(64, 65, 2036, 2037, 4064, 4065, 100000));

TEST(Jet3ReadBack, LargeTableUsesAMapOfBitmapPages)
{
    TempDir dir;
    const std::string path = dir.file("large.mdb");
    Table t;
    t.name = "GRANDE";
    t.columns = {{"N", ColumnType::LongInteger}, {"PAD", ColumnType::Text, 255}};
    t.rowCount = 20000;
    t.generate = [](std::size_t i, Row &row) {
        row[0] = static_cast<std::int32_t>(i);
        row[1] = std::string(200, static_cast<char>('a' + i % 26));
    };
    Table small = t;
    small.name = "PETITE";
    small.rowCount = 100;
    ASSERT_EQ(writeDatabase(path, {t, small}, Format::Jet3), "");

    const auto large = readWithLibmdb(path, "GRANDE");
    ASSERT_TRUE(large);
    EXPECT_EQ(large->usageMapType, 1);
    ASSERT_EQ(large->bound.size(), 20000u);
    EXPECT_EQ(large->bound.back()[0], "19999");
    const auto read = readWithLibmdb(path, "PETITE");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->usageMapType, 0);
    EXPECT_EQ(read->bound.size(), 100u);
}

struct Jet3Refusal {
    std::string label;
    Table table;
};

class Jet3Refuses : public testing::TestWithParam<Jet3Refusal> {};

TEST_P(Jet3Refuses, CharactersWindows1252Lacks)
{
    TempDir dir;
    const std::string path = dir.file("refused.mdb");
    const std::string error = writeDatabase(path, {GetParam().table}, Format::Jet3);
    EXPECT_NE(error.find("Windows-1252"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(path));
}

Table textTable(std::string tableName, std::string columnName, Cell value)
{
    Table t;
    t.name = std::move(tableName);
    t.columns = {{std::move(columnName), ColumnType::Memo}};
    t.rows = {{std::move(value)}};
    return t;
}

INSTANTIATE_TEST_SUITE_P(Cases, Jet3Refuses,
                         testing::Values(Jet3Refusal{"Greek", textTable("T", "C", std::string("Ω"))},
                                         Jet3Refusal{"Chinese", textTable("T", "C", std::string("中"))},
                                         Jet3Refusal{"Emoji", textTable("T", "C", std::string("😀"))},
                                         Jet3Refusal{"TableName", textTable("Ωmega", "C", Null{})},
                                         Jet3Refusal{"ColumnName", textTable("T", "中", Null{})}),
                         [](const testing::TestParamInfo<Jet3Refusal> &info) { return info.param.label; });

} // namespace
