// What the writer refuses, and that a refusal leaves the folder as it was: no
// new file, no temporary one, and a file already at the path unchanged.

#include "read_back.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

using namespace mdb_writer;
using namespace writer_test;

namespace {

Table oneColumn(ColumnType type, Cell value, int textLength = 255)
{
    Table t;
    t.name = "T";
    t.columns = {{"C", type, textLength}};
    t.rows = {{std::move(value)}};
    return t;
}

Table numeric(int precision, int scale, Cell value)
{
    Table t = oneColumn(ColumnType::Numeric, std::move(value));
    t.columns[0].precision = precision;
    t.columns[0].scale = scale;
    return t;
}

struct Refusal {
    std::string label;
    std::vector<Table> tables;
    std::string reason;
    Format format = Format::Jet4;
};

class WriterRefuses : public testing::TestWithParam<Refusal> {};

std::vector<std::string> listing(const std::string &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string contents(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_P(WriterRefuses, WithAReasonAndNoFile)
{
    TempDir dir;
    const std::string path = dir.file("refused.mdb");
    const std::string error = writeDatabase(path, GetParam().tables, GetParam().format);
    EXPECT_NE(error.find(GetParam().reason), std::string::npos) << "error: " << error;
    EXPECT_EQ(listing(dir.file("")), std::vector<std::string>{});
}

// The writer used to open its output with O_TRUNC and delete the path when a
// write failed, so a database regenerated over a good one was lost whenever
// the new content was refused halfway through.
TEST_P(WriterRefuses, LeavesAnExistingFileAsItWas)
{
    TempDir dir;
    const std::string path = dir.file("kept.mdb");
    Table earlier;
    earlier.name = "ANCIENNE";
    earlier.columns = {{"N", ColumnType::LongInteger}};
    earlier.rows = {{1}, {2}};
    ASSERT_EQ(writeDatabase(path, {earlier}, GetParam().format), "");
    const std::string before = contents(path);

    EXPECT_NE(writeDatabase(path, GetParam().tables, GetParam().format), "");
    EXPECT_EQ(contents(path), before);
    EXPECT_EQ(listing(dir.file("")), std::vector<std::string>{"kept.mdb"});
}

std::vector<Refusal> refusals()
{
    std::vector<Refusal> r;
    r.push_back({"TextLongerThanItsColumn", {oneColumn(ColumnType::Text, std::string("ABCDEF"), 5)}, "UTF-16 units"});
    r.push_back({"CharacterBeyondTheBmpCountsTwice",
                 {oneColumn(ColumnType::Text, std::string("😀a"), 2)},
                 "UTF-16 units"});
    r.push_back({"InvalidUtf8", {oneColumn(ColumnType::Text, std::string("\xC3\x28"))}, "UTF-8"});
    r.push_back({"EncodedSurrogate", {oneColumn(ColumnType::Memo, std::string("\xED\xA0\x80"))}, "UTF-8"});
    r.push_back({"TextInANumberColumn", {oneColumn(ColumnType::LongInteger, std::string("12"))}, "expected an integer"});
    r.push_back({"NumberInATextColumn", {oneColumn(ColumnType::Text, 12)}, "expected text"});
    r.push_back({"IntegerInADoubleColumn", {oneColumn(ColumnType::Double, 12)}, "expected a double"});
    r.push_back({"TextInABooleanColumn", {oneColumn(ColumnType::Boolean, std::string("1"))}, "expected a boolean"});
    r.push_back({"TextLengthZero", {oneColumn(ColumnType::Text, Null{}, 0)}, "1 to 255"});
    r.push_back({"TextLength256", {oneColumn(ColumnType::Text, Null{}, 256)}, "1 to 255"});

    const std::string digits = "a precision of 1 to 28 and a scale of 0 to its precision";
    r.push_back({"NumericPrecisionZero", {numeric(0, 0, Null{})}, digits});
    r.push_back({"NumericPrecision29", {numeric(29, 0, Null{})}, digits});
    r.push_back({"NumericScaleAbovePrecision", {numeric(4, 5, Null{})}, digits});
    r.push_back({"NumericNegativeScale", {numeric(4, -1, Null{})}, digits});
    r.push_back({"DigitsPastTheScale", {numeric(10, 2, Decimal{"1.234"})}, "more than 2 digits after the point"});
    r.push_back({"DigitsPastThePrecision", {numeric(10, 2, Decimal{"-123456789"})}, "more than 8 digits before"});
    r.push_back({"TwentyNineNines", {numeric(28, 0, Decimal{std::string(29, '9')})}, "more than 28 digits before"});
    for (const char *text : {"", "-", "1.", ".5", "1e5", "1,5", "+1", "--1", "1.2.3", " 1"}) {
        std::string label = "NotADecimal_";
        for (const char c : std::string(text))
            label += std::isalnum(static_cast<unsigned char>(c)) ? std::string(1, c) : "x" + std::to_string(c);
        r.push_back({label, {numeric(10, 2, Decimal{text})}, "is not a decimal number"});
    }
    r.push_back({"DoubleInANumericColumn", {numeric(10, 2, 1.5)}, "expected a decimal"});
    r.push_back({"DecimalInADoubleColumn", {oneColumn(ColumnType::Double, Decimal{"1.5"})}, "expected a double"});

    Table missingCell = oneColumn(ColumnType::Text, std::string("a"));
    missingCell.rows.push_back({});
    r.push_back({"RowWithTooFewCells", {missingCell}, "0 cells for 1 columns"});

    Table wide;
    wide.name = "T";
    Row row;
    for (int c = 0; c < 9; ++c) {
        wide.columns.push_back({"C" + std::to_string(c), ColumnType::Text, 255});
        std::string chinese;
        for (int i = 0; i < 255; ++i)
            chinese += "中";
        row.push_back(chinese);
    }
    wide.rows = {row};
    r.push_back({"RowLargerThanAPage", {wide}, "a row holds at most"});

    Table article = oneColumn(ColumnType::Text, Null{});
    article.name = "Article";
    Table other = article;
    other.name = "ARTICLE";
    r.push_back({"TablesNamedAlikeButForCase", {article, other}, "two tables named"});
    Table catalog = article;
    catalog.name = "MSysObjects";
    r.push_back({"TableNamedLikeTheCatalog", {catalog}, "two tables named"});

    Table twins = article;
    twins.columns = {{"Prix", ColumnType::Double}, {"PRIX", ColumnType::Double}};
    twins.rows.clear();
    r.push_back({"ColumnsNamedAlike", {twins}, "two columns named"});

    Table bare = article;
    bare.columns.clear();
    bare.rows.clear();
    r.push_back({"TableWithoutColumns", {bare}, "has no columns"});

    Table unnamed = article;
    unnamed.name.clear();
    r.push_back({"TableWithoutName", {unnamed}, "without a name"});

    Table throwing = oneColumn(ColumnType::Text, Null{});
    throwing.rows.clear();
    throwing.rowCount = 10;
    throwing.generate = [](std::size_t i, Row &row) {
        if (i == 5)
            throw std::runtime_error("generator gave up");
        row[0] = std::string("x");
    };
    r.push_back({"GeneratorThrows", {throwing}, "generator gave up"});

    Table deletedBeyond = oneColumn(ColumnType::Text, std::string("a"));
    deletedBeyond.deletedRows = {1};
    r.push_back({"DeletedRowBeyondTheRows", {deletedBeyond}, "names a row it does not have"});
    Table movedBeyond = oneColumn(ColumnType::Text, std::string("a"));
    movedBeyond.movedRows = {0, 1};
    r.push_back({"MovedRowBeyondTheRows", {movedBeyond}, "names a row it does not have"});
    Table strayBeyond = oneColumn(ColumnType::Text, std::string("a"));
    strayBeyond.strayPointerRow = 1;
    r.push_back({"StrayPointerBeyondTheRows", {strayBeyond}, "names a row it does not have"});
    Table allDeleted = oneColumn(ColumnType::Text, std::string("a"));
    allDeleted.columns[0].deleted = true;
    r.push_back({"EveryColumnDeleted", {allDeleted}, "every column deleted"});

    // Jet 3 text is Windows-1252.
    const std::string lacking = "Windows-1252 lacks";
    r.push_back({"Jet3Greek", {oneColumn(ColumnType::Text, std::string("Ω"))}, lacking, Format::Jet3});
    r.push_back({"Jet3Chinese", {oneColumn(ColumnType::Memo, std::string("中"))}, lacking, Format::Jet3});
    r.push_back({"Jet3Emoji", {oneColumn(ColumnType::Memo, std::string("😀"))}, lacking, Format::Jet3});
    Table greekName = oneColumn(ColumnType::Text, Null{});
    greekName.name = "Ωmega";
    r.push_back({"Jet3TableName", {greekName}, lacking, Format::Jet3});
    Table chineseColumn = oneColumn(ColumnType::Text, Null{});
    chineseColumn.columns[0].name = "中";
    r.push_back({"Jet3ColumnName", {chineseColumn}, lacking, Format::Jet3});
    return r;
}

INSTANTIATE_TEST_SUITE_P(Cases, WriterRefuses, testing::ValuesIn(refusals()),
                         [](const testing::TestParamInfo<Refusal> &info) { return info.param.label; });

TEST(WriterErrors, SuccessReplacesAnExistingFile)
{
    TempDir dir;
    const std::string path = dir.file("replaced.mdb");
    ASSERT_EQ(writeDatabase(path, {oneColumn(ColumnType::Text, std::string("ancien"))}), "");
    ASSERT_EQ(writeDatabase(path, {oneColumn(ColumnType::Text, std::string("nouveau"))}), "");
    const auto read = readWithLibmdb(path, "T");
    ASSERT_TRUE(read);
    ASSERT_EQ(read->bound.size(), 1u);
    EXPECT_EQ(read->bound[0][0], "nouveau");
    EXPECT_EQ(listing(dir.file("")), std::vector<std::string>{"replaced.mdb"});
}

TEST(WriterErrors, UncreatableFileIsReported)
{
    TempDir dir;
    const std::string path = dir.file("missing-folder/out.mdb");
    const std::string error = writeDatabase(path, {oneColumn(ColumnType::Text, std::string("a"))});
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
}

} // namespace
