#pragma once
// Lists of row numbers kept from one search to the next. An answer of a
// quarter of a million rows is a megabyte; taken fresh at every keystroke,
// each of its pages is a fault the first time it is written, which costs
// more than finding the rows. A list the grid lets go of comes back here
// with its room, and the next search writes into memory already mapped.
// Each list has room for a whole table's rows from the start: only the
// pages its answers reach are ever touched, so the memory follows the
// largest answer given so far, and a list never moves as it grows.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace jet_engine {

using RowList = std::vector<std::uint32_t>;

class RowLists : public std::enable_shared_from_this<RowLists> {
public:
    // Lists kept, at most: a search writes its answer and its second half's,
    // while the answer shown and the one before it may still be held by the
    // window; fewer, and every keystroke would free a list and the next take
    // a fresh one.
    static constexpr std::size_t kept = 3;

    RowLists() { m_free.reserve(kept); }

    // An empty list with room for `rows` rows: the one with the most room of
    // those kept, made larger when that is too small.
    RowList take(std::size_t rows);
    // Keeps `rows`' room when fewer than `kept` wait, else the smallest goes.
    // Never allocates: it runs where a result is let go of.
    void give(RowList rows);
    // `rows` owned by whoever holds the result, given back here when the
    // last of them lets go.
    std::shared_ptr<const RowList> share(RowList rows);

private:
    std::mutex m_mutex;
    std::vector<RowList> m_free;
};

// A list from `lists` with room for `rows` rows; a fresh empty one without.
inline RowList takeRows(RowLists *lists, std::size_t rows) { return lists ? lists->take(rows) : RowList(); }

// A list taken as takeRows does, given back when it goes out of scope.
class ScratchRows {
public:
    ScratchRows(RowLists *lists, std::size_t rows) : m_lists(lists), m_rows(takeRows(lists, rows)) {}
    ~ScratchRows()
    {
        if (m_lists)
            m_lists->give(std::move(m_rows));
    }
    ScratchRows(const ScratchRows &) = delete;
    ScratchRows &operator=(const ScratchRows &) = delete;

    RowList &operator*() { return m_rows; }
    RowList *operator->() { return &m_rows; }

private:
    RowLists *m_lists;
    RowList m_rows;
};

} // namespace jet_engine
