// The grid's account of the selected rows against the plainest one: a flag
// a row, after the same random changes, at the ends of the range of rows
// as well as inside it.

#include "search_window/win32/selected_rows.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <vector>

using search_window::SelectedRows;

namespace {

std::vector<bool> flags(const SelectedRows &selected, std::size_t rows)
{
    std::vector<bool> shown(rows, false);
    for (const SelectedRows::Range &range : selected.ranges()) {
        EXPECT_LE(range.first, range.last);
        for (std::size_t row = range.first; row <= range.last && row < rows; ++row)
            shown[row] = true;
    }
    return shown;
}

} // namespace

TEST(SelectedRows, AgreesWithAFlagARowAfterRandomChanges)
{
    constexpr std::size_t rows = 40;
    std::mt19937 random(20261210);
    for (int trial = 0; trial < 200; ++trial) {
        SelectedRows selected;
        std::vector<bool> expected(rows, false);
        for (int change = 0; change < 30; ++change) {
            const std::size_t a = random() % rows, b = random() % rows;
            const bool on = random() % 3 != 0;
            if (random() % 10 == 0) {
                selected.selectAll(rows);
                expected.assign(rows, true);
            } else {
                selected.set(a, b, on);
                for (std::size_t row = std::min(a, b); row <= std::max(a, b); ++row)
                    expected[row] = on;
            }
            ASSERT_EQ(flags(selected, rows), expected) << "trial " << trial << " change " << change;
            std::size_t count = 0;
            for (std::size_t row = 0; row < rows; ++row) {
                ASSERT_EQ(selected.contains(row), expected[row]) << "row " << row;
                count += expected[row];
            }
            ASSERT_EQ(selected.count(), count);
            // Neither overlapping nor touching.
            for (std::size_t i = 1; i < selected.ranges().size(); ++i)
                ASSERT_LT(selected.ranges()[i - 1].last + 1, selected.ranges()[i].first);
        }
    }
}

// Row numbers at the top of the type's range once wrapped round to zero
// when a range's neighbour was looked for.
TEST(SelectedRows, RowsAtTheEndOfTheRange)
{
    constexpr std::size_t top = std::numeric_limits<std::size_t>::max();
    SelectedRows selected;
    selected.set(top - 5, top, true);
    selected.set(top - 2, false);
    ASSERT_EQ(selected.ranges().size(), 2u);
    EXPECT_EQ(selected.ranges()[0].last, top - 3);
    EXPECT_EQ(selected.ranges()[1].first, top - 1);
    selected.set(0, 3, true);
    selected.set(top - 2, true);
    ASSERT_EQ(selected.ranges().size(), 2u);
    EXPECT_EQ(selected.ranges()[1].first, top - 5);
    EXPECT_EQ(selected.ranges()[1].last, top);
}
