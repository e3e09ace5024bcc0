#include "jet_engine/tables/snapshot.h"

#include "jet_engine/pool/worker_pool.h"
#include "jet_engine/search/bigram_index.h"
#include "jet_engine/search/find_bytes.h"
#include "jet_engine/search/find_rows.h"
#include "jet_engine/query/like_pattern.h"

#include <algorithm>

namespace jet_engine {

namespace {

// Below these a worker's help (atOnce) costs more than it saves: the column
// scanned or the candidates checked alone take under a millisecond.
constexpr std::size_t halvedBytes = 4 << 20;
constexpr std::size_t halvedCandidates = 1 << 13;
// A literal longer than a pair is looked for in each candidate row where it
// lies, a wait on memory or two each: past one row in this many, one pass
// over the whole column costs less (measured from a million rows to 35
// million).
constexpr std::size_t scannedPast = 32;

// `found` without the rows whose folding is another, with those of them
// that hold the needle instead, in order: in place, the few rows of other
// folds moved, an answer of millions of rows neither copied nor made anew.
void withOtherFolds(RowList &found, const OtherFolds &others, std::string_view needle)
{
    std::vector<std::uint32_t> hits;
    findRows(others.bytes.data(), others.bytes.size(), needle, 0, hits, false);
    for (std::uint32_t &hit : hits)
        hit = others.rows[hit];
    auto other = others.rows.begin();
    const auto kept = std::remove_if(found.begin(), found.end(), [&](std::uint32_t row) {
        while (other != others.rows.end() && *other < row)
            ++other;
        return other != others.rows.end() && *other == row;
    });
    found.erase(kept, found.end());
    // Merged from the back, into room made at the end.
    std::size_t from = found.size();
    std::size_t hit = hits.size();
    found.resize(found.size() + hits.size());
    for (std::size_t to = found.size(); hit > 0; --to) {
        if (from > 0 && found[from - 1] > hits[hit - 1])
            found[to - 1] = found[--from];
        else
            found[to - 1] = hits[--hit];
    }
}

RowList scanForLiteral(const SearchText &text, std::string_view needle, WorkerPool *pool, RowLists *lists)
{
    const std::vector<std::uint8_t> &nulls = *text.nulls;
    RowList rows = takeRows(lists, nulls.size());
    if (needle.empty()) {
        for (std::size_t row = 0; row < nulls.size(); ++row)
            if (!nulls[row])
                rows.push_back(static_cast<std::uint32_t>(row));
        return rows;
    }
    const char *bytes = text.bytes.data();
    const std::size_t size = text.bytes.size();
    if (size < halvedBytes) {
        findRows(bytes, size, needle, 0, rows, true);
    } else {
        // Split where a row starts, so that each half counts whole rows.
        const auto middle = static_cast<std::uint32_t>(nulls.size() / 2);
        const std::size_t split = text.starts[middle];
        ScratchRows later(lists, nulls.size());
        WorkerPool::atOnce(pool, [&] { findRows(bytes, split, needle, 0, rows, true); },
               [&] { findRows(bytes + split, size - split, needle, middle, *later, true); });
        rows.insert(rows.end(), later->begin(), later->end());
    }
    if (!text.others->rows.empty())
        withOtherFolds(rows, *text.others, needle);
    return rows;
}

// Keeps those of `count` candidate rows that really contain the literal,
// packed at the front; how many.
std::size_t keepHolding(const SearchText &text, std::uint32_t *rows, std::size_t count, std::string_view needle)
{
    const char *base = text.bytes.data();
    const std::uint32_t *starts = text.starts;
    RowFolder folded(text);
    // Candidates lie scattered over the whole column, and each would wait
    // on memory twice (its start, then its bytes); asking for both some rows
    // ahead keeps many of those waits in flight at once.
    constexpr std::size_t startsAhead = 32;
    constexpr std::size_t bytesAhead = 16;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (i + startsAhead < count)
            __builtin_prefetch(starts + rows[i + startsAhead]);
        if (i + bytesAhead < count)
            __builtin_prefetch(base + starts[rows[i + bytesAhead]]);
        const std::uint32_t row = rows[i];
        if (folded.holds(row, needle))
            rows[kept++] = row;
    }
    return kept;
}

// Keeps the candidate rows that really contain the literal, in place.
RowList verifyCandidates(const SearchText &text, RowList rows, std::string_view needle, WorkerPool *pool)
{
    if (needle.size() == 2)
        return rows;
    if (rows.size() < halvedCandidates) {
        rows.resize(keepHolding(text, rows.data(), rows.size(), needle));
        return rows;
    }
    // Each half packs its own rows; the second's then follow the first's.
    const std::size_t half = rows.size() / 2;
    std::size_t firstKept = 0;
    std::size_t secondKept = 0;
    WorkerPool::atOnce(pool, [&] { firstKept = keepHolding(text, rows.data(), half, needle); },
           [&] { secondKept = keepHolding(text, rows.data() + half, rows.size() - half, needle); });
    std::copy(rows.begin() + static_cast<std::ptrdiff_t>(half),
              rows.begin() + static_cast<std::ptrdiff_t>(half + secondKept),
              rows.begin() + static_cast<std::ptrdiff_t>(firstKept));
    rows.resize(firstKept + secondKept);
    return rows;
}

} // namespace

RowList selectRows(const Snapshot &snapshot, std::size_t column, const LikePattern &pattern, WorkerPool *pool,
                   RowLists *lists)
{
    const WorkerPool::Foreground searching(pool);
    if (snapshot.pieced(column)) {
        // The base's rows through its index, the few rows read anew by a scan.
        const RowPatch &patch = *snapshot.patch();
        return patch.merge(selectRows(*patch.base, column, pattern, pool, lists),
                           selectText(snapshot.searchText(column), pattern, pool));
    }
    const SearchText text = snapshot.searchText(column);
    if (const auto literal = pattern.containedLiteral(); literal && literal->size() >= 2)
        if (const BigramIndex *index = snapshot.bigramsIfReady(column);
            index && (literal->size() == 2 || index->candidateCount(*literal) <= text.rows() / scannedPast)) {
            RowList rows = takeRows(lists, text.rows());
            index->candidates(*literal, rows);
            return verifyCandidates(text, std::move(rows), *literal, pool);
        }
    return selectText(text, pattern, pool, lists);
}

RowList selectText(const SearchText &text, const LikePattern &pattern, WorkerPool *pool, RowLists *lists)
{
    if (const auto literal = pattern.containedLiteral())
        return scanForLiteral(text, *literal, pool, lists);
    const std::vector<std::uint8_t> &nulls = *text.nulls;
    RowList rows = takeRows(lists, nulls.size());
    RowFolder folded(text);
    for (std::uint32_t row = 0; row < nulls.size(); ++row)
        if (!nulls[row] && pattern.matches(folded(row)))
            rows.push_back(row);
    return rows;
}

} // namespace jet_engine
