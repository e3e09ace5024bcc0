#pragma once
// Which rows of a column hold each pair of adjacent folded bytes, so that a
// search for "*literal*" reads the few rows that can match instead of the
// whole column. Postings are kept as varint deltas of row numbers: at a
// million rows plain 32-bit numbers would cost more than the column itself.
// A pair held by more than one row in eight is kept as a bitmap of all rows
// instead, which is then smaller.

#include "jet_engine/pool/worker_pool.h"
#include "jet_engine/search/row_lists.h"
#include "jet_engine/search/search_text.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace jet_engine {

class BigramIndex {
public:
    // Null when the postings would not fit 32-bit offsets, or when `work`
    // is cancelled while building. Built as background work, it gives way
    // to every search (WorkToken::giveWay).
    static std::unique_ptr<const BigramIndex> build(const SearchText &column, const WorkToken *work = nullptr);

    // Rows, ascending, holding the rarest byte pair of `literal` (two bytes
    // or more, folded as the column is): every row that contains the literal,
    // and for a two-byte literal no other; `rows` is replaced.
    void candidates(std::string_view literal, RowList &rows) const;
    // How many rows candidates() gives for `literal`.
    std::uint32_t candidateCount(std::string_view literal) const { return m_count[rarestPair(literal)]; }

private:
    static constexpr std::size_t pairCount = 1 << 16;

    BigramIndex() = default;
    unsigned rarestPair(std::string_view literal) const;
    void decode(unsigned pair, std::vector<std::uint32_t> &rows) const;

    struct Free {
        void operator()(std::uint8_t *bytes) const;
    };

    // Pair p's postings are m_bytes[m_begin[p] .. m_begin[p + 1]).
    std::vector<std::uint32_t> m_begin;
    std::vector<std::uint32_t> m_count;
    std::vector<std::uint8_t> m_dense;
    std::unique_ptr<std::uint8_t[], Free> m_bytes;
};

} // namespace jet_engine
