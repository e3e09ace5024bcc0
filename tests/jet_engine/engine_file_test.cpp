// The engine on real .mdb files written by the team's writer.

#include "jet_engine/engine.h"
#include "jet_engine/text/unicode_text.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>

namespace jet_engine {
namespace {

using mdb_writer::Cell;
using mdb_writer::ColumnType;
using mdb_writer::Null;
using testing_support::TempDir;

std::string repeated(std::string_view unit, std::size_t times)
{
    std::string out;
    for (std::size_t i = 0; i < times; ++i)
        out += unit;
    return out;
}

const std::string shortMemo = "courte note";
// Longer than 4 KiB, and than libmdb's 16 KiB bind buffers: stored across
// several LVAL pages.
const std::string mediumMemo = repeated("0123456789", 500);

// What differs between the two file formats: Jet 4 stores Unicode, Jet 3 the
// Windows-1252 code page, whose characters beyond Latin-1 (Œ, «, –, €) show
// whether the code page is really applied.
struct FileFormat {
    const char *name;
    mdb_writer::Format format;
    std::string exotic;      // a designation
    std::string exoticUpper; // part of it, upper-cased
    std::string longMemo;    // mostly outside ASCII, so not compressed
};

void PrintTo(const FileFormat &f, std::ostream *os) { *os << f.name; }

const FileFormat fileFormats[] = {
    {"jet4", mdb_writer::Format::Jet4, "Σφιγκτήρας 😀", "ΣΦΙΓΚΤΉΡΑΣ", repeated("Durée ≈ 3 h; ", 3000)},
    {"jet3", mdb_writer::Format::Jet3, "Œuvre « spéciale » – 5 €", "ŒUVRE « SPÉCIALE »",
     repeated("Durée – 3 h € ; ", 3000)},
};

// Expected texts and queries name the format's own values as {exotic},
// {EXOTIC} and {long}.
std::string fill(std::string text, const FileFormat &format)
{
    for (const auto &[key, value] : {std::pair<std::string, const std::string &>{"{exotic}", format.exotic},
                                     {"{EXOTIC}", format.exoticUpper},
                                     {"{long}", format.longMemo}})
        for (std::size_t at; (at = text.find(key)) != std::string::npos;)
            text.replace(at, key.size(), value);
    return text;
}

std::u16string utf16(const std::string &utf8)
{
    std::u16string units;
    EXPECT_TRUE(utf8ToUtf16(utf8, units)) << utf8;
    return units;
}

std::vector<mdb_writer::Row> articleRows(const FileFormat &format)
{
    return {
        {std::string("Vis à bois 4x40"), 1001, 0.25, true, std::string(shortMemo)},
        {Null{}, 1002, Null{}, false, Null{}},
        {std::string(""), -7, 1000000.0, true, std::string("")},
        {std::string("ÉCROU M6"), 2147483647, -3.5, false, std::string(mediumMemo)},
        {std::string("Écrou m8"), -2147483647 - 1, 1e-7, true, format.longMemo},
        {format.exotic, 0, 12.125, false, Null{}},
        {std::string("l'été"), 42, 0.0, true, std::string("l'été")},
    };
}

class EngineFileTest : public testing::Test {
protected:
    // The tables of every test file; `addedRows` more rows at the end of
    // ARTICLE stand for rows the owning application added later.
    static std::vector<mdb_writer::Table> tables(const FileFormat &format, int addedRows = 0)
    {
        auto article = testing_support::table("ARTICLE",
                                              {{"ARTICLE", ColumnType::Text, 80},
                                               {"CODE", ColumnType::LongInteger},
                                               {"PRIX", ColumnType::Double},
                                               {"STOCK", ColumnType::Boolean},
                                               {"NOTES", ColumnType::Memo}},
                                              articleRows(format));
        for (int i = 0; i < addedRows; ++i)
            article.rows.push_back({std::string("Ajout ") + std::to_string(i), i, Null{}, false, Null{}});
        return {article, testing_support::table("VIDE", {{"ARTICLE", ColumnType::Text, 50}}, {}),
                testing_support::table("Order Details", {{"Product Name", ColumnType::Text, 50}},
                                       {{std::string("Chai")}, {std::string("Chang")}})};
    }

    void writeAndOpen(const FileFormat &format)
    {
        m_path = m_dir.file("TABLEARTICLE.MDB");
        testing_support::writeOrFail(m_path, tables(format), format.format);
        auto database = m_engine.openDatabase(m_path, false, false);
        ASSERT_TRUE(database.ok()) << describe(database.status());
        m_database = database.value();
    }

    std::shared_ptr<Recordset> open(std::u16string_view text)
    {
        auto opened = m_database->openRecordset(text);
        EXPECT_TRUE(opened.ok()) << describe(opened.status());
        return opened.ok() ? opened.value() : nullptr;
    }

    // Column `column` of every row, as (kind, text).
    static std::vector<std::pair<FieldValue::Kind, std::string>> columnOf(Recordset &rows, int column)
    {
        std::vector<std::pair<FieldValue::Kind, std::string>> values;
        for (;;) {
            const auto atEnd = rows.eof();
            EXPECT_TRUE(atEnd.ok());
            if (!atEnd.ok() || atEnd.value())
                break;
            const auto value = rows.field(column);
            EXPECT_TRUE(value.ok());
            if (!value.ok())
                break;
            values.emplace_back(value.value().kind, std::string(value.value().text));
            EXPECT_EQ(rows.moveNext(), Status::Ok);
        }
        return values;
    }

    // The same, nulls left out, taken in one step from where the set is; the
    // set must be past its end after it.
    static std::vector<std::pair<FieldValue::Kind, std::string>> runOf(Recordset &rows, int column)
    {
        std::vector<std::pair<FieldValue::Kind, std::string>> values;
        const auto run = rows.restOfField(column);
        EXPECT_TRUE(run.ok()) << describe(run.status());
        if (!run.ok())
            return values;
        for (std::size_t i = 0; i < run.value().size(); ++i)
            values.emplace_back(run.value().kind(), std::string(run.value()[i]));
        EXPECT_EQ(rows.eof().value(), true);
        return values;
    }

    TempDir m_dir;
    std::string m_path;
    Engine m_engine;
    std::shared_ptr<Database> m_database;
};

template <typename Case>
std::string caseName(const testing::TestParamInfo<std::tuple<FileFormat, Case>> &info)
{
    return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
}

class EngineFormatTest : public EngineFileTest, public testing::WithParamInterface<FileFormat> {
protected:
    void SetUp() override { writeAndOpen(GetParam()); }
};

struct ColumnCase {
    const char *name;
    int column;
    std::vector<std::pair<FieldValue::Kind, std::string>> expected;
};

void PrintTo(const ColumnCase &c, std::ostream *os) { *os << c.name; }

using K = FieldValue::Kind;

class EngineColumnTest : public EngineFileTest,
                         public testing::WithParamInterface<std::tuple<FileFormat, ColumnCase>> {};

TEST_P(EngineColumnTest, GivesEveryRowsValueInStoredOrder)
{
    const auto &[format, c] = GetParam();
    writeAndOpen(format);
    const auto rows = open(u"ARTICLE");
    ASSERT_TRUE(rows);
    auto expected = c.expected;
    for (auto &value : expected)
        value.second = fill(value.second, format);
    EXPECT_EQ(columnOf(*rows, c.column), expected);

    // From the second row on, in one step: the window's listing.
    const auto again = open(u"ARTICLE");
    ASSERT_TRUE(again);
    ASSERT_EQ(again->moveFirst(), Status::Ok);
    ASSERT_EQ(again->moveNext(), Status::Ok);
    expected.erase(expected.begin());
    std::erase_if(expected, [](const auto &value) { return value.first == K::Null; });
    EXPECT_EQ(runOf(*again, c.column), expected);
}

const ColumnCase columnCases[] = {
    {"text_with_null_and_empty",
     0,
     {{K::Text, "Vis à bois 4x40"},
      {K::Null, ""},
      {K::Text, ""},
      {K::Text, "ÉCROU M6"},
      {K::Text, "Écrou m8"},
      {K::Text, "{exotic}"},
      {K::Text, "l'été"}}},
    {"long_integer_plain_digits",
     1,
     {{K::Integer, "1001"},
      {K::Integer, "1002"},
      {K::Integer, "-7"},
      {K::Integer, "2147483647"},
      {K::Integer, "-2147483648"},
      {K::Integer, "0"},
      {K::Integer, "42"}}},
    {"double_shortest_form",
     2,
     {{K::Double, "0.25"},
      {K::Null, ""},
      {K::Double, "1000000"},
      {K::Double, "-3.5"},
      {K::Double, "1e-07"},
      {K::Double, "12.125"},
      {K::Double, "0"}}},
    {"boolean_never_null",
     3,
     {{K::Boolean, "True"},
      {K::Boolean, "False"},
      {K::Boolean, "True"},
      {K::Boolean, "False"},
      {K::Boolean, "True"},
      {K::Boolean, "False"},
      {K::Boolean, "True"}}},
    {"memo_never_cut",
     4,
     {{K::Text, shortMemo},
      {K::Null, ""},
      {K::Text, ""},
      {K::Text, mediumMemo},
      {K::Text, "{long}"},
      {K::Null, ""},
      {K::Text, "l'été"}}},
};

INSTANTIATE_TEST_SUITE_P(Types, EngineColumnTest,
                         testing::Combine(testing::ValuesIn(fileFormats), testing::ValuesIn(columnCases)),
                         caseName<ColumnCase>);

struct QueryCase {
    const char *name;
    const char *query;
    std::vector<std::string> expected; // first column of the rows, in order
};

void PrintTo(const QueryCase &c, std::ostream *os) { *os << c.name; }

class EngineQueryTest : public EngineFileTest,
                        public testing::WithParamInterface<std::tuple<FileFormat, QueryCase>> {};

TEST_P(EngineQueryTest, SelectsRowsInStoredOrder)
{
    const auto &[format, c] = GetParam();
    writeAndOpen(format);
    const auto rows = open(utf16(fill(c.query, format)));
    ASSERT_TRUE(rows);
    std::vector<std::string> got;
    for (const auto &[kind, text] : columnOf(*rows, 0)) {
        EXPECT_NE(kind, K::Null);
        got.push_back(text);
    }
    auto expected = c.expected;
    for (std::string &text : expected)
        text = fill(text, format);
    EXPECT_EQ(got, expected);

    const auto again = open(utf16(fill(c.query, format)));
    ASSERT_TRUE(again);
    got.clear();
    for (const auto &[kind, text] : runOf(*again, 0))
        got.push_back(text);
    EXPECT_EQ(got, expected);
}

const QueryCase queryCases[] = {
    {"upper_cased_search_finds_mixed_case",
     "SELECT * FROM ARTICLE Where ARTICLE like '*ÉCROU*'",
     {"ÉCROU M6", "Écrou m8"}},
    {"accent_sensitive", "SELECT * FROM ARTICLE Where ARTICLE like '*ECROU*'", {}},
    {"doubled_apostrophe", "SELECT * FROM ARTICLE Where ARTICLE like '*L''ÉTÉ*'", {"l'été"}},
    {"star_keeps_empty_text_not_null",
     "SELECT * FROM ARTICLE Where ARTICLE like '*'",
     {"Vis à bois 4x40", "", "ÉCROU M6", "Écrou m8", "{exotic}", "l'été"}},
    {"beyond_latin1_upper_cased", "SELECT * FROM ARTICLE Where ARTICLE like '*{EXOTIC}*'", {"{exotic}"}},
    {"wildcards", "select * from article where article like '?CROU M#'", {"ÉCROU M6", "Écrou m8"}},
    {"condition_on_memo", "SELECT * FROM ARTICLE WHERE NOTES LIKE '*3 H*'", {"Écrou m8"}},
    {"condition_on_integer", "SELECT * FROM ARTICLE WHERE CODE LIKE '-*'", {"", "Écrou m8"}},
    {"names_case_insensitive", "SELECT * FROM article WHERE Article LIKE 'vis*'", {"Vis à bois 4x40"}},
    {"bracketed_names", "SELECT * FROM [order details] WHERE [PRODUCT NAME] LIKE 'Cha[!i]*'", {"Chang"}},
    {"bracketed_table_alone", "[Order Details]", {"Chai", "Chang"}},
    {"empty_table", "SELECT * FROM VIDE WHERE ARTICLE LIKE '*'", {}},
};

INSTANTIATE_TEST_SUITE_P(Search, EngineQueryTest,
                         testing::Combine(testing::ValuesIn(fileFormats), testing::ValuesIn(queryCases)),
                         caseName<QueryCase>);

struct FailureCase {
    const char *name;
    std::u16string query;
    Status status;
};

void PrintTo(const FailureCase &c, std::ostream *os) { *os << c.name; }

class EngineFailureTest : public EngineFileTest, public testing::WithParamInterface<FailureCase> {
protected:
    void SetUp() override { writeAndOpen(fileFormats[0]); }
};

TEST_P(EngineFailureTest, FailsTheOpen)
{
    EXPECT_EQ(m_database->openRecordset(GetParam().query).status(), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Open, EngineFailureTest,
    testing::Values(FailureCase{"missing_table", u"CLIENT", Status::NoSuchTable},
                    FailureCase{"missing_table_in_query", u"SELECT * FROM CLIENT WHERE ARTICLE LIKE '*'",
                                Status::NoSuchTable},
                    FailureCase{"missing_column", u"SELECT * FROM ARTICLE WHERE DESIGNATION LIKE '*'",
                                Status::NoSuchColumn},
                    FailureCase{"invalid_pattern", u"SELECT * FROM ARTICLE WHERE ARTICLE LIKE '*[Z-A]*'",
                                Status::InvalidPattern},
                    FailureCase{"syntax", u"SELECT ARTICLE FROM ARTICLE", Status::SyntaxError},
                    FailureCase{"accented_table_name", u"ARTICLÉ", Status::NoSuchTable}),
    [](const testing::TestParamInfo<FailureCase> &info) { return std::string(info.param.name); });

TEST_P(EngineFormatTest, CursorReportsWhereThereIsNoCurrentRow)
{
    const auto empty = open(u"VIDE");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->eof().value(), true);
    EXPECT_EQ(empty->moveFirst(), Status::NoCurrentRow);
    EXPECT_EQ(empty->field(0).status(), Status::NoCurrentRow);
    EXPECT_EQ(empty->moveNext(), Status::NoCurrentRow);

    const auto rows = open(u"SELECT * FROM ARTICLE WHERE ARTICLE LIKE 'Vis*'");
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->field(5).status(), Status::NoSuchColumn);
    EXPECT_EQ(rows->field(-1).status(), Status::NoSuchColumn);
    EXPECT_EQ(rows->restOfField(5).status(), Status::NoSuchColumn);
    EXPECT_EQ(rows->eof().value(), false);
    EXPECT_EQ(rows->moveNext(), Status::Ok);
    EXPECT_EQ(rows->eof().value(), true);
    EXPECT_EQ(rows->field(0).status(), Status::NoCurrentRow);
    EXPECT_EQ(rows->moveNext(), Status::NoCurrentRow);
    EXPECT_EQ(runOf(*rows, 0).size(), 0u);
    ASSERT_EQ(rows->moveFirst(), Status::Ok);
    EXPECT_EQ(rows->field(0).value().text, "Vis à bois 4x40");
}

// The database keeps the table it read, and with it the text, for as long as
// it lives: only once it is gone too does the text depend on storage() alone.
TEST_P(EngineFormatTest, StorageKeepsTextAliveAfterTheSetAndTheDatabaseAreReleased)
{
    auto rows = open(u"SELECT * FROM ARTICLE WHERE NOTES LIKE '*3 H*'");
    ASSERT_TRUE(rows);
    const std::string_view memo = rows->field(4).value().text;
    const auto storage = rows->storage();
    rows.reset();
    m_database.reset();
    EXPECT_EQ(memo, GetParam().longMemo);
}

// Opening a table only looks it up in the catalog; its rows are read when the
// set is first used. A file emptied in between shows which one happened.
TEST_P(EngineFormatTest, OpeningTableReadsNoRowsUntilFirstUse)
{
    const auto table = open(u"ARTICLE");
    const auto queried = open(u"SELECT * FROM ARTICLE WHERE ARTICLE LIKE '*'");
    ASSERT_TRUE(table && queried);
    std::filesystem::resize_file(m_path, 0);

    EXPECT_EQ(queried->eof().value(), false);
    EXPECT_EQ(table->eof().status(), Status::ReadFailed);
    EXPECT_EQ(table->moveFirst(), Status::ReadFailed);
    EXPECT_EQ(m_database->openRecordset(u"SELECT * FROM ARTICLE WHERE ARTICLE LIKE '*'").status(),
              Status::ReadFailed);
}

// The program opens its database once per session, while the application
// that owns the file goes on adding rows, in place, to the same file.
TEST_P(EngineFormatTest, FindsRowsAddedToTheFileAfterOpening)
{
    const std::string grownPath = m_dir.file("grown.mdb");
    testing_support::writeOrFail(grownPath, tables(GetParam(), 3000), GetParam().format);
    const std::string before = testing_support::readBytes(m_path);
    const std::string after = testing_support::readBytes(grownPath);
    ASSERT_GT(after.size(), before.size());
    testing_support::writeBytes(m_path, after);

    const auto rows = open(u"SELECT * FROM ARTICLE Where ARTICLE like '*AJOUT 2999*'");
    ASSERT_TRUE(rows);
    EXPECT_EQ(columnOf(*rows, 0), (std::vector<std::pair<FieldValue::Kind, std::string>>{{K::Text, "Ajout 2999"}}));
}

INSTANTIATE_TEST_SUITE_P(Formats, EngineFormatTest, testing::ValuesIn(fileFormats),
                         [](const testing::TestParamInfo<FileFormat> &info) { return std::string(info.param.name); });

std::string generatedDesignation(std::size_t index)
{
    static const char *const words[] = {"Vis", "ÉCROU", "rondelle", "Boulon", "cheville", "Tige filetée"};
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%s %zu-%03zu", words[index % 6], index % 97, index % 1000);
    return buffer;
}

class EngineLargeTableTest : public testing::TestWithParam<FileFormat> {};

TEST_P(EngineLargeTableTest, FiftyThousandRowsInOrderAndSearched)
{
    constexpr std::size_t rowCount = 50000;
    TempDir dir;
    const std::string path = dir.file("big.mdb");
    auto table = testing_support::table("ARTICLE", {{"ARTICLE", ColumnType::Text, 60}, {"CODE", ColumnType::LongInteger}},
                                        {});
    table.rowCount = rowCount;
    table.generate = [](std::size_t index, mdb_writer::Row &row) {
        row[0] = index % 501 == 0 ? Cell(Null{}) : Cell(generatedDesignation(index));
        row[1] = static_cast<std::int32_t>(index);
    };
    testing_support::writeOrFail(path, {table}, GetParam().format);

    Engine engine;
    auto database = engine.openDatabase(path, false, false);
    ASSERT_TRUE(database.ok());

    auto all = database.value()->openRecordset(u"ARTICLE");
    ASSERT_TRUE(all.ok());
    Recordset &rows = *all.value();
    std::size_t seen = 0;
    while (!rows.eof().value()) {
        ASSERT_EQ(rows.field(1).value().text, std::to_string(seen));
        ASSERT_EQ(rows.field(0).value().isNull(), seen % 501 == 0);
        ASSERT_EQ(rows.moveNext(), Status::Ok);
        ++seen;
    }
    EXPECT_EQ(seen, rowCount);

    // Reference: the ASCII-only part of the designations, upper-cased by hand.
    auto expectedFor = [&](const std::string &needle) {
        std::vector<std::string> expected;
        for (std::size_t i = 0; i < rowCount; ++i) {
            if (i % 501 == 0)
                continue;
            std::string upper = generatedDesignation(i);
            for (char &c : upper)
                if (c >= 'a' && c <= 'z')
                    c = static_cast<char>(c - 'a' + 'A');
            if (upper.find(needle) != std::string::npos)
                expected.push_back(generatedDesignation(i));
        }
        return expected;
    };
    for (const char *needle : {"VIS 4", "LLE 9-", "-999", "HEVILLE 1-1"}) {
        const std::string query = std::string("SELECT * FROM ARTICLE Where ARTICLE like '*") + needle + "*'";
        auto found = database.value()->openRecordset(std::u16string(query.begin(), query.end()));
        ASSERT_TRUE(found.ok());
        std::vector<std::string> got;
        while (!found.value()->eof().value()) {
            got.emplace_back(found.value()->field(0).value().text);
            ASSERT_EQ(found.value()->moveNext(), Status::Ok);
        }
        const auto expected = expectedFor(needle);
        EXPECT_FALSE(expected.empty()) << needle;
        EXPECT_EQ(got, expected) << needle;
    }

    // Rows chosen by another column, some with no designation: one step
    // gives what the walk gives, the nulls left out.
    const auto walked = database.value()->openRecordset(u"SELECT * FROM ARTICLE WHERE CODE LIKE '*0'");
    const auto taken = database.value()->openRecordset(u"SELECT * FROM ARTICLE WHERE CODE LIKE '*0'");
    ASSERT_TRUE(walked.ok() && taken.ok());
    std::vector<std::string> expected;
    std::size_t nulls = 0;
    for (Recordset &rows = *walked.value(); !rows.eof().value(); rows.moveNext()) {
        const FieldValue value = rows.field(0).value();
        nulls += value.isNull();
        if (!value.isNull())
            expected.emplace_back(value.text);
    }
    EXPECT_GT(nulls, 0u);
    const auto run = taken.value()->restOfField(0);
    ASSERT_TRUE(run.ok());
    std::vector<std::string> got;
    for (std::size_t i = 0; i < run.value().size(); ++i)
        got.emplace_back(run.value()[i]);
    EXPECT_EQ(got, expected);
}

INSTANTIATE_TEST_SUITE_P(Formats, EngineLargeTableTest, testing::ValuesIn(fileFormats),
                         [](const testing::TestParamInfo<FileFormat> &info) { return std::string(info.param.name); });

} // namespace
} // namespace jet_engine
