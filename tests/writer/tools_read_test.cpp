// Written databases read back with the mdbtools command-line tools.

#include "designations.h"
#include "read_back.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

using namespace mdb_writer;
using namespace writer_test;

namespace {

// Texts every format can hold: Jet 3 keeps Windows-1252.
Table everyKind()
{
    Table t;
    t.name = "ARTICLE";
    t.columns = {{"ARTICLE", ColumnType::Text, 60},       {"NOTE", ColumnType::Memo},
                 {"REFERENCE", ColumnType::LongInteger}, {"PRIX", ColumnType::Double},
                 {"EN_STOCK", ColumnType::Boolean},      {"CODE", ColumnType::Text, 10},
                 {.name = "MONTANT", .type = ColumnType::Numeric, .precision = 12, .scale = 3},
                 {.name = "GRAND", .type = ColumnType::Numeric, .precision = 28, .scale = 0}};
    const double big = 1e300;
    t.rows = {
        {std::string("VIS TETE HEXAGONALE M8X40 INOX"), std::string("court"), 1, 1.5, true, std::string("A1"),
         Decimal{"1234.5"}, Decimal{"1"}},
        {Null{}, Null{}, Null{}, Null{}, Null{}, Null{}, Null{}, Null{}},
        {std::string(""), std::string(""), 0, 0.0, false, std::string(""), Decimal{"0"}, Decimal{"0"}},
        {std::string("Équerre clé"), std::string("ß € œ Ÿ"), std::numeric_limits<std::int32_t>::min(), -big, true,
         Null{}, Decimal{"-999999999.999"}, Decimal{"-9999999999999999999999999999"}},
        {std::string("CLE D'ARRET"), Null{}, std::numeric_limits<std::int32_t>::max(), -2.5e-300, false,
         std::string("0123456789"), Decimal{"0.001"}, Decimal{"4294967296"}},
        {Null{}, std::string(300, 'm'), -1, 123456.789, true, std::string("x"), Decimal{"-0.5"},
         Decimal{"18446744073709551616"}},
        {std::string("ECROU \"M8\", INOX"), std::string("ligne 1\nligne 2\tfin"), -123456789, 0.1, Null{},
         std::string("é"), Null{}, Decimal{"-1"}},
    };
    return t;
}

class EveryKind : public testing::TestWithParam<Format> {};

TEST_P(EveryKind, ColumnsWithNullsAndExtremesReadBack)
{
    TempDir dir;
    const std::string path = dir.file("kinds.mdb");
    const Table t = everyKind();
    ASSERT_EQ(writeDatabase(path, {t}, GetParam()), "");

    EXPECT_EQ(toolLine({"mdb-ver", path}), GetParam() == Format::Jet3 ? "JET3" : "JET4");
    expectToolsShow(path, t);
    EXPECT_EQ(toolLine({"mdb-count", path, "ARTICLE"}), std::to_string(t.rows.size()));
    EXPECT_EQ(toolLine({"mdb-tables", "-1", path}), "ARTICLE");
    const auto tables = schema(path);
    ASSERT_EQ(tables.count("ARTICLE"), 1u);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"ARTICLE", "Text (60)"},          {"NOTE", "Memo/Hyperlink (255)"}, {"REFERENCE", "Long Integer"},
        {"PRIX", "Double"},                {"EN_STOCK", "Boolean NOT NULL"}, {"CODE", "Text (10)"},
        {"MONTANT", "Numeric (12, 3)"},    {"GRAND", "Numeric (28, 0)"}};
    EXPECT_EQ(tables.at("ARTICLE"), expected);
}

INSTANTIATE_TEST_SUITE_P(Formats, EveryKind, testing::Values(Format::Jet4, Format::Jet3),
                         [](const testing::TestParamInfo<Format> &info) {
                             return info.param == Format::Jet3 ? "Jet3" : "Jet4";
                         });

// The same text in a text and a memo column, followed by a fixed column, so
// a wrong length would also shift the values after it.
class TextRoundTrip : public testing::TestWithParam<std::string> {};

TEST_P(TextRoundTrip, ToolsPrintTheWrittenText)
{
    TempDir dir;
    const std::string path = dir.file("text.mdb");
    Table t;
    t.name = "T";
    t.columns = {{"TEXTE", ColumnType::Text, 255}, {"MEMO", ColumnType::Memo}, {"N", ColumnType::LongInteger}};
    t.rows = {{GetParam(), GetParam(), 7}, {Null{}, Null{}, 8}, {std::string("fin"), std::string("fin"), 9}};
    ASSERT_EQ(writeDatabase(path, {t}), "");
    expectToolsShow(path, t);
}

std::string repeat(const std::string &s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

INSTANTIATE_TEST_SUITE_P(Texts, TextRoundTrip,
                         testing::Values("VIS TETE HEXAGONALE M8X40 INOX", "Équerre d'assemblage", "ß", "Ω", "中",
                                         "😀", "clé 😀 中 Ω ß É", "AB", "ABC", "ÿÿÿ", "Ā and more", "CLE D'ARRET",
                                         "a\"b,c;d", "NULL", "tab\there", "", repeat("x", 255), repeat("É", 255),
                                         repeat("中", 255), repeat("😀", 127) + "x"));

// Memo values of lengths around each storage boundary: inline, one long
// value page, chained pages, compressed or not.
struct MemoCase {
    Format format;
    std::size_t characters;
    std::string alphabet;
};

class MemoRoundTrip : public testing::TestWithParam<MemoCase> {};

// Position markers make a misplaced or repeated piece visible.
std::string memoText(const MemoCase &m)
{
    std::vector<std::string> symbols;
    for (std::size_t i = 0; i < m.alphabet.size();) {
        std::size_t n = 1;
        while (i + n < m.alphabet.size() && (static_cast<unsigned char>(m.alphabet[i + n]) & 0xC0) == 0x80)
            ++n;
        symbols.push_back(m.alphabet.substr(i, n));
        i += n;
    }
    std::string out;
    for (std::size_t i = 0; i < m.characters; ++i)
        out += i % 100 == 0 ? std::string(1, static_cast<char>('0' + (i / 100) % 10)) : symbols[i % symbols.size()];
    return out;
}

TEST_P(MemoRoundTrip, ToolsAndLibmdbReadTheWholeValue)
{
    TempDir dir;
    const std::string path = dir.file("memo.mdb");
    const std::string text = memoText(GetParam());
    Table t;
    t.name = "NOTES";
    t.columns = {{"N", ColumnType::LongInteger}, {"NOTE", ColumnType::Memo}};
    t.rows = {{1, text}, {2, std::string("court")}, {3, text}, {4, Null{}}};
    ASSERT_EQ(writeDatabase(path, {t}, GetParam().format), "");
    expectToolsShow(path, t);

    const auto read = readWithLibmdb(path, "NOTES", 1 << 18);
    ASSERT_TRUE(read);
    ASSERT_EQ(read->bound.size(), 4u);
    EXPECT_EQ(read->bound[0][1], text);
    EXPECT_EQ(read->bound[2][1], text);
}

// Jet 4 pages hold 4080 bytes of long value, 4076 per chained piece, and
// compress up to 1024 characters; Jet 3 pages 2036 and 2032, one byte each.
INSTANTIATE_TEST_SUITE_P(
    Lengths, MemoRoundTrip,
    testing::Values(MemoCase{Format::Jet4, 1, "a"}, MemoCase{Format::Jet4, 62, "abc"},
                    MemoCase{Format::Jet4, 63, "abc"}, MemoCase{Format::Jet4, 1024, "abcé"},
                    MemoCase{Format::Jet4, 1025, "abcé"}, MemoCase{Format::Jet4, 2040, "abc"},
                    MemoCase{Format::Jet4, 2041, "abc"}, MemoCase{Format::Jet4, 4076, "abc"},
                    MemoCase{Format::Jet4, 4077, "abc"}, MemoCase{Format::Jet4, 100000, "abcdefghij"},
                    MemoCase{Format::Jet4, 31, "中Ω"}, MemoCase{Format::Jet4, 33, "中Ω"},
                    MemoCase{Format::Jet4, 5000, "中文Ωß"}, MemoCase{Format::Jet3, 64, "éab"},
                    MemoCase{Format::Jet3, 65, "éab"}, MemoCase{Format::Jet3, 2036, "éab€"},
                    MemoCase{Format::Jet3, 2037, "éab€"}, MemoCase{Format::Jet3, 4064, "abc"},
                    MemoCase{Format::Jet3, 4065, "abc"}, MemoCase{Format::Jet3, 100000, "abcdefghij"}));

TEST(ToolsReadBack, FiftyThousandRowsInOrder)
{
    TempDir dir;
    const std::string path = dir.file("big.mdb");
    Table t;
    t.name = "ARTICLE";
    t.columns = {{"ARTICLE", ColumnType::Text, designations::kMaxDesignationChars},
                 {"REFERENCE", ColumnType::LongInteger},
                 {"PRIX", ColumnType::Double},
                 {"ACTIF", ColumnType::Boolean},
                 {"NOTE", ColumnType::Memo}};
    t.rowCount = 50000;
    t.generate = [](std::size_t i, Row &row) {
        if (i % 97 != 5)
            row[0] = designations::designation(7, i);
        row[1] = static_cast<std::int32_t>(i * 40503u) - 1000000000;
        if (i % 11 != 3)
            row[2] = static_cast<double>(i) / 7.0;
        row[3] = i % 3 == 0;
        if (i % 1000 == 17)
            row[4] = std::string(3000 + i % 2000, static_cast<char>('a' + i % 26));
        else if (i % 5 == 0)
            row[4] = "note " + std::to_string(i);
    };
    ASSERT_EQ(writeDatabase(path, {t}), "");

    expectToolsShow(path, t);
    EXPECT_EQ(toolLine({"mdb-count", path, "ARTICLE"}), "50000");
    const auto read = readWithLibmdb(path, "ARTICLE");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->declaredRows, 50000u);
    EXPECT_EQ(read->bound.size(), 50000u);
    EXPECT_EQ(read->usageMapType, 1) << "a table this size spans more pages than an inline map holds";
}

TEST(ToolsReadBack, SeveralTablesAndAnEmptyOne)
{
    TempDir dir;
    const std::string path = dir.file("several.mdb");
    Table articles = everyKind();
    Table suppliers;
    suppliers.name = "FOURNISSEUR";
    suppliers.columns = {{"NOM", ColumnType::Text, 40}, {"CODE", ColumnType::LongInteger}};
    suppliers.rows = {{std::string("Quincaillerie Dupré"), 12}, {std::string("ÉTABLISSEMENTS MARTIN"), 13}};
    Table empty;
    empty.name = "VIDE";
    empty.columns = {{"A", ColumnType::Text, 5}, {"B", ColumnType::Memo}};
    ASSERT_EQ(writeDatabase(path, {articles, empty, suppliers}), "");

    EXPECT_EQ(toolLine({"mdb-tables", "-1", path}), "ARTICLE\nVIDE\nFOURNISSEUR");
    const std::string withSystem = toolLine({"mdb-tables", "-S", "-1", path});
    EXPECT_NE(withSystem.find("MSysObjects"), std::string::npos) << withSystem;
    EXPECT_EQ(toolLine({"mdb-count", path, "VIDE"}), "0");
    EXPECT_EQ(toolLine({"mdb-count", path, "FOURNISSEUR"}), "2");
    expectToolsShow(path, articles);
    expectToolsShow(path, suppliers);
    expectToolsShow(path, empty);

    const auto tables = schema(path);
    EXPECT_EQ(tables.size(), 3u);
    const std::vector<std::pair<std::string, std::string>> emptyColumns = {{"A", "Text (5)"},
                                                                           {"B", "Memo/Hyperlink (255)"}};
    EXPECT_EQ(tables.at("VIDE"), emptyColumns);
}

// Jet 3 rows keep one-byte offsets plus a jump table for each 256 bytes, and
// a filler entry when the row's tail crosses a boundary its data does not.
// Rows of every length up to most of a page meet each case.
TEST(ToolsReadBack, Jet3RowsOfEveryLengthKeepTheirOffsets)
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
        row[0] = std::string(a, static_cast<char>('a' + i % 26));
        row[1] = static_cast<std::int32_t>(i);
        if (i % 5 != 0)
            row[2] = std::string((i * 7) % 256, 'b');
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

TEST(ToolsReadBack, WideTableWhoseDefinitionSpansPages)
{
    TempDir dir;
    const std::string path = dir.file("wide.mdb");
    Table t;
    t.name = "LARGE";
    for (int c = 0; c < 200; ++c)
        t.columns.push_back({"COLONNE_AU_NOM_ASSEZ_LONG_" + std::to_string(c), ColumnType::Text, 4});
    Row values;
    for (int c = 0; c < 200; ++c)
        values.push_back(c % 7 == 0 ? Cell{Null{}} : Cell{std::to_string(c)});
    t.rows = {values, Row(200, Cell{std::string("é")})};
    ASSERT_EQ(writeDatabase(path, {t}), "");

    expectToolsShow(path, t);
    EXPECT_EQ(schema(path).at("LARGE").size(), 200u);
}

} // namespace
