#include "jet_engine/search/bigram_index.h"

#include "jet_engine/platform/huge_pages.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <limits>

namespace jet_engine {

namespace {

constexpr std::uint32_t noRow = std::numeric_limits<std::uint32_t>::max();

unsigned varintSize(std::uint32_t value)
{
    unsigned size = 1;
    while (value >= 0x80) {
        value >>= 7;
        ++size;
    }
    return size;
}

// False when cancelled; waits while a search runs, which scans the same
// column faster alone.
bool keepBuilding(const WorkToken *work) { return !work || work->giveWay(); }

// Calls visit(pair, row, previous row holding the pair) once per distinct
// pair of each row's folded text. False when cancelled on the way.
template <typename Visit>
bool forEachRowPair(const SearchText &text, std::vector<std::uint32_t> &lastRow, const WorkToken *work, Visit visit)
{
    RowFolder folded(text);
    const auto rows = static_cast<std::uint32_t>(text.rows());
    for (std::uint32_t row = 0; row < rows; ++row) {
        if ((row & 0x7FF) == 0 && !keepBuilding(work))
            return false;
        const std::string_view value = folded(row);
        for (std::size_t i = 0; i + 1 < value.size(); ++i) {
            const unsigned pair = (static_cast<unsigned>(static_cast<unsigned char>(value[i])) << 8)
                | static_cast<unsigned char>(value[i + 1]);
            if (lastRow[pair] == row)
                continue;
            visit(pair, row, lastRow[pair]);
            lastRow[pair] = row;
        }
    }
    return true;
}

} // namespace

void BigramIndex::Free::operator()(std::uint8_t *bytes) const { std::free(bytes); }

std::unique_ptr<const BigramIndex> BigramIndex::build(const SearchText &column, const WorkToken *work)
{
    std::unique_ptr<BigramIndex> index(new BigramIndex);
    index->m_count.assign(pairCount, 0);
    std::vector<std::uint64_t> sizes(pairCount, 0);
    std::vector<std::uint32_t> lastRow(pairCount, noRow);
    const bool counted = forEachRowPair(column, lastRow, work, [&](unsigned pair, std::uint32_t row, std::uint32_t last) {
        ++index->m_count[pair];
        sizes[pair] += varintSize(last == noRow ? row : row - last);
    });
    if (!counted)
        return nullptr;

    const std::uint64_t rows = column.rows();
    const std::uint64_t bitmapBytes = (rows + 7) / 8;
    index->m_dense.assign(pairCount, 0);
    for (std::size_t pair = 0; pair < pairCount; ++pair) {
        if (sizes[pair] > bitmapBytes) {
            index->m_dense[pair] = 1;
            sizes[pair] = bitmapBytes;
        }
    }

    std::uint64_t total = 0;
    index->m_begin.resize(pairCount + 1);
    for (std::size_t pair = 0; pair < pairCount; ++pair) {
        index->m_begin[pair] = static_cast<std::uint32_t>(total);
        total += sizes[pair];
    }
    if (total > std::numeric_limits<std::uint32_t>::max())
        return nullptr;
    index->m_begin[pairCount] = static_cast<std::uint32_t>(total);
    // Zeroed by the system as the postings first reach each page, rather
    // than all at once up front: at tens of millions of rows that is most
    // of a gigabyte, whose filling in one go held up the keystrokes typed
    // meanwhile.
    index->m_bytes.reset(static_cast<std::uint8_t *>(std::calloc(std::max<std::uint64_t>(total, 1), 1)));
    if (!index->m_bytes)
        throw std::bad_alloc();
    adviseHugePages(index->m_bytes.get(), total);

    std::vector<std::uint32_t> cursor(index->m_begin.begin(), index->m_begin.end() - 1);
    lastRow.assign(pairCount, noRow);
    std::uint8_t *out = index->m_bytes.get();
    const bool filled = forEachRowPair(column, lastRow, work, [&](unsigned pair, std::uint32_t row, std::uint32_t last) {
        if (index->m_dense[pair]) {
            out[index->m_begin[pair] + row / 8] |= static_cast<std::uint8_t>(1u << (row % 8));
            return;
        }
        std::uint32_t delta = last == noRow ? row : row - last;
        std::uint32_t &at = cursor[pair];
        while (delta >= 0x80) {
            out[at++] = static_cast<std::uint8_t>(delta | 0x80);
            delta >>= 7;
        }
        out[at++] = static_cast<std::uint8_t>(delta);
    });
    if (!filled)
        return nullptr;
    return index;
}

void BigramIndex::decode(unsigned pair, std::vector<std::uint32_t> &rows) const
{
    if (m_dense[pair]) {
        rows.clear();
        rows.reserve(m_count[pair]);
        const std::uint8_t *bits = m_bytes.get() + m_begin[pair];
        const std::size_t size = m_begin[pair + 1] - m_begin[pair];
        for (std::size_t at = 0; at < size; at += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, bits + at, std::min<std::size_t>(8, size - at));
            while (word) {
                rows.push_back(static_cast<std::uint32_t>(at * 8 + static_cast<unsigned>(__builtin_ctzll(word))));
                word &= word - 1;
            }
        }
        return;
    }
    rows.resize(m_count[pair]);
    const std::uint8_t *in = m_bytes.get() + m_begin[pair];
    std::uint32_t row = 0;
    for (std::uint32_t n = 0, count = m_count[pair]; n < count; ++n) {
        std::uint32_t delta = *in & 0x7F;
        for (unsigned shift = 7; *in++ & 0x80; shift += 7)
            delta |= static_cast<std::uint32_t>(*in & 0x7F) << shift;
        row = n == 0 ? delta : row + delta;
        rows[n] = row;
    }
}

unsigned BigramIndex::rarestPair(std::string_view literal) const
{
    const auto pairAt = [&](std::size_t i) {
        return (static_cast<unsigned>(static_cast<unsigned char>(literal[i])) << 8)
            | static_cast<unsigned char>(literal[i + 1]);
    };
    unsigned rarest = pairAt(0);
    for (std::size_t i = 1; i + 1 < literal.size(); ++i)
        if (m_count[pairAt(i)] < m_count[rarest])
            rarest = pairAt(i);
    return rarest;
}

void BigramIndex::candidates(std::string_view literal, RowList &rows) const { decode(rarestPair(literal), rows); }

} // namespace jet_engine
