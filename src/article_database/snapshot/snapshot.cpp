#include "article_database/snapshot/snapshot.h"

#include "article_database/snapshot/bigram_index.h"
#include "article_database/snapshot/find_bytes.h"
#include "article_database/platform/huge_pages.h"
#include "article_database/query/like_pattern.h"
#include "article_database/query/text_fold.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>


namespace article_database {

namespace {
constexpr char rowSeparator = static_cast<char>(0xFF);

// Folds the letters U+00C0..U+00DE (but U+00D7) of text already folded as
// ASCII to U+00E0..U+00FE, which keeps every byte's place; false when the
// text holds any other character beyond ASCII.
bool foldLatin1InPlace(const unsigned char *source, unsigned char *target, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i) {
        if (source[i] < 0x80)
            continue;
        if (source[i] != 0xC3 || i + 1 >= length || (source[i + 1] & 0xC0) != 0x80)
            return false;
        const unsigned char second = source[i + 1];
        target[i + 1] = second >= 0x80 && second <= 0x9E && second != 0x97 ? second + 0x20 : second;
        ++i;
    }
    return true;
}

// Folds row by row: ASCII and Latin-1 letters in place, which keeps every
// byte's place; other rows go through the general folding, which may change
// their length.
void buildFolded(const ColumnValues &values, FoldedColumn &out)
{
    const std::size_t rows = values.rowCount();
    reserveHuge(out.bytes, values.text.size() + rows);
    reserveHuge(out.starts, rows + 1);
    for (std::size_t row = 0; row < rows; ++row) {
        const std::size_t begin = values.offsets[row];
        const std::size_t length = values.nulls[row] ? 0 : values.offsets[row + 1] - begin;
        appendFoldedRow(out, std::string_view(values.text).substr(begin, length));
    }
    out.starts.push_back(static_cast<std::uint32_t>(out.bytes.size()));
}

// Below this a helper thread costs more than it saves: a search of the
// column alone takes well under a millisecond.
constexpr std::size_t halvedBytes = 4 << 20;
constexpr std::size_t halvedCandidates = 1 << 16;

// Runs `first` here and `second` on a helper thread at once: one core alone
// reads memory well below its speed. Each fills its own list; the second's
// is appended to the first's. Both run here when no thread can be had.
template <typename First, typename Second>
void inTwoHalves(std::vector<std::uint32_t> &rows, First first, Second second)
{
    std::vector<std::uint32_t> later;
    std::exception_ptr failed;
    std::thread helper;
    bool helped = false;
    try {
        helper = std::thread([&] {
            try {
                second(later);
            } catch (...) {
                failed = std::current_exception();
            }
        });
        helped = true;
    } catch (const std::system_error &) {
    }
    {
        struct Joiner {
            std::thread &thread;
            ~Joiner()
            {
                if (thread.joinable())
                    thread.join();
            }
        } joiner{helper};
        first(rows);
    }
    if (!helped)
        second(later);
    if (failed)
        std::rethrow_exception(failed);
    rows.insert(rows.end(), later.begin(), later.end());
}

std::vector<std::uint32_t> scanForLiteral(const FoldedColumn &folded, const std::vector<std::uint8_t> &nulls,
                                          std::string_view needle)
{
    std::vector<std::uint32_t> rows;
    if (needle.empty()) {
        for (std::size_t row = 0; row < nulls.size(); ++row)
            if (!nulls[row])
                rows.push_back(static_cast<std::uint32_t>(row));
        return rows;
    }
    const char *bytes = folded.bytes.data();
    const std::size_t size = folded.bytes.size();
    if (size < halvedBytes || folded.starts.size() != nulls.size() + 1) {
        findRows(bytes, size, needle, 0, rows);
        return rows;
    }
    // Split where a row starts, so that each half counts whole rows.
    const auto middle = static_cast<std::uint32_t>(nulls.size() / 2);
    const std::size_t split = folded.starts[middle];
    inTwoHalves(
        rows, [&](std::vector<std::uint32_t> &out) { findRows(bytes, split, needle, 0, out); },
        [&](std::vector<std::uint32_t> &out) { findRows(bytes + split, size - split, needle, middle, out); });
    return rows;
}

// Keeps those of `count` candidate rows that really contain the literal,
// packed at the front; how many.
std::size_t keepHolding(const FoldedColumn &folded, std::uint32_t *rows, std::size_t count, std::string_view needle)
{
    const char *base = folded.bytes.data();
    const std::uint32_t *starts = folded.starts.data();
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
        const std::uint32_t start = starts[row];
        if (findBytes(base + start, starts[row + 1] - 1 - start, needle) != std::string_view::npos)
            rows[kept++] = row;
    }
    return kept;
}

// Keeps the candidate rows that really contain the literal, in place.
std::vector<std::uint32_t> verifyCandidates(const FoldedColumn &folded, std::vector<std::uint32_t> rows,
                                            std::string_view needle)
{
    if (needle.size() == 2)
        return rows;
    if (rows.size() < halvedCandidates) {
        rows.resize(keepHolding(folded, rows.data(), rows.size(), needle));
        return rows;
    }
    // Each half packs its own rows; the second's then follow the first's.
    const std::size_t half = rows.size() / 2;
    std::size_t firstKept = 0;
    std::size_t secondKept = 0;
    std::vector<std::uint32_t> none;
    inTwoHalves(
        none, [&](std::vector<std::uint32_t> &) { firstKept = keepHolding(folded, rows.data(), half, needle); },
        [&](std::vector<std::uint32_t> &) {
            secondKept = keepHolding(folded, rows.data() + half, rows.size() - half, needle);
        });
    std::copy(rows.begin() + static_cast<std::ptrdiff_t>(half),
              rows.begin() + static_cast<std::ptrdiff_t>(half + secondKept),
              rows.begin() + static_cast<std::ptrdiff_t>(firstKept));
    rows.resize(firstKept + secondKept);
    return rows;
}
} // namespace

void appendFoldedRow(FoldedColumn &out, std::string_view value)
{
    const std::size_t at = out.bytes.size();
    out.starts.push_back(static_cast<std::uint32_t>(at));
    out.bytes.append(value);
    auto *target = reinterpret_cast<unsigned char *>(out.bytes.data() + at);
    unsigned char seen = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const unsigned char c = target[i];
        seen |= c;
        target[i] = static_cast<unsigned char>(c + (static_cast<unsigned char>(c - 'A') < 26 ? 'a' - 'A' : 0));
    }
    if ((seen & 0x80)
        && !foldLatin1InPlace(reinterpret_cast<const unsigned char *>(value.data()), target, value.size())) {
        out.bytes.resize(at);
        appendFolded(out.bytes, value);
    }
    out.bytes.push_back(rowSeparator);
}

FieldValue ColumnValues::at(std::uint32_t row) const
{
    if (nulls[row])
        return {};
    return {kind, std::string_view(text).substr(offsets[row], offsets[row + 1] - offsets[row])};
}

Snapshot::Snapshot(std::vector<std::string> columnNames, std::vector<ColumnValues> columns, std::uint32_t rowCount)
    : m_columnNames(std::move(columnNames))
    , m_rowCount(rowCount)
    , m_columns(std::make_unique<PerColumn[]>(m_columnNames.size()))
{
    for (std::size_t i = 0; i < columns.size() && i < m_columnNames.size(); ++i)
        m_columns[i].values = std::move(columns[i]);
}

Snapshot::Snapshot(std::vector<std::string> columnNames, std::vector<std::optional<ColumnValues>> read,
                   std::vector<std::optional<FoldedColumn>> folded, std::uint32_t rowCount,
                   std::shared_ptr<const ColumnSource> source)
    : m_columnNames(std::move(columnNames))
    , m_rowCount(rowCount)
    , m_columns(std::make_unique<PerColumn[]>(m_columnNames.size()))
    , m_source(std::move(source))
{
    for (std::size_t i = 0; i < read.size() && i < m_columnNames.size(); ++i) {
        PerColumn &per = m_columns[i];
        per.values = std::move(read[i]);
        if (i < folded.size() && folded[i] && per.values) {
            per.folded = std::move(*folded[i]);
            std::call_once(per.foldOnce, [] {});
        }
    }
}

Snapshot::PerColumn::~PerColumn() = default;

const ColumnValues *Snapshot::column(std::size_t index) const
{
    PerColumn &per = m_columns[index];
    std::call_once(per.loadOnce, [&] {
        if (per.values || !m_source)
            return;
        auto loaded = m_source->load(index);
        if (loaded.ok() && loaded.value().rowCount() == m_rowCount)
            per.values = std::move(loaded.value());
    });
    return per.values ? &*per.values : nullptr;
}

bool Snapshot::anyNull(std::size_t index) const
{
    PerColumn &per = m_columns[index];
    std::call_once(per.nullsOnce, [&] {
        if (const ColumnValues *values = column(index))
            per.anyNull = std::memchr(values->nulls.data(), 1, values->nulls.size()) != nullptr;
    });
    return per.anyNull;
}

const FoldedColumn &Snapshot::folded(std::size_t column) const
{
    PerColumn &per = m_columns[column];
    std::call_once(per.foldOnce, [&] {
        if (const ColumnValues *values = this->column(column))
            buildFolded(*values, per.folded);
    });
    return per.folded;
}

const BigramIndex *Snapshot::bigrams(std::size_t column, const std::atomic<bool> *cancel) const
{
    PerColumn &per = m_columns[column];
    std::call_once(per.indexOnce, [&] {
        per.index = BigramIndex::build(folded(column), cancel, &m_searches);
        per.indexReady.store(true, std::memory_order_release);
    });
    return per.index.get();
}

const BigramIndex *Snapshot::bigramsIfReady(std::size_t column) const
{
    const PerColumn &per = m_columns[column];
    return per.indexReady.load(std::memory_order_acquire) ? per.index.get() : nullptr;
}

std::vector<std::uint32_t> selectRows(const Snapshot &snapshot, std::size_t column, const LikePattern &pattern)
{
    struct Searching {
        std::atomic<int> &searches;
        explicit Searching(std::atomic<int> &count) : searches(count) { ++searches; }
        ~Searching() { --searches; }
    } searching(snapshot.m_searches);
    const FoldedColumn &folded = snapshot.folded(column);
    if (const auto literal = pattern.containedLiteral(); literal && literal->size() >= 2)
        if (const BigramIndex *index = snapshot.bigramsIfReady(column))
            return verifyCandidates(folded, index->candidates(*literal), *literal);
    return selectFolded(folded, snapshot.column(column)->nulls, pattern);
}

std::vector<std::uint32_t> selectFolded(const FoldedColumn &folded, const std::vector<std::uint8_t> &nulls,
                                        const LikePattern &pattern)
{
    if (const auto literal = pattern.containedLiteral())
        return scanForLiteral(folded, nulls, *literal);
    std::vector<std::uint32_t> rows;
    const std::string_view bytes(folded.bytes);
    for (std::uint32_t row = 0; row < nulls.size(); ++row) {
        if (nulls[row])
            continue;
        const std::uint32_t start = folded.starts[row];
        if (pattern.matches(bytes.substr(start, folded.starts[row + 1] - 1 - start)))
            rows.push_back(row);
    }
    return rows;
}

} // namespace article_database
