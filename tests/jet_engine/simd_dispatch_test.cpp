#include "jet_engine/search/simd_dispatch.h"

#include "jet_engine/search/search_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace jet_engine {
namespace {

struct Level {
    const char *name;
    SimdLevel level;
};

constexpr Level levels[] = {{"portable", SimdLevel::Portable}, {"sse2", SimdLevel::Sse2}, {"avx2", SimdLevel::Avx2}};

// Folded as read, É is é and a, A are one; × (C3 97) and ß (C3 9F) stay
// themselves, and a byte after another lead than C3 is never changed.
constexpr const char *pieces[] = {"a", "b", "A", "B", "\xC3\x89", "\xC3\xA9", "\xC3\x97", "\xC3\x9F", "\xC2\x89"};

std::string foldedByteByByte(const std::string &value)
{
    std::string folded = value;
    unsigned char previous = static_cast<unsigned char>(valueSeparator);
    for (char &c : folded) {
        const auto byte = static_cast<unsigned char>(c);
        c = static_cast<char>(foldByteAsRead(byte, previous));
        previous = byte;
    }
    return folded;
}

TEST(SimdDispatchTest, PicksTheWidestLevelTheProcessorHas)
{
    EXPECT_TRUE(processorHas(pickedKernels.level));
    for (const Level &wider : levels) {
        if (wider.level > pickedKernels.level) {
            EXPECT_FALSE(processorHas(wider.level)) << wider.name;
        }
    }
}

// Values of every length up to a few vectors, so that a Latin-1 capital
// falls across each vector's edge.
TEST(SimdDispatchTest, EveryLevelFoldsAsReadAsTheBytesDo)
{
    std::mt19937 random(20261212);
    std::uniform_int_distribution<std::size_t> piece(0, std::size(pieces) - 1);
    std::string folded;
    for (int round = 0; round < 600; ++round) {
        std::string value;
        for (int i = round % 100; i > 0; --i)
            value += pieces[piece(random)];
        const std::string expected = foldedByteByByte(value);
        for (const Level &level : levels) {
            if (!processorHas(level.level))
                continue;
            kernelsAt(level.level).foldAsRead(value, folded);
            ASSERT_EQ(folded, expected) << level.name << " on " << value;
        }
    }
}

// Values packed as in a column's text, each checked where it lies: a vector
// may read on past a value into the next ones, never past the text's end,
// which the last values stop short of (the buffer is exactly the text, so
// that AddressSanitizer sees a read past it). Needles of Latin-1 letters
// make the first byte's test inexact, and every place is compared.
TEST(SimdDispatchTest, EveryLevelFindsWhatTheValueFoldedHolds)
{
    static const char *const needlePieces[] = {"a", "b", "\xC3\xA9", "\xC3\x97", "\x89"};
    std::mt19937 random(20261213);
    std::uniform_int_distribution<std::size_t> piece(0, std::size(pieces) - 1);
    std::uniform_int_distribution<std::size_t> needlePiece(0, std::size(needlePieces) - 1);
    std::uniform_int_distribution<int> rowLength(0, 50);
    std::uniform_int_distribution<int> rowCount(1, 6);
    std::uniform_int_distribution<int> needleLength(1, 4);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        std::vector<std::size_t> starts;
        for (int row = rowCount(random); row > 0; --row) {
            starts.push_back(text.size());
            for (int i = rowLength(random); i > 0; --i)
                text += pieces[piece(random)];
            text += valueSeparator;
        }
        starts.push_back(text.size());
        const std::vector<char> column(text.begin(), text.end());
        std::string needle;
        while (needle.size() < 2)
            for (int n = needleLength(random); n > 0; --n)
                needle += needlePieces[needlePiece(random)];
        for (std::size_t row = 0; row + 1 < starts.size(); ++row) {
            const std::size_t size = starts[row + 1] - 1 - starts[row];
            const bool expected =
                foldedByteByByte(text.substr(starts[row], size)).find(needle) != std::string::npos;
            for (const Level &level : levels) {
                if (!processorHas(level.level))
                    continue;
                ASSERT_EQ(kernelsAt(level.level)
                              .holdsAsRead(column.data() + starts[row], size, column.size() - starts[row], needle),
                          expected)
                    << level.name << ": row " << row << " of " << text << " for " << needle;
            }
        }
    }
}

} // namespace
} // namespace jet_engine
