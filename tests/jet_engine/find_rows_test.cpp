#include "jet_engine/search/find_rows.h"

#include "jet_engine/search/row_lists.h"
#include "jet_engine/search/search_text.h"
#include "jet_engine/search/simd_dispatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace jet_engine {
namespace {

using RowFinder = void (*)(const char *, std::size_t, std::string_view, std::uint32_t, std::vector<std::uint32_t> &,
                           bool);

struct Variant {
    const char *name;
    RowFinder find;
    bool available;
};

std::vector<Variant> variants()
{
    return {{"portable", kernelsAt(SimdLevel::Portable).findRows, true},
            {"sse2", kernelsAt(SimdLevel::Sse2).findRows, processorHas(SimdLevel::Sse2)},
            {"avx2", kernelsAt(SimdLevel::Avx2).findRows, processorHas(SimdLevel::Avx2)},
            {"picked", findRows, true}};
}

// Values split at each separator, folded as read when asked, and searched
// one by one.
std::vector<std::uint32_t> rowsHolding(const std::string &values, const std::string &needle, std::uint32_t firstRow,
                                       bool asRead)
{
    std::vector<std::uint32_t> rows;
    std::uint32_t row = firstRow;
    std::string folded;
    for (std::size_t from = 0; from < values.size(); ++row) {
        const std::size_t end = std::min(values.find(valueSeparator, from), values.size());
        folded = values.substr(from, end - from);
        if (asRead)
            foldAsRead(values.substr(from, end - from), folded);
        if (folded.find(needle) != std::string::npos)
            rows.push_back(row);
        from = end + 1;
    }
    return rows;
}

// Rows a vector or two long, many hits a row, hits at a row's very end and
// next to the separator, Latin-1 capitals cut by a vector's edge, and a
// caller's row already in the list that equals our first: each variant must
// count rows exactly as splitting them would, folded as read or not.
TEST(FindRowsTest, EveryVariantFindsTheRowsASplitFinds)
{
    // Folded as read, É is é and a, A are one; × (C3 97) and ß (C3 9F) stay
    // themselves, and a byte after another lead than C3 is never changed.
    static const char *const pieces[] = {"a", "b", "A", "B", "\xC3\x89", "\xC3\xA9", "\xC3\x97", "\xC3\x9F", "\xC2\x89"};
    static const char *const needlePieces[] = {"a", "b", "\xC3\xA9", "\xC3\x97", "\x89"};
    std::mt19937 random(20261210);
    std::uniform_int_distribution<std::size_t> piece(0, std::size(pieces) - 1);
    std::uniform_int_distribution<std::size_t> needlePiece(0, std::size(needlePieces) - 1);
    std::uniform_int_distribution<int> rowLength(0, 50);
    std::uniform_int_distribution<std::size_t> rowCount(0, 12);
    std::uniform_int_distribution<std::size_t> needleLength(1, 4);
    for (int round = 0; round < 4000; ++round) {
        const bool asRead = round % 4 >= 2;
        std::string values;
        for (std::size_t row = rowCount(random); row > 0; --row) {
            for (int i = rowLength(random); i > 0; --i)
                values += asRead ? pieces[piece(random)] : pieces[piece(random) % 2];
            values += valueSeparator;
        }
        std::string needle;
        for (std::size_t n = needleLength(random); n > 0; --n)
            needle += asRead ? needlePieces[needlePiece(random)] : needlePieces[needlePiece(random) % 2];
        const std::uint32_t firstRow = round % 2 ? 7 : 0;
        std::vector<std::uint32_t> expected{firstRow};
        const auto found = rowsHolding(values, needle, firstRow, asRead);
        expected.insert(expected.end(), found.begin(), found.end());
        for (const Variant &variant : variants()) {
            if (!variant.available)
                continue;
            std::vector<std::uint32_t> rows{firstRow};
            variant.find(values.data(), values.size(), needle, firstRow, rows, asRead);
            ASSERT_EQ(rows, expected) << variant.name << (asRead ? " as read" : "") << " in " << values.size()
                                      << " bytes";
        }
    }
}

// A row is folded sixteen bytes at a time when an index search checks it:
// the same bytes as one at a time, a Latin-1 capital cut by the vector's
// edge included.
TEST(FindRowsTest, RowsFoldAsReadAsTheirBytesDo)
{
    static const char *const pieces[] = {"A", "z", "\xC3\x89", "\xC3\x97", "\xC3\x9E", "\xC3\x9F", "\xC2\x89", "@", "["};
    std::mt19937 random(20261211);
    std::uniform_int_distribution<std::size_t> piece(0, std::size(pieces) - 1);
    std::string folded;
    for (int round = 0; round < 500; ++round) {
        std::string value;
        for (int i = round % 60; i > 0; --i)
            value += pieces[piece(random)];
        foldAsRead(value, folded);
        std::string expected = value;
        unsigned char previous = static_cast<unsigned char>(valueSeparator);
        for (char &c : expected) {
            const auto byte = static_cast<unsigned char>(c);
            c = static_cast<char>(foldByteAsRead(byte, previous));
            previous = byte;
        }
        ASSERT_EQ(folded, expected) << value;
    }
}

// A keystroke's rows are written where an answer let go of left room, so
// that they take no fresh pages: the room comes back when the answer's last
// owner drops it, the most room is handed out first, and only a few lists
// wait, the one with the least room dropped.
TEST(RowListsTest, HandsBackTheRoomOfAnswersLetGo)
{
    const auto lists = std::make_shared<RowLists>();
    auto shown = lists->share(RowList(1000, 7));
    auto kept = shown;
    shown.reset();
    EXPECT_EQ(lists->take(0).capacity(), 0u) << "still shown";

    const std::uint32_t *room = kept->data();
    kept.reset();
    RowList taken = lists->take(0);
    EXPECT_TRUE(taken.empty());
    EXPECT_EQ(taken.data(), room);

    // One more than are kept: the one with the least room is dropped.
    std::vector<std::size_t> rooms{5000};
    for (std::size_t i = 1; i < RowLists::kept + 1; ++i)
        rooms.push_back(10 * i);
    for (const std::size_t rows : rooms) {
        RowList list;
        list.reserve(rows);
        lists->give(std::move(list));
    }
    for (std::size_t i = 0; i < RowLists::kept; ++i)
        EXPECT_GE(lists->take(0).capacity(), rooms[i == 0 ? 0 : rooms.size() - i]) << i;
    EXPECT_EQ(lists->take(0).capacity(), 0u);
}

} // namespace
} // namespace jet_engine
