// Damaged catalogs and table definitions: each file is written by our
// writer and then damaged here at one place. Several of these places once
// crashed or hung the library that read definitions for us; our own reader
// must refuse them or read around them.

#include "jet_engine/engine.h"
#include "file_bytes.h"
#include "first_column.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

namespace jet_engine {
namespace {

using mdb_writer::ColumnType;
using mdb_writer::Format;
using testing_support::TempDir;
using test_support::le16;
using test_support::le32;
using test_support::put16;

struct Layout {
    std::size_t pageSize;
    std::size_t rowCountOffset;   // the page's row count; row offsets follow
    std::size_t usageMapOffset;   // in a table definition: the usage map's page and row
    std::size_t freeMapOffset;
};

Layout layoutOf(Format format)
{
    if (format == Format::Jet3)
        return {2048, 0x08, 35, 39};
    return {4096, 0x0c, 55, 59};
}

std::vector<std::string> designationList()
{
    std::vector<std::string> list;
    for (int i = 0; i < 30; ++i)
        list.push_back("ECROU " + std::to_string(i));
    return list;
}

// Open, the search's query, every row: the outcome, or the designations read.
struct Answer {
    Status status = Status::Ok;
    std::vector<std::string> rows;
};

Answer search(const std::string &path)
{
    Answer answer;
    Engine engine;
    auto database = engine.openDatabase(path, false, true);
    if (!database.ok()) {
        answer.status = database.status();
        return answer;
    }
    auto opened = database.value()->openRecordset(u"SELECT * FROM ARTICLE Where ARTICLE like '*E*'");
    if (!opened.ok()) {
        answer.status = opened.status();
        return answer;
    }
    Recordset &rows = *opened.value();
    rows.moveFirst();
    answer.rows = testing_support::firstColumnToEnd(rows);
    return answer;
}

class DamagedDefinitionTest : public testing::TestWithParam<Format> {
protected:
    void SetUp() override
    {
        m_layout = layoutOf(GetParam());
        std::vector<mdb_writer::Row> rows;
        for (const std::string &designation : designationList())
            rows.push_back({designation, static_cast<std::int32_t>(rows.size())});
        testing_support::writeOrFail(
            m_dir.file("good.mdb"),
            {testing_support::table("ARTICLE", {{"ARTICLE", ColumnType::Text, 40}, {"CODE", ColumnType::LongInteger}}, rows)},
            GetParam());
        m_bytes = testing_support::readBytes(m_dir.file("good.mdb"));
        for (std::size_t page = 3; page * m_layout.pageSize < m_bytes.size(); ++page) {
            const std::size_t at = page * m_layout.pageSize;
            if (m_bytes[at] == 0x02)
                m_articlePage = page;
            else if (m_bytes[at] == 0x01 && le32(m_bytes, at + 4) == 2)
                m_catalogRowPages.push_back(page);
        }
        ASSERT_NE(m_articlePage, 0u);
        ASSERT_FALSE(m_catalogRowPages.empty());
    }

    // Makes the row a table definition points to at `pointerOffset` zero bytes
    // long: its start moves up to where the row before it starts.
    std::string withEmptyRow(std::size_t definitionPage, std::size_t pointerOffset) const
    {
        std::string bytes = m_bytes;
        const std::uint32_t pgRow = le32(bytes, definitionPage * m_layout.pageSize + pointerOffset);
        const std::size_t page = (pgRow >> 8) * m_layout.pageSize;
        const unsigned row = pgRow & 0xFF;
        const std::size_t offsets = page + m_layout.rowCountOffset + 2;
        const std::uint16_t end = row == 0 ? static_cast<std::uint16_t>(m_layout.pageSize)
                                           : static_cast<std::uint16_t>(le16(bytes, offsets + 2 * (row - 1)) & 0x1FFF);
        put16(bytes, offsets + 2 * row, end);
        return bytes;
    }

    std::string save(const std::string &bytes) const
    {
        const std::string path = m_dir.file("damaged.mdb");
        testing_support::writeBytes(path, bytes);
        return path;
    }

    TempDir m_dir;
    Layout m_layout{};
    std::string m_bytes;
    std::size_t m_articlePage = 0;
    std::vector<std::size_t> m_catalogRowPages;
};

// An empty usage map names no page at all: refused, never taken for an
// empty table. (libmdb copied such a map to a null pointer and crashed on
// the first fetch.) One changed row offset on the map holder page makes the
// map empty.
TEST_P(DamagedDefinitionTest, EmptyUsageMapOfTheArticleTableFailsTheSearch)
{
    EXPECT_NE(search(save(withEmptyRow(m_articlePage, m_layout.usageMapOffset))).status, Status::Ok);
}

// The free-space map only tells Jet where to insert: a reader has no use for
// it, so damage there must not cost the user the table.
TEST_P(DamagedDefinitionTest, EmptyFreeSpaceMapOfTheArticleTableStillAnswersEveryRow)
{
    EXPECT_EQ(search(save(withEmptyRow(m_articlePage, m_layout.freeMapOffset))).rows, designationList());
}

TEST_P(DamagedDefinitionTest, EmptyUsageMapOfTheCatalogFailsTheOpen)
{
    EXPECT_EQ(search(save(withEmptyRow(2, m_layout.usageMapOffset))).status, Status::NotADatabase);
}

TEST_P(DamagedDefinitionTest, UndamagedFileAnswersEveryRow)
{
    EXPECT_EQ(search(save(m_bytes)).rows, designationList());
}

// Bytes of a page that no reader looks at: a data page's free space, between
// its row offsets and its lowest row, or the zeros after a table definition.
struct Unread {
    std::size_t from = 0, to = 0;
};

Unread unreadPart(const std::string &bytes, std::size_t page, const Layout &layout)
{
    const std::size_t at = page * layout.pageSize;
    if (bytes[at] == 0x01) {
        const std::size_t rows = le16(bytes, at + layout.rowCountOffset);
        const std::size_t offsets = layout.rowCountOffset + 2 + 2 * rows;
        std::size_t lowest = layout.pageSize;
        for (std::size_t row = 0; row < rows; ++row)
            lowest = std::min<std::size_t>(lowest, le16(bytes, at + layout.rowCountOffset + 2 + 2 * row) & 0x1FFF);
        return offsets < lowest ? Unread{offsets, lowest} : Unread{};
    }
    std::size_t end = layout.pageSize;
    while (end > 0 && bytes[at + end - 1] == 0)
        --end;
    return {end, layout.pageSize};
}

// Under the sanitizers a search runs some twenty times slower: the sweep
// then takes every byte that is read and one in sixteen of the rest, or on
// two busy cores it outlasts its time limit. The plain build takes them all.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t unreadStride = 16;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr std::size_t unreadStride = 16;
#else
constexpr std::size_t unreadStride = 1;
#endif
#else
constexpr std::size_t unreadStride = 1;
#endif

// A property parser whose loop advances by a length read from the LvProp
// blob never ends on a zero there (libmdb's did), and one changed byte in
// the catalog page can make a blob appear or change its lengths: the
// engine never parses properties. Every byte of the catalog (its definition
// and its rows, LvProp values and null masks included) and of the table's
// definition that a reader looks at is changed in turn, and the free space
// around them too (sampled under the sanitizers); each search must end,
// and when a damaged catalog still answers, with rows of the file only.
TEST_P(DamagedDefinitionTest, AnyOneChangedByteOfTheCatalogOrDefinitionEnds)
{
    const auto written = designationList();
    std::vector<std::size_t> pages = m_catalogRowPages;
    pages.push_back(2);
    pages.push_back(m_articlePage);
    std::size_t swept = 0;
    for (const std::size_t page : pages) {
        const Unread unread = unreadPart(m_bytes, page, m_layout);
        for (std::size_t at = 0; at < m_layout.pageSize; ++at) {
            if (at >= unread.from && at < unread.to && (at - unread.from) % unreadStride != page % unreadStride)
                continue;
            ++swept;
            std::string bytes = m_bytes;
            bytes[page * m_layout.pageSize + at] ^= 0x5A;
            const Answer answer = search(save(bytes));
            if (answer.status != Status::Ok || page == m_articlePage)
                continue;
            for (const std::string &row : answer.rows)
                ASSERT_NE(std::find(written.begin(), written.end(), row), written.end())
                    << "page " << page << " byte " << at << ": " << row;
        }
    }
    std::cout << swept << " bytes changed in " << pages.size() << " pages\n";
}

INSTANTIATE_TEST_SUITE_P(Formats, DamagedDefinitionTest, testing::Values(Format::Jet4, Format::Jet3),
                         [](const testing::TestParamInfo<Format> &info) {
                             return info.param == Format::Jet3 ? "Jet3" : "Jet4";
                         });

} // namespace
} // namespace jet_engine
