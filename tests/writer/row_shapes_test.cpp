// The row shapes of edited Access files, written and read back with libmdb
// and mdb-export, and checked in the page bytes: moved rows, deleted rows,
// deleted columns, long memos, long and wide rows, reference usage maps.
//
// libmdb swaps the meaning of the two flags of a row's entry: it skips a
// moved row's home entry as deleted and lists the moved data where it lies.
// So moved rows are compared with the tools as a set, and the other rows in
// the order written.

#include "file_bytes.h"
#include "read_back.h"
#include "shape_catalog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>

using namespace mdb_writer;
using namespace writer_test;

namespace {

struct ShapeCase {
    Format format;
    std::string shape;
};

void PrintTo(const ShapeCase &c, std::ostream *os)
{
    *os << c.shape << (c.format == Format::Jet3 ? " (Jet 3)" : " (Jet 4)");
}

std::string caseName(const testing::TestParamInfo<ShapeCase> &info)
{
    return info.param.shape + (info.param.format == Format::Jet3 ? "_Jet3" : "_Jet4");
}

std::vector<ShapeCase> allShapes()
{
    std::vector<ShapeCase> cases;
    for (Format format : {Format::Jet4, Format::Jet3})
        for (const std::string &name : shapes::names())
            cases.push_back({format, name});
    return cases;
}

class RowShapes : public testing::TestWithParam<ShapeCase> {
protected:
    void SetUp() override
    {
        m_shape = shapes::shape(GetParam().shape, GetParam().format);
        m_path = m_dir.file("shape.mdb");
        ASSERT_EQ(writeDatabase(m_path, {m_shape.table}, GetParam().format), "");
        m_shown = shapes::visible(m_shape.table);
        // A stray pointer leads nowhere: the tools show every other row.
        for (std::size_t i = 0; i < m_shown.rows.size(); ++i) {
            if (m_shape.table.strayPointerRow
                && std::get<std::int32_t>(m_shown.rows[i][0]) == static_cast<std::int32_t>(*m_shape.table.strayPointerRow))
                continue;
            m_expected.push_back(m_shown.rows[i]);
            m_moved.push_back(m_shown.moved[i]);
        }
    }

    void expectShown(const char *tool, const std::vector<PrintedRow> &printed)
    {
        writer_test::expectShown(tool, printed, m_shown.columns, m_expected, m_moved);
    }

    TempDir m_dir;
    std::string m_path;
    shapes::Shape m_shape;
    shapes::Visible m_shown;
    std::vector<Row> m_expected;
    std::vector<bool> m_moved;
};

TEST_P(RowShapes, LibmdbAndMdbExportShowTheLiveRowsAndColumns)
{
    const std::size_t bind = std::max<std::size_t>(16384, 2 * shapes::longestText(m_shape.table) + 16);
    const auto read = readWithLibmdb(m_path, m_shape.table.name, bind);
    ASSERT_TRUE(read);
    std::vector<std::string> names;
    for (const Column &c : m_shown.columns)
        names.push_back(c.name);
    EXPECT_EQ(read->columns, names);
    EXPECT_EQ(read->declaredRows, m_shown.rows.size());
    if (GetParam().shape == "ManyPages") {
        EXPECT_EQ(read->usageMapType, 1) << "more pages than an inline usage map covers";
    }

    std::vector<PrintedRow> bound;
    for (const auto &row : read->bound) {
        PrintedRow printed;
        // libmdb binds a null and an empty text alike, as "".
        for (const std::string &value : row)
            printed.push_back(value.empty() ? Printed{} : Printed{value});
        bound.push_back(std::move(printed));
    }
    expectShown("libmdb", bound);

    std::vector<PrintedRow> csv = exportCsv(m_path, m_shape.table.name);
    ASSERT_FALSE(csv.empty());
    std::vector<std::string> header;
    for (const Printed &p : csv.front())
        header.push_back(p.value_or("NULL"));
    EXPECT_EQ(header, names);
    csv.erase(csv.begin());
    expectShown("mdb-export", csv);
}

// The tools list moved data where it lies, so if they show the rows in the
// order written, nothing was moved.
TEST_P(RowShapes, ToolsMeetMovedDataAwayFromItsHome)
{
    const auto read = readWithLibmdb(m_path, m_shape.table.name, 1 << 20);
    ASSERT_TRUE(read);
    ASSERT_EQ(read->bound.size(), m_expected.size());
    bool sameOrder = true;
    for (std::size_t i = 0; i < m_expected.size(); ++i)
        sameOrder = sameOrder && read->bound[i][0] == std::to_string(std::get<std::int32_t>(m_expected[i][0]));
    const bool anyMoved = std::find(m_moved.begin(), m_moved.end(), true) != m_moved.end();
    EXPECT_EQ(sameOrder, !anyMoved);
}

using test_support::le16;
using test_support::le32;

// Walks the table's data pages as a Jet reader would: a moved row's home
// entry carries 0x4000 and 4 bytes naming the page (upper three bytes) and
// row (low byte) of its data, whose entry carries 0x8000 alone; a deleted
// row's entry carries both flags and still has its bytes. Read that way,
// the rows come in the order written.
TEST_P(RowShapes, EntriesCarryTheFlagsAccessWrites)
{
    std::ifstream in(m_path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const bool jet3 = GetParam().format == Format::Jet3;
    const std::size_t pageSize = jet3 ? 2048 : 4096;
    const std::size_t countAt = jet3 ? 8 : 12;
    const std::size_t pages = bytes.size() / pageSize;
    std::uint32_t definition = 0;
    for (std::size_t p = 3; p < pages && definition == 0; ++p)
        if (bytes[p * pageSize] == 0x02)
            definition = static_cast<std::uint32_t>(p);
    ASSERT_NE(definition, 0u);

    const auto entry = [&](std::size_t page, std::size_t row) {
        return le16(bytes, page * pageSize + countAt + 2 + 2 * row);
    };
    const auto owned = [&](std::size_t page) {
        return page < pages && bytes[page * pageSize] == 0x01 && le32(bytes, page * pageSize + 4) == definition;
    };
    // N is the first column that is not deleted; the fixed columns before
    // it, deleted or not, come first in the row.
    std::size_t nAt = jet3 ? 1 : 2;
    for (const Column &c : m_shape.table.columns) {
        if (c.name == "N")
            break;
        if (c.type == ColumnType::LongInteger)
            nAt += 4;
        else if (c.type == ColumnType::Double)
            nAt += 8;
        else if (c.type == ColumnType::Numeric)
            nAt += 17;
    }
    const auto rowN = [&](std::size_t page, std::size_t start) {
        return static_cast<std::int32_t>(le32(bytes, page * pageSize + start + nAt));
    };
    std::vector<std::int32_t> scanned;
    std::size_t homes = 0, movedData = 0, deleted = 0, plain = 0, stray = 0;
    std::set<std::uint32_t> targets;
    for (std::size_t p = 3; p < pages; ++p) {
        if (!owned(p))
            continue;
        const std::size_t rows = le16(bytes, p * pageSize + countAt);
        for (std::size_t r = 0; r < rows; ++r) {
            const std::uint16_t e = entry(p, r);
            const std::size_t start = e & 0x1FFF;
            const std::size_t end = r == 0 ? pageSize : (entry(p, r - 1) & 0x1FFF);
            ASSERT_LT(start, end) << "page " << p << " row " << r;
            switch (e & 0xC000) {
            case 0x4000: {
                ++homes;
                ASSERT_EQ(end - start, 4u) << "a moved row's home holds a pointer";
                const std::uint32_t where = le32(bytes, p * pageSize + start);
                const std::uint32_t page = where >> 8;
                if (page >= pages) {
                    ++stray;
                    break;
                }
                ASSERT_TRUE(owned(page)) << "moved data on page " << page;
                ASSERT_LT(where & 0xFF, le16(bytes, page * pageSize + countAt));
                const std::uint16_t target = entry(page, where & 0xFF);
                EXPECT_EQ(target & 0xC000, 0x8000);
                scanned.push_back(rowN(page, target & 0x1FFF));
                targets.insert(where);
                break;
            }
            case 0x8000:
                ++movedData;
                break;
            case 0xC000:
                ++deleted;
                EXPECT_GT(end - start, 4u) << "a deleted row keeps its bytes";
                break;
            default:
                ++plain;
                scanned.push_back(rowN(p, start));
            }
        }
    }
    const std::size_t strayCount = m_shape.table.strayPointerRow ? 1 : 0;
    EXPECT_EQ(homes, m_shape.table.movedRows.size() + strayCount);
    EXPECT_EQ(stray, strayCount);
    EXPECT_EQ(movedData, m_shape.table.movedRows.size());
    EXPECT_EQ(targets.size(), movedData) << "each moved row has data of its own";
    EXPECT_EQ(deleted, m_shape.table.deletedRows.size());
    EXPECT_EQ(plain + homes, m_shown.rows.size());

    // Pages in order, pointers followed: the rows as written.
    std::vector<std::int32_t> written;
    for (const Row &row : m_expected)
        written.push_back(std::get<std::int32_t>(row[0]));
    EXPECT_EQ(scanned, written);
}

INSTANTIATE_TEST_SUITE_P(Shapes, RowShapes, testing::ValuesIn(allShapes()), caseName);

// Deleted columns keep their numbers: the definition's entries skip them,
// and the live columns' numbers and variable-column indexes keep the gaps.
TEST(DeletedColumns, DefinitionKeepsTheGaps)
{
    for (Format format : {Format::Jet4, Format::Jet3}) {
        TempDir dir;
        const std::string path = dir.file("gaps.mdb");
        Table t;
        t.name = "T";
        t.columns = {{"A", ColumnType::Text, 10, true}, {"B", ColumnType::LongInteger},
                     {"C", ColumnType::Text, 10, true}, {"D", ColumnType::Memo},
                     {"E", ColumnType::Double, 255, true}, {"F", ColumnType::Double}};
        ASSERT_EQ(writeDatabase(path, {t}, format), "");
        std::ifstream in(path, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        const bool jet3 = format == Format::Jet3;
        const std::size_t def = 3 * (jet3 ? 2048 : 4096);
        const std::size_t shift = jet3 ? 0 : 20;
        EXPECT_EQ(le16(bytes, def + 21 + shift), 6) << "columns a row holds";
        EXPECT_EQ(le16(bytes, def + 23 + shift), 3) << "variable columns a row holds";
        EXPECT_EQ(le16(bytes, def + 25 + shift), 3) << "columns listed";
        const std::size_t entries = def + (jet3 ? 43 : 63);
        const std::size_t size = jet3 ? 18 : 25;
        const std::size_t numberAt = jet3 ? 1 : 5, varAt = jet3 ? 3 : 7, fixedAt = jet3 ? 14 : 21;
        const std::uint16_t numbers[] = {1, 3, 5}, fixedOffsets[] = {0, 0, 12};
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(le16(bytes, entries + i * size + numberAt), numbers[i]) << i;
            EXPECT_EQ(le16(bytes, entries + i * size + fixedAt), fixedOffsets[i]) << i;
        }
        EXPECT_EQ(le16(bytes, entries + 1 * size + varAt), 2) << "D follows the deleted A and C in the offset table";
    }
}

// Access never lowers a definition's count of variable slots when a text or
// memo column is deleted, nor the highest column number it has used: both
// stay above the columns left, and every row keeps all the slots.
TEST(DeletedColumns, SlotCountsStayAboveTheColumnsLeft)
{
    for (Format format : {Format::Jet4, Format::Jet3}) {
        const shapes::Shape shape = shapes::shape("MoreSlotsThanColumns", format);
        TempDir dir;
        const std::string path = dir.file("slots.mdb");
        ASSERT_EQ(writeDatabase(path, {shape.table}, format), "");
        std::ifstream in(path, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        const bool jet3 = format == Format::Jet3;
        const std::size_t pageSize = jet3 ? 2048 : 4096;
        const std::size_t def = 3 * pageSize;
        const std::size_t shift = jet3 ? 0 : 20;
        EXPECT_EQ(le16(bytes, def + 21 + shift), 9) << "columns ever numbered";
        EXPECT_EQ(le16(bytes, def + 23 + shift), 7) << "variable slots, the deleted ones' included";
        EXPECT_EQ(le16(bytes, def + 25 + shift), 4) << "columns left";

        // The first row of the first data page ends at the page's end with
        // its slot count, then a null mask of two bytes for nine columns.
        std::size_t data = 4;
        while (data * pageSize < bytes.size()
               && !(bytes[data * pageSize] == 0x01 && le32(bytes, data * pageSize + 4) == 3))
            ++data;
        ASSERT_LT(data * pageSize, bytes.size());
        const std::size_t rowEnd = (data + 1) * pageSize - 2;
        EXPECT_EQ(jet3 ? static_cast<std::uint8_t>(bytes[rowEnd - 1]) : le16(bytes, rowEnd - 2), 7);
    }
}

// Jet 4 keeps a numeric column's precision, then its scale, at bytes 11 and
// 12 of its entry, where text keeps its sort order. Where Jet 3 keeps them
// is unsettled (bytes 9 and 10 in mdbtools' notes, 11 and 12 in jackcess),
// so a Jet 3 entry holds them in both places.
TEST(NumericColumns, EntriesHoldPrecisionScaleAndSeventeenFixedBytes)
{
    for (Format format : {Format::Jet4, Format::Jet3}) {
        TempDir dir;
        const std::string path = dir.file("numeric.mdb");
        Table t;
        t.name = "T";
        t.columns = {{"N", ColumnType::LongInteger},
                     {.name = "M", .type = ColumnType::Numeric, .precision = 18, .scale = 0},
                     {"X", ColumnType::Text, 10},
                     {.name = "P", .type = ColumnType::Numeric, .precision = 10, .scale = 2}};
        ASSERT_EQ(writeDatabase(path, {t}, format), "");
        std::ifstream in(path, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        const bool jet3 = format == Format::Jet3;
        const std::size_t entries = 3 * (jet3 ? 2048 : 4096) + (jet3 ? 43 : 63);
        const std::size_t size = jet3 ? 18 : 25;
        const std::size_t flagsAt = jet3 ? 13 : 15, fixedAt = jet3 ? 14 : 21, lengthAt = jet3 ? 16 : 23;
        struct Expected {
            std::size_t entry;
            std::uint8_t precision, scale;
            std::uint16_t fixedOffset;
        };
        for (const Expected e : {Expected{1, 18, 0, 4}, Expected{3, 10, 2, 21}}) {
            const std::size_t at = entries + e.entry * size;
            EXPECT_EQ(static_cast<std::uint8_t>(bytes[at]), 0x10) << e.entry;
            EXPECT_EQ(static_cast<std::uint8_t>(bytes[at + 11]), e.precision) << e.entry;
            EXPECT_EQ(static_cast<std::uint8_t>(bytes[at + 12]), e.scale) << e.entry;
            if (jet3) {
                EXPECT_EQ(static_cast<std::uint8_t>(bytes[at + 9]), e.precision) << e.entry;
                EXPECT_EQ(static_cast<std::uint8_t>(bytes[at + 10]), e.scale) << e.entry;
            }
            EXPECT_EQ(bytes[at + flagsAt] & 0x01, 0x01) << "fixed";
            EXPECT_EQ(le16(bytes, at + fixedAt), e.fixedOffset) << e.entry;
            EXPECT_EQ(le16(bytes, at + lengthAt), 17) << e.entry;
        }
    }
}

} // namespace
