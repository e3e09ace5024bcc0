// Written databases read back through libmdb, down to the stored bytes.

#include "read_back.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <optional>
#include <utility>

using namespace mdb_writer;
using namespace writer_test;

namespace {

using Bytes = std::vector<std::uint8_t>;

// One table, T, written in `format` and read back through libmdb.
std::optional<LibmdbTable> writtenAndRead(std::vector<Column> columns, std::vector<Row> rows, Format format)
{
    TempDir dir;
    const std::string path = dir.file("t.mdb");
    Table t;
    t.name = "T";
    t.columns = std::move(columns);
    t.rows = std::move(rows);
    if (const std::string error = writeDatabase(path, {t}, format); !error.empty()) {
        ADD_FAILURE() << "writing: " << error;
        return std::nullopt;
    }
    return readWithLibmdb(path, "T");
}

struct StoredTextCase {
    Format format;
    std::string text;
    Bytes stored;
};

class StoredText : public testing::TestWithParam<StoredTextCase> {};

// Jet 4 keeps text as UCS-2 LE, or as 0xFF 0xFE and one byte per character
// when every character fits in a byte and that is shorter. Jet 3 keeps
// Windows-1252.
TEST_P(StoredText, HasTheFormatsEncoding)
{
    const auto read = writtenAndRead({{"TEXTE", ColumnType::Text, 20}}, {{GetParam().text}}, GetParam().format);
    ASSERT_TRUE(read);
    ASSERT_EQ(read->stored.size(), 1u);
    EXPECT_FALSE(read->stored[0][0].null);
    EXPECT_EQ(read->stored[0][0].bytes, GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StoredText,
    testing::Values(StoredTextCase{Format::Jet4, "ABC", {0xFF, 0xFE, 'A', 'B', 'C'}},
                    StoredTextCase{Format::Jet4, "AB", {'A', 0, 'B', 0}},
                    StoredTextCase{Format::Jet4, "ééé", {0xFF, 0xFE, 0xE9, 0xE9, 0xE9}},
                    StoredTextCase{Format::Jet4, "ÿÿÿ", {0xFF, 0xFE, 0xFF, 0xFF, 0xFF}},
                    StoredTextCase{Format::Jet4, "Ω", {0xA9, 0x03}},
                    StoredTextCase{Format::Jet4, "aΩbc", {'a', 0, 0xA9, 0x03, 'b', 0, 'c', 0}},
                    StoredTextCase{Format::Jet4, "ĀBC", {0x00, 0x01, 'B', 0, 'C', 0}},
                    StoredTextCase{Format::Jet4, "中", {0x2D, 0x4E}},
                    StoredTextCase{Format::Jet4, "😀", {0x3D, 0xD8, 0x00, 0xDE}},
                    StoredTextCase{Format::Jet4, "", {}},
                    StoredTextCase{Format::Jet3, "ABC", {'A', 'B', 'C'}},
                    StoredTextCase{Format::Jet3, "é€ œ", {0xE9, 0x80, ' ', 0x9C}},
                    StoredTextCase{Format::Jet3, "", {}}));

class EachFormat : public testing::TestWithParam<Format> {};

TEST_P(EachFormat, NullAndEmptyTextAreStoredApart)
{
    const auto read = writtenAndRead({{"TEXTE", ColumnType::Text, 20}, {"MEMO", ColumnType::Memo}},
                                     {{std::string(""), std::string("")}, {Null{}, Null{}}}, GetParam());
    ASSERT_TRUE(read);
    ASSERT_EQ(read->stored.size(), 2u);
    for (int c = 0; c < 2; ++c) {
        EXPECT_FALSE(read->stored[0][c].null) << "empty text in column " << c;
        EXPECT_TRUE(read->stored[1][c].null) << "null in column " << c;
        EXPECT_EQ(read->bound[0][c], "");
    }
}

TEST_P(EachFormat, NumbersKeepEveryBit)
{
    const double doubles[] = {0.0,
                              -0.0,
                              0.1,
                              -1.5,
                              3.141592653589793,
                              std::numeric_limits<double>::max(),
                              std::numeric_limits<double>::lowest(),
                              std::numeric_limits<double>::min(),
                              std::numeric_limits<double>::denorm_min(),
                              1.0 / 3.0};
    const std::int32_t integers[] = {0, 1, -1, std::numeric_limits<std::int32_t>::min(),
                                     std::numeric_limits<std::int32_t>::max(), 0x01020304, -0x01020304};
    const std::size_t n = std::max(std::size(doubles), std::size(integers));
    std::vector<Row> rows;
    for (std::size_t i = 0; i < n; ++i)
        rows.push_back({doubles[i % std::size(doubles)], integers[i % std::size(integers)]});
    const auto read = writtenAndRead({{"D", ColumnType::Double}, {"L", ColumnType::LongInteger}}, rows, GetParam());
    ASSERT_TRUE(read);
    ASSERT_EQ(read->stored.size(), n);
    for (std::size_t i = 0; i < n; ++i) {
        const double d = doubles[i % std::size(doubles)];
        const std::uint32_t l = static_cast<std::uint32_t>(integers[i % std::size(integers)]);
        Bytes expectedDouble(8);
        std::memcpy(expectedDouble.data(), &d, 8);
        const Bytes expectedLong = {static_cast<std::uint8_t>(l), static_cast<std::uint8_t>(l >> 8),
                                    static_cast<std::uint8_t>(l >> 16), static_cast<std::uint8_t>(l >> 24)};
        EXPECT_EQ(read->stored[i][0].bytes, expectedDouble) << "row " << i;
        EXPECT_EQ(read->stored[i][1].bytes, expectedLong) << "row " << i;
    }
}

struct NumericCase {
    std::string what;
    std::string written;
    std::string printed;
    Bytes stored;
};

// A numeric column of precision 28 and scale 4: each value is stored as a
// sign byte and its value times 10^4 in four little-endian 32-bit words,
// most significant first, and libmdb prints it with four decimals.
TEST_P(EachFormat, NumericsAreASignAndFourWordsMostSignificantFirst)
{
    const NumericCase cases[] = {
        {"zero", "0", "0.0000", {0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"smallest step", "0.0001", "0.0001", {0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}},
        {"negative", "-0.0001", "-0.0001", {0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}},
        {"fraction padded to the scale",
         "123.45",
         "123.4500",
         {0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x44, 0xD6, 0x12, 0x00}},
        {"lowest word full",
         "429496.7295",
         "429496.7295",
         {0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"carry into the third word", "429496.7296", "429496.7296", {0x00, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}},
        {"carry into the second word",
         "-1844674407370955.1616",
         "-1844674407370955.1616",
         {0x80, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"twenty-eight nines",
         "999999999999999999999999.9999",
         "999999999999999999999999.9999",
         {0x00, 0, 0, 0, 0, 0x5E, 0xCE, 0x4F, 0x20, 0x61, 0x02, 0x25, 0x3E, 0xFF, 0xFF, 0xFF, 0x0F}},
        {"leading zeros", "000012", "12.0000", {0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0xD4, 0x01, 0x00}},
    };
    std::vector<Row> rows;
    for (const NumericCase &c : cases)
        rows.push_back({Decimal{c.written}});
    rows.push_back({Null{}});
    const auto read = writtenAndRead({{.name = "D", .type = ColumnType::Numeric, .precision = 28, .scale = 4}}, rows,
                                     GetParam());
    ASSERT_TRUE(read);
    ASSERT_EQ(read->stored.size(), std::size(cases) + 1);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(read->stored[i][0].bytes, cases[i].stored) << cases[i].what;
        EXPECT_EQ(read->bound[i][0], cases[i].printed) << cases[i].what;
    }
    EXPECT_TRUE(read->stored.back()[0].null);
}

Table numbered(const std::string &name, std::size_t rows, std::size_t padding)
{
    Table t;
    t.name = name;
    t.columns = {{"N", ColumnType::LongInteger}, {"PAD", ColumnType::Text, 255}};
    t.rowCount = rows;
    t.generate = [padding](std::size_t i, Row &row) {
        row[0] = static_cast<std::int32_t>(i);
        row[1] = std::string(padding, static_cast<char>('a' + i % 26));
    };
    return t;
}

// An inline map covers 512 pages (Jet 4) or 1024 (Jet 3) from its start page;
// beyond that the map points to bitmap pages. Both must lead libmdb to every
// row, in order.
TEST_P(EachFormat, UsageMapsOfBothKindsReachEveryPage)
{
    TempDir dir;
    const std::string path = dir.file("maps.mdb");
    struct Expected {
        std::string name;
        std::size_t rows;
        int mapType;
    };
    const Expected tables[] = {{"PETITE", 50, 0}, {"GRANDE", 40000, 1}, {"APRES", 5000, 0}, {"VIDE", 0, 0}};
    std::vector<Table> written;
    for (const Expected &e : tables)
        written.push_back(numbered(e.name, e.rows, 200));
    ASSERT_EQ(writeDatabase(path, written, GetParam()), "");

    for (const Expected &e : tables) {
        const auto read = readWithLibmdb(path, e.name);
        ASSERT_TRUE(read) << e.name;
        EXPECT_EQ(read->usageMapType, e.mapType) << e.name;
        EXPECT_EQ(read->declaredRows, e.rows) << e.name;
        ASSERT_EQ(read->bound.size(), e.rows) << e.name;
        for (std::size_t i = 0; i < e.rows; ++i) {
            if (read->bound[i][0] != std::to_string(i)) {
                ADD_FAILURE() << e.name << " row " << i << " reads as " << read->bound[i][0];
                break;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, EachFormat, testing::Values(Format::Jet4, Format::Jet3),
                         [](const testing::TestParamInfo<Format> &info) {
                             return info.param == Format::Jet3 ? "Jet3" : "Jet4";
                         });

TEST(LibmdbReadBack, CatalogListsUserTablesAndMarksTheSystemOne)
{
    TempDir dir;
    const std::string path = dir.file("catalog.mdb");
    std::vector<Table> tables;
    // Enough tables that their usage maps fill more than one holder page.
    for (int i = 0; i < 60; ++i)
        tables.push_back(numbered("TABLE_" + std::to_string(i), static_cast<std::size_t>(i % 3), 3));
    ASSERT_EQ(writeDatabase(path, tables), "");

    std::vector<std::string> users;
    bool catalogIsSystem = false;
    for (const CatalogEntry &e : readCatalog(path)) {
        if (e.userTable)
            users.push_back(e.name);
        if (e.name == "MSysObjects")
            catalogIsSystem = e.systemTable;
    }
    EXPECT_TRUE(catalogIsSystem);
    ASSERT_EQ(users.size(), tables.size());
    for (std::size_t i = 0; i < tables.size(); ++i) {
        EXPECT_EQ(users[i], tables[i].name);
        const auto read = readWithLibmdb(path, tables[i].name);
        ASSERT_TRUE(read) << tables[i].name;
        EXPECT_EQ(read->bound.size(), i % 3) << tables[i].name;
        EXPECT_EQ(read->columns, (std::vector<std::string>{"N", "PAD"}));
    }
}

} // namespace
