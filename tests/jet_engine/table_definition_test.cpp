// The table definition reader and the first page's header, on pages laid
// out by hand: shapes Access leaves behind (deleted columns, long
// definitions, Numeric columns) and damage to every count, length and page
// number the reader follows.

#include "jet_engine/format/file_header.h"
#include "jet_engine/format/table_definition.h"
#include "page_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace jet_engine {
namespace {

using namespace testing_support;

constexpr std::uint32_t definitionPage = 2;
constexpr std::uint32_t mapHolderPage = 5;

struct Entry {
    std::uint8_t type;
    std::uint16_t number;
    std::uint16_t varIndex;
    bool fixed;
    std::uint16_t fixedOffset;
    std::uint16_t size;
    std::string name;
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;
};

// A Jet 4 definition as Access lays it out: the table's counts, the real
// index entries, one 25-byte entry per live column, then the names.
struct Definition {
    std::uint16_t numbersUsed = 2;
    std::uint16_t variableSlots = 1;
    std::uint32_t realIndexes = 0;
    std::vector<Entry> entries{{0x0A, 0, 0, false, 0, 100, "ARTICLE"}, {0x04, 1, 0, true, 0, 4, "Id"}};
    std::optional<std::uint16_t> columnCount; // the entries' count unless set
    std::uint32_t usageMap = (mapHolderPage << 8) | 0;

    std::string bytes() const
    {
        // A count too large to lay out (a damaged one) gets no entries: in
        // 32 bits its 12 bytes each wrapped round to a buffer too short for
        // the counts themselves.
        const std::size_t indexBytes = realIndexes <= 64 ? 12 * std::size_t{realIndexes} : 0;
        std::string def(63 + indexBytes, '\0');
        def[0] = 0x02;
        def[1] = 0x01;
        put32(def, 16, 1234);
        def[40] = 0x4E;
        put16(def, 41, numbersUsed);
        put16(def, 43, variableSlots);
        put16(def, 45, columnCount.value_or(static_cast<std::uint16_t>(entries.size())));
        put32(def, 51, realIndexes);
        put32(def, 55, usageMap);
        for (const Entry &e : entries) {
            std::string entry(25, '\0');
            entry[0] = static_cast<char>(e.type);
            put16(entry, 5, e.number);
            put16(entry, 7, e.varIndex);
            entry[11] = static_cast<char>(e.precision);
            entry[12] = static_cast<char>(e.scale);
            entry[15] = static_cast<char>(e.fixed ? 0x03 : 0x02);
            put16(entry, 21, e.fixedOffset);
            put16(entry, 23, e.size);
            def += entry;
        }
        for (const Entry &e : entries) {
            def += le16Bytes(static_cast<std::uint32_t>(2 * e.name.size()));
            for (char c : e.name)
                def += std::string{c, '\0'};
        }
        return def + le16Bytes(0xFFFF);
    }
};

// Lays the definition out from `first`, going on in `next` pages (each
// with its own 8-byte header) when it is longer than a page, and a usage
// map row on its holder page.
void layDefinition(PageFixture &f, const std::string &def, std::vector<std::uint32_t> next = {})
{
    std::vector<std::uint32_t> pages{definitionPage};
    pages.insert(pages.end(), next.begin(), next.end());
    std::size_t from = 0;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const std::size_t base = pages[i] * fixturePageSize;
        const std::size_t header = i == 0 ? 0 : 8;
        const std::size_t take = std::min(def.size() - from, fixturePageSize - header);
        f.bytes().replace(base + header, take, def, from, take);
        from += take;
        f.bytes()[base] = 0x02;
        f.bytes()[base + 1] = 0x01;
        put32(f.bytes(), base + 4, i + 1 < pages.size() ? pages[i + 1] : 0);
    }
    f.rowPage(mapHolderPage, definitionPage, {{std::string{0x00, 0x03, 0, 0, 0, 0x01}}});
}

std::string names(const TableLayout &table)
{
    std::string out;
    for (const ColumnLayout &c : table.columns)
        out += (out.empty() ? "" : ",") + c.name;
    return out;
}

struct DefinitionCase {
    const char *name;
    std::function<void(PageFixture &)> lay;
    // The columns' names in table order; nothing when the definition must
    // be refused.
    std::optional<std::string> columns;
    std::function<void(const TableLayout &)> alsoCheck = [](const TableLayout &) {};
};

void PrintTo(const DefinitionCase &c, std::ostream *os) { *os << c.name; }

class TableDefinitionTest : public ::testing::TestWithParam<DefinitionCase> {};

TEST_P(TableDefinitionTest, ReadsTheColumnsOrRefusesTheDamage)
{
    const DefinitionCase &c = GetParam();
    PageFixture file(8);
    c.lay(file);
    PageSource *pages = file.open();
    ASSERT_NE(pages, nullptr);
    const auto table = readTableDefinition(*pages, FileFormat{}, TextDecoder(nullptr), definitionPage, "T");
    if (!c.columns) {
        EXPECT_EQ(table.status(), Status::ReadFailed);
        return;
    }
    ASSERT_TRUE(table.ok()) << describe(table.status());
    EXPECT_EQ(names(table.value()), *c.columns);
    EXPECT_EQ(table.value().usageMap, (std::vector<std::uint8_t>{0x00, 0x03, 0, 0, 0, 0x01}));
    c.alsoCheck(table.value());
}

Definition with(const std::function<void(Definition &)> &change)
{
    Definition d;
    change(d);
    return d;
}

DefinitionCase layingOut(const char *name, const Definition &d, std::optional<std::string> columns,
                         std::function<void(const TableLayout &)> alsoCheck = [](const TableLayout &) {})
{
    return {name, [d](PageFixture &f) { layDefinition(f, d.bytes()); }, std::move(columns), std::move(alsoCheck)};
}

// 60 columns with long names take two pages.
Definition wide()
{
    Definition d;
    d.entries.clear();
    for (std::uint16_t i = 0; i < 60; ++i)
        d.entries.push_back({0x0A, i, i, false, 0, 100, "DESIGNATION_NUMERO_" + std::to_string(100 + i)});
    d.numbersUsed = 60;
    d.variableSlots = 60;
    return d;
}

std::string wideNames()
{
    std::string out;
    for (int i = 0; i < 60; ++i)
        out += (i ? ",DESIGNATION_NUMERO_" : "DESIGNATION_NUMERO_") + std::to_string(100 + i);
    return out;
}

const DefinitionCase definitionCases[] = {
    layingOut("two_columns", Definition{}, "ARTICLE,Id",
              [](const TableLayout &t) {
                  EXPECT_TRUE(t.hasVariableColumns);
                  EXPECT_EQ(t.rowCountHint, 1234u);
                  EXPECT_FALSE(t.columns[0].fixed);
                  EXPECT_EQ(t.columns[0].size, 100);
                  EXPECT_TRUE(t.columns[1].fixed);
                  EXPECT_EQ(t.columns[1].type, 0x04);
              }),
    // Columns 1 and 3, two text columns, were deleted: the rows keep their
    // slots, so there are more slots (4) than live columns (2). Reading such
    // a table as damaged left real users with an empty window.
    layingOut("more_slots_than_live_columns", with([](Definition &d) {
                  d.numbersUsed = 5;
                  d.variableSlots = 4;
                  d.entries = {{0x0A, 0, 0, false, 0, 100, "ARTICLE"}, {0x0C, 4, 3, false, 0, 0, "NOTE"}};
              }),
              "ARTICLE,NOTE", [](const TableLayout &t) { EXPECT_EQ(t.columns[1].varIndex, 3); }),
    layingOut("every_live_column_fixed_after_text_columns_went", with([](Definition &d) {
                  d.numbersUsed = 3;
                  d.variableSlots = 2;
                  d.entries = {{0x04, 2, 0, true, 0, 4, "Id"}};
              }),
              "Id", [](const TableLayout &t) { EXPECT_TRUE(t.hasVariableColumns); }),
    // Precision first, scale second: Numeric(18,4), not (4,18).
    layingOut("numeric_precision_then_scale", with([](Definition &d) {
                  d.entries[1] = {0x10, 1, 0, true, 0, 17, "PRIX", 18, 4};
              }),
              "ARTICLE,PRIX",
              [](const TableLayout &t) {
                  EXPECT_EQ(t.columns[1].precision, 18);
                  EXPECT_EQ(t.columns[1].scale, 4);
              }),
    layingOut("real_index_entries_before_the_columns", with([](Definition &d) { d.realIndexes = 3; }), "ARTICLE,Id"),
    layingOut("entries_in_the_order_columns_were_made", with([](Definition &d) {
                  std::swap(d.entries[0], d.entries[1]);
              }),
              "ARTICLE,Id"),
    {"definition_over_two_pages", [](PageFixture &f) { layDefinition(f, wide().bytes(), {4}); }, wideNames()},

    layingOut("no_column", with([](Definition &d) { d.entries.clear(); }), std::nullopt),
    layingOut("more_columns_than_numbers_used", with([](Definition &d) { d.numbersUsed = 1; }), std::nullopt),
    layingOut("column_number_beyond_those_used", with([](Definition &d) { d.entries[1].number = 2; }), std::nullopt),
    layingOut("two_columns_with_one_number", with([](Definition &d) { d.entries[1].number = 0; }), std::nullopt),
    layingOut("column_count_beyond_the_entries", with([](Definition &d) {
                  d.numbersUsed = 200;
                  d.columnCount = 200;
              }),
              std::nullopt),
    layingOut("index_count_beyond_the_definition", with([](Definition &d) { d.realIndexes = 0xFFFFFFFF; }),
              std::nullopt),
    layingOut("usage_map_on_a_page_beyond_the_file", with([](Definition &d) { d.usageMap = 0x4000 << 8; }),
              std::nullopt),
    layingOut("usage_map_row_missing", with([](Definition &d) { d.usageMap = (mapHolderPage << 8) | 1; }),
              std::nullopt),
    layingOut("usage_map_on_a_definition_page", with([](Definition &d) { d.usageMap = definitionPage << 8; }),
              std::nullopt),
    {"name_length_beyond_the_definition",
     [](PageFixture &f) {
         std::string def = Definition{}.bytes();
         put16(def, 63 + 2 * 25, 0xFFF0);
         layDefinition(f, def);
         // The page's other bytes must not pass for the rest of the name.
         std::fill(f.bytes().begin() + definitionPage * fixturePageSize + static_cast<long>(def.size()),
                   f.bytes().begin() + (definitionPage + 1) * fixturePageSize, 'A');
     },
     std::nullopt},
    {"next_page_beyond_the_file",
     [](PageFixture &f) {
         layDefinition(f, wide().bytes(), {4});
         put32(f.bytes(), definitionPage * fixturePageSize + 4, 40);
     },
     std::nullopt},
    {"next_page_loops_back",
     [](PageFixture &f) {
         layDefinition(f, wide().bytes(), {4});
         put32(f.bytes(), 4 * fixturePageSize + 4, definitionPage);
     },
     std::nullopt},
    {"next_page_is_a_data_page",
     [](PageFixture &f) {
         layDefinition(f, wide().bytes(), {4});
         f.bytes()[4 * fixturePageSize] = 0x01;
     },
     std::nullopt},
    {"first_page_is_no_definition",
     [](PageFixture &f) {
         layDefinition(f, Definition{}.bytes());
         f.bytes()[definitionPage * fixturePageSize] = 0x01;
     },
     std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Definitions, TableDefinitionTest, ::testing::ValuesIn(definitionCases),
                         [](const auto &info) { return std::string(info.param.name); });

struct HeaderCase {
    const char *name;
    std::function<void(std::string &)> change;
    std::optional<FileFormat> format;
};

void PrintTo(const HeaderCase &c, std::ostream *os) { *os << c.name; }

class FileHeaderTest : public ::testing::TestWithParam<HeaderCase> {};

// A first page with its settings masked, as a file holds it.
std::string headerPage(unsigned version, std::uint16_t codePage, const char *kind = "Standard Jet DB")
{
    std::string page(headerBytes, '\0');
    page[1] = 0x01;
    page.replace(4, 15, kind);
    page[0x14] = static_cast<char>(version);
    put16(page, 0x3C, codePage);
    toggleHeaderMask(reinterpret_cast<unsigned char *>(page.data()), version == 0);
    return page;
}

TEST_P(FileHeaderTest, NamesTheFormatOrRefusesTheFile)
{
    const HeaderCase &c = GetParam();
    std::string page = headerPage(1, 1252);
    c.change(page);
    const auto format = readHeader(reinterpret_cast<const unsigned char *>(page.data()), page.size());
    if (!c.format) {
        EXPECT_EQ(format.status(), Status::NotADatabase);
        return;
    }
    ASSERT_TRUE(format.ok());
    EXPECT_EQ(format.value().jet3, c.format->jet3);
    EXPECT_EQ(format.value().pageSize, c.format->pageSize);
    EXPECT_EQ(format.value().codePage, c.format->codePage);
}

const HeaderCase headerCases[] = {
    {"jet4", [](std::string &) {}, FileFormat{false, 4096, 1252}},
    {"jet3_cyrillic", [](std::string &p) { p = headerPage(0, 1251); }, FileFormat{true, 2048, 1251}},
    {"ace_2019", [](std::string &p) { p = headerPage(6, 1252, "Standard ACE DB"); }, FileFormat{false, 4096, 1252}},
    {"unknown_version", [](std::string &p) { p = headerPage(7, 1252); }, std::nullopt},
    {"other_kind_of_file", [](std::string &p) { p.replace(4, 15, "Standard Jet XX"); }, std::nullopt},
    {"cut_short", [](std::string &p) { p.resize(headerBytes - 1); }, std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Headers, FileHeaderTest, ::testing::ValuesIn(headerCases),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace jet_engine
