// Where the row decoder finds each column's bytes, on rows laid out by hand
// for the shapes Access makes and our writer does not: deleted columns,
// columns added after rows were written, Jet 3 jump tables, broken offsets.

#include "jet_engine/format/row_decoder.h"
#include "page_fixture.h"

#include <gtest/gtest.h>

#include <optional>

namespace jet_engine {
namespace {

using namespace testing_support;

ColumnLayout fixedColumn(std::string name, std::uint16_t number, std::uint16_t offset, std::uint16_t size)
{
    ColumnLayout c;
    c.name = std::move(name);
    c.type = static_cast<std::uint8_t>(JetType::LongInteger);
    c.number = number;
    c.fixed = true;
    c.fixedOffset = offset;
    c.size = size;
    return c;
}

ColumnLayout textColumn(std::string name, std::uint16_t number, std::uint16_t varIndex)
{
    ColumnLayout c;
    c.name = std::move(name);
    c.type = static_cast<std::uint8_t>(JetType::Text);
    c.number = number;
    c.varIndex = varIndex;
    c.size = 510;
    return c;
}

// An Access 2007 table whose column 1 was deleted: numbers 0, 2, 3. The
// text columns' variable indexes run against their shown order, as after
// columns were moved: CODE is the row's second variable value, LIBELLE the first.
TableLayout gappedTable()
{
    TableLayout t;
    t.hasVariableColumns = true;
    t.columns = {fixedColumn("ID", 0, 0, 4), textColumn("CODE", 2, 1), textColumn("LIBELLE", 3, 0)};
    return t;
}

// A Jet 4 row: column count, fixed bytes, variable values, then the offset
// table from the end: null mask, count, offsets last to first, end of data.
std::string jet4Row(std::uint16_t columns, const std::string &fixed, const std::vector<std::string> &values,
                    std::uint32_t presentBits)
{
    std::string row = le16Bytes(columns) + fixed;
    std::vector<std::uint32_t> starts;
    for (const std::string &v : values) {
        starts.push_back(static_cast<std::uint32_t>(row.size()));
        row += v;
    }
    row += le16Bytes(static_cast<std::uint32_t>(row.size()));
    for (std::size_t i = starts.size(); i-- > 0;)
        row += le16Bytes(starts[i]);
    row += le16Bytes(static_cast<std::uint32_t>(values.size()));
    for (std::size_t byte = 0; byte < (columns + 7u) / 8; ++byte)
        row.push_back(static_cast<char>((presentBits >> (8 * byte)) & 0xFF));
    return row;
}

std::vector<std::optional<std::string>> decodeAll(const FileFormat &format, const TableLayout &table,
                                                  const std::string &row, bool &ok)
{
    std::vector<unsigned> wanted;
    for (unsigned i = 0; i < table.columns.size(); ++i)
        wanted.push_back(i);
    RowDecoder decoder(format, table, wanted);
    std::vector<FieldBytes> fields(wanted.size());
    ok = decoder.decode(reinterpret_cast<const unsigned char *>(row.data()), row.size(), fields.data());
    std::vector<std::optional<std::string>> out;
    for (const FieldBytes &f : fields)
        out.push_back(f.present ? std::optional<std::string>(std::string(reinterpret_cast<const char *>(f.data), f.size))
                                : std::nullopt);
    return out;
}

struct RowCase {
    const char *name;
    std::string row;
    // Per column of gappedTable(); nothing for the whole row when its
    // structure does not hold together.
    std::optional<std::vector<std::optional<std::string>>> fields;
};

void PrintTo(const RowCase &c, std::ostream *os) { *os << c.name; }

class Jet4RowTest : public ::testing::TestWithParam<RowCase> {};

TEST_P(Jet4RowTest, FindsEachColumnOrRejectsTheRow)
{
    const RowCase &c = GetParam();
    bool ok = false;
    const auto fields = decodeAll(FileFormat{}, gappedTable(), c.row, ok);
    ASSERT_EQ(ok, c.fields.has_value());
    if (ok) {
        EXPECT_EQ(fields, *c.fields);
    }
}

const std::string id("\x2A\0\0\0", 4);
using Fields = std::vector<std::optional<std::string>>;

std::string withByte(std::string row, std::size_t at, unsigned char value)
{
    row[at] = static_cast<char>(value);
    return row;
}

// Laid out as jet4Row(4, id, {"libelle", "code"}, ...) does: count at 0,
// ID at 2, values from 6, the end of data at 17, CODE's start at 19,
// LIBELLE's at 21, the value count at 23, the null mask at 25.
const std::string plain = jet4Row(4, id, {"libelle", "code"}, 0b1101);

const RowCase jet4Rows[] = {
    // A table with a deleted column: the null mask is read by column number,
    // values by variable index. Read by position, CODE and LIBELLE swapped
    // and CODE took the deleted column's null bit.
    {"deleted_column_gap", plain, Fields{id, "code", "libelle"}},
    {"null_text", jet4Row(4, id, {"libelle", ""}, 0b1001), Fields{id, std::nullopt, "libelle"}},
    {"null_fixed", jet4Row(4, id, {"libelle", "code"}, 0b1100), Fields{std::nullopt, "code", "libelle"}},
    // Written before CODE and LIBELLE were added: fewer columns and values.
    {"columns_added_later", jet4Row(3, id, {"libelle"}, 0b101), Fields{id, std::nullopt, std::nullopt}},
    {"value_starting_past_the_data", withByte(plain, 19, 0x40), std::nullopt},
    {"value_ending_before_it_starts", withByte(plain, 21, 0x10), std::nullopt},
    {"value_count_past_the_row", withByte(plain, 23, 200), std::nullopt},
    {"column_count_past_the_row", withByte(withByte(plain, 0, 0xFF), 1, 0xFF), std::nullopt},
    {"fixed_value_past_the_data", jet4Row(4, "", {}, 0b0001), std::nullopt},
    {"empty_row", "", std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Rows, Jet4RowTest, ::testing::ValuesIn(jet4Rows),
                         [](const auto &info) { return std::string(info.param.name); });

// Jet 3 offsets are one byte; past 256 bytes a jump table names, for each
// boundary, the first offset beyond it. The table's size comes from the
// row's length.
struct Jet3Case {
    const char *name;
    std::string first;
    std::string second;
};

void PrintTo(const Jet3Case &c, std::ostream *os) { *os << c.name; }

class Jet3RowTest : public ::testing::TestWithParam<Jet3Case> {};

TEST_P(Jet3RowTest, JumpTableCarriesOffsetsPast256)
{
    const Jet3Case &c = GetParam();
    TableLayout table;
    table.hasVariableColumns = true;
    table.columns = {textColumn("A", 0, 0), textColumn("B", 1, 1)};
    std::string row(1, '\x02');
    const std::uint32_t starts[3] = {1, static_cast<std::uint32_t>(1 + c.first.size()),
                                     static_cast<std::uint32_t>(1 + c.first.size() + c.second.size())};
    row += c.first + c.second;
    for (int i = 2; i >= 0; --i)
        row.push_back(static_cast<char>(starts[i] & 0xFF));
    const std::size_t length = row.size() + 1 + 1 + 1 + 1;
    ASSERT_EQ((length - 1) / 256, 1u) << "one jump entry expected";
    unsigned firstPast = 0;
    while (starts[firstPast] < 256)
        ++firstPast;
    row.push_back(static_cast<char>(firstPast));
    row.push_back('\x02');
    row.push_back('\x03');
    FileFormat format;
    format.jet3 = true;
    format.pageSize = 2048;
    bool ok = false;
    EXPECT_EQ(decodeAll(format, table, row, ok), (Fields{c.first, c.second}));
    EXPECT_TRUE(ok);
}

const Jet3Case jet3Rows[] = {
    {"end_of_data_past_256", std::string(200, 'a'), std::string(100, 'b')},
    {"second_value_past_256", std::string(300, 'a'), std::string(10, 'b')},
};

INSTANTIATE_TEST_SUITE_P(Rows, Jet3RowTest, ::testing::ValuesIn(jet3Rows),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace jet_engine
