// The row walk: which rows a data page lists, in what order, and which
// shapes of moved rows are damage. Pages are laid out by hand.

#include "jet_engine/format/page_source.h"
#include "jet_engine/format/row_cursor.h"
#include "jet_engine/format/usage_map.h"
#include "page_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace jet_engine {
namespace {

using namespace testing_support;

constexpr std::uint32_t owner = 2;

struct WalkCase {
    const char *name;
    std::function<void(PageFixture &)> lay;
    std::vector<std::uint32_t> dataPages;
    // The rows listed, in order; nothing when the walk must find damage.
    std::optional<std::vector<std::string>> rows;
};

void PrintTo(const WalkCase &c, std::ostream *os) { *os << c.name; }

class RowWalkTest : public ::testing::TestWithParam<WalkCase> {};

TEST_P(RowWalkTest, ListsRowsInJetOrder)
{
    const WalkCase &c = GetParam();
    PageFixture file(8);
    c.lay(file);
    PageSource *pages = file.open();
    ASSERT_NE(pages, nullptr);
    RowCursor cursor(*pages, FileFormat{}, owner, c.dataPages);
    std::vector<std::string> listed;
    RowCursor::Step step;
    while ((step = cursor.next()) == RowCursor::Step::Row)
        listed.emplace_back(reinterpret_cast<const char *>(cursor.row()), cursor.rowSize());
    if (c.rows) {
        EXPECT_EQ(step, RowCursor::Step::End);
        EXPECT_EQ(listed, *c.rows);
    } else {
        EXPECT_EQ(step, RowCursor::Step::Damaged);
    }
}

const WalkCase walkCases[] = {
    // Access moves a row that grew to another page and leaves a pointer at
    // its home. Jet lists it at home; the moved data (0x8000, like a deleted
    // row) is not listed where it lies. libmdb and mdb-export skip the home
    // and list the data where it lies, which changes the order.
    {"moved_row_listed_at_home",
     [](PageFixture &f) {
         f.rowPage(3, owner, {{"first"}, {pointerTo(4, 1), movedHome}, {"third"}});
         f.rowPage(4, owner, {{"fourth"}, {"second, grown", movedData}, {"fifth"}});
     },
     {3, 4},
     std::vector<std::string>{"first", "second, grown", "third", "fourth", "fifth"}},
    {"deleted_rows_carry_both_flags_and_are_skipped",
     [](PageFixture &f) { f.rowPage(3, owner, {{"gone", deletedRow}, {"kept"}, {"gone too", deletedRow}}); },
     {3},
     std::vector<std::string>{"kept"}},
    {"moved_twice_followed_to_the_end",
     [](PageFixture &f) {
         f.rowPage(3, owner, {{pointerTo(4, 0), movedHome}});
         f.rowPage(4, owner, {{pointerTo(5, 0), movedHome | movedData}});
         f.rowPage(5, owner, {{"far away", movedData}});
     },
     {3},
     std::vector<std::string>{"far away"}},
    {"pages_of_another_table_skipped",
     [](PageFixture &f) {
         f.rowPage(3, owner + 1, {{"not ours"}});
         f.rowPage(4, owner, {{"ours"}});
     },
     {3, 4},
     std::vector<std::string>{"ours"}},
    {"empty_page_lists_nothing", [](PageFixture &f) { f.rowPage(3, owner, {}); }, {3}, std::vector<std::string>{}},
    {"pointer_beyond_the_file",
     [](PageFixture &f) { f.rowPage(3, owner, {{pointerTo(9000, 0), movedHome}}); },
     {3},
     std::nullopt},
    {"pointer_to_a_row_the_page_lacks",
     [](PageFixture &f) {
         f.rowPage(3, owner, {{pointerTo(4, 7), movedHome}});
         f.rowPage(4, owner, {{"only row", movedData}});
     },
     {3},
     std::nullopt},
    {"pointer_to_a_page_that_holds_no_rows",
     [](PageFixture &f) {
         f.rowPage(3, owner, {{pointerTo(5, 0), movedHome}});
         f.bitmapPage(5, {});
     },
     {3},
     std::nullopt},
    {"pointers_that_loop",
     [](PageFixture &f) {
         f.rowPage(3, owner, {{pointerTo(4, 0), movedHome}});
         f.rowPage(4, owner, {{pointerTo(3, 0), movedHome | movedData}});
     },
     {3},
     std::nullopt},
    {"pointer_to_itself",
     [](PageFixture &f) { f.rowPage(3, owner, {{pointerTo(3, 0), movedHome}}); },
     {3},
     std::nullopt},
    {"home_too_short_for_a_pointer",
     [](PageFixture &f) { f.rowPage(3, owner, {{"abc", movedHome}}); },
     {3},
     std::nullopt},
    {"row_offset_past_the_page",
     [](PageFixture &f) {
         f.rowPage(3, owner, {{"row"}});
         put16(f.bytes(), 3 * fixturePageSize + 14, 0x1FF0);
     },
     {3},
     std::nullopt},
    {"row_offset_inside_the_offset_table",
     [](PageFixture &f) {
         f.rowPage(3, owner, {{"row"}});
         put16(f.bytes(), 3 * fixturePageSize + 14, 10);
     },
     {3},
     std::nullopt},
    {"row_count_past_the_page",
     [](PageFixture &f) {
         f.rowPage(3, owner, {{"row"}});
         put16(f.bytes(), 3 * fixturePageSize + 12, 3000);
     },
     {3},
     std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Pages, RowWalkTest, ::testing::ValuesIn(walkCases),
                         [](const auto &info) { return std::string(info.param.name); });

struct MapCase {
    const char *name;
    std::function<std::vector<std::uint8_t>(PageFixture &)> lay;
    std::optional<std::vector<std::uint32_t>> pages; // nothing: a damaged map
};

void PrintTo(const MapCase &c, std::ostream *os) { *os << c.name; }

class UsageMapTest : public ::testing::TestWithParam<MapCase> {};

TEST_P(UsageMapTest, NamesThePagesOrFindsDamage)
{
    const MapCase &c = GetParam();
    PageFixture file(8);
    const std::vector<std::uint8_t> map = c.lay(file);
    PageSource *pages = file.open();
    ASSERT_NE(pages, nullptr);
    EXPECT_EQ(usageMapPages(map, *pages), c.pages);
}

// An inline map: kind 0, the first page, then one bit per page from there.
std::vector<std::uint8_t> inlineMap(std::uint32_t first, std::vector<std::uint8_t> bits)
{
    std::vector<std::uint8_t> map{0x00, static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(first >> 8), 0, 0};
    map.insert(map.end(), bits.begin(), bits.end());
    return map;
}

const MapCase mapCases[] = {
    {"inline_from_its_start_page", [](PageFixture &) { return inlineMap(3, {0b101, 0}); },
     std::vector<std::uint32_t>{3, 5}},
    {"inline_bit_beyond_the_file", [](PageFixture &) { return inlineMap(3, {0, 0b1}); }, std::nullopt},
    // A reference map: kind 1, then pointers to bitmap pages, the n-th
    // covering the n-th window of (page size - 4) * 8 pages.
    {"reference_map",
     [](PageFixture &f) {
         f.bitmapPage(6, {2, 7});
         return std::vector<std::uint8_t>{0x01, 6, 0, 0, 0, 0, 0, 0, 0};
     },
     std::vector<std::uint32_t>{2, 7}},
    {"reference_to_a_page_that_is_no_bitmap",
     [](PageFixture &f) {
         f.rowPage(6, owner, {});
         return std::vector<std::uint8_t>{0x01, 6, 0, 0, 0};
     },
     std::nullopt},
    {"reference_beyond_the_file", [](PageFixture &) { return std::vector<std::uint8_t>{0x01, 0x40, 0, 0, 0}; },
     std::nullopt},
    {"second_window_beyond_a_small_file",
     [](PageFixture &f) {
         f.bitmapPage(6, {0});
         return std::vector<std::uint8_t>{0x01, 0, 0, 0, 0, 6, 0, 0, 0};
     },
     std::nullopt},
    {"unknown_kind", [](PageFixture &) { return std::vector<std::uint8_t>{0x02, 0, 0, 0, 0}; }, std::nullopt},
    {"empty", [](PageFixture &) { return std::vector<std::uint8_t>{}; }, std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Maps, UsageMapTest, ::testing::ValuesIn(mapCases),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace jet_engine
