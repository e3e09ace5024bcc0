#pragma once
// The rows of one table as read at one moment: every column's display text
// packed into one buffer per column, in the table's stored order. Columns
// not read with the rows are read on first use, from the same state of the
// file or not at all. Shared (shared_ptr<const Snapshot>) by every result
// set drawn from it, which only keep row numbers.
//
// A table read again page by page is a patched snapshot: the rows of the
// pages that did not change stay in the snapshot read whole (its base, with
// its text and its index, shared), the rows of the pages that did are read
// anew into this one, and a list of pieces puts both in Jet's order. Row
// numbers are those of that order, in every snapshot.

#include "jet_engine/field_run.h"
#include "jet_engine/field_value.h"
#include "jet_engine/format/jet_layout.h"
#include "jet_engine/search/row_lists.h"
#include "jet_engine/search/search_text.h"
#include "jet_engine/status.h"
#include "jet_engine/tables/page_map.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace jet_engine {

class BigramIndex;
class LikePattern;
class WorkToken;
class WorkerPool;

struct ColumnValues {
    // Kind of every non-null value of the column.
    FieldValue::Kind kind = FieldValue::Kind::Text;
    // Every row's display text followed by valueSeparator; a null's is empty.
    std::string text;
    // Row r's text is text[offsets[r] .. offsets[r + 1] - 1); size is rows + 1.
    std::vector<std::uint32_t> offsets{0};
    std::vector<std::uint8_t> nulls;

    std::size_t rowCount() const { return nulls.size(); }
    FieldValue at(std::uint32_t row) const;
    // Ends the row whose text was appended to `text` since the last one
    // ended; a null's must be empty.
    void endRow(bool isNull);
};

// Where a snapshot's columns not read with its rows come from.
class ColumnSource {
public:
    virtual ~ColumnSource() = default;
    // Called at most once per column, from any thread.
    virtual Outcome<ColumnValues> load(std::size_t column) const = 0;
};

// How a snapshot read whole was read: what a later read of some of its
// pages needs to give rows that line up with its own.
struct SnapshotOrigin {
    TableLayout layout;
    // The columns read with the rows, and whether each is searched.
    std::vector<unsigned> read;
    std::vector<bool> fold;
    PageMap pages;
};

// A patched snapshot's rows, in Jet's order: runs of its base's rows, and
// runs of the rows read anew.
struct RowPatch {
    struct Piece {
        bool fresh = false;
        // The run's first row, in the base or among the rows read anew.
        std::uint32_t first = 0;
        std::uint32_t count = 0;
    };
    std::shared_ptr<const class Snapshot> base;
    std::vector<Piece> pieces;
    // Piece i's first row in the patched snapshot; one more than pieces.
    std::vector<std::uint32_t> starts{0};

    // Adds a run after the others, joined to the last when it follows it.
    void add(bool fresh, std::uint32_t first, std::uint32_t count);
    // The patched snapshot's rows among `baseRows` (of the base, ascending;
    // those of pages read anew are dropped) and `freshRows` (of the rows
    // read anew, ascending), in order.
    std::vector<std::uint32_t> merge(const std::vector<std::uint32_t> &baseRows,
                                     const std::vector<std::uint32_t> &freshRows) const;
    // Which piece holds row `row` of the patched snapshot.
    std::size_t pieceOf(std::uint32_t row) const;
};

class Snapshot {
public:
    // Every column read.
    Snapshot(std::vector<std::string> columnNames, std::vector<ColumnValues> columns, std::uint32_t rowCount);
    // Some columns read (`read[i]` empty for the others), some of those
    // with their other folds found already, the rest to come from `source`.
    Snapshot(std::vector<std::string> columnNames, std::vector<std::optional<ColumnValues>> read,
             std::vector<std::optional<OtherFolds>> others, std::uint32_t rowCount,
             std::shared_ptr<const ColumnSource> source, std::shared_ptr<const SnapshotOrigin> origin = nullptr);
    // Patched: `fresh` holds the rows read anew of the columns its base read
    // with its rows, the other columns come from `source`.
    Snapshot(RowPatch patch, std::vector<std::optional<ColumnValues>> fresh,
             std::vector<std::optional<OtherFolds>> others, std::shared_ptr<const ColumnSource> source);

    const std::vector<std::string> &columnNames() const { return m_columnNames; }
    std::size_t columnCount() const { return m_columnNames.size(); }
    std::uint32_t rowCount() const { return m_rowCount; }

    // How it was read, when read whole by readTable; null for a patched one.
    const SnapshotOrigin *origin() const { return m_origin.get(); }
    // Null unless patched.
    const RowPatch *patch() const { return m_patch ? &*m_patch : nullptr; }

    // The values this snapshot holds itself (of a patched one, the rows read
    // anew of the columns its base read with its rows). Null when the
    // column could not be read (the file changed since).
    const ColumnValues *column(std::size_t index) const;
    // Whether the column could be read, wherever its rows lie.
    bool readable(std::size_t index) const { return column(index) != nullptr; }
    // Whether the column may hold a null; false when it could not be read.
    bool anyNull(std::size_t index) const;

    // Of a readable column.
    bool isNull(std::size_t column, std::uint32_t row) const;
    FieldValue value(std::size_t column, std::uint32_t row) const;
    // The values of rows[0 .. count), or of first, first + 1, ... when `rows`
    // is null, kept alive by `keepAlive` with this snapshot.
    FieldRun run(std::size_t column, const std::uint32_t *rows, std::uint32_t first, std::size_t count,
                 std::shared_ptr<const void> keepAlive) const;

    // The column's own values (column()) as searches read them; its other
    // folds are found on first use, then kept. The column must be readable.
    SearchText searchText(std::size_t column) const;

    // Built on first use per column, from its search text; null when the
    // column is too large to index or the build was cancelled, and then
    // searches scan it. `work`: the build's, when it runs in the background.
    // A patched snapshot's rows read anew are never indexed: a column read
    // with its base's rows has its base's index.
    const BigramIndex *bigrams(std::size_t column, const WorkToken *work = nullptr) const;
    // The index if it is built already, else null: it never waits.
    const BigramIndex *bigramsIfReady(std::size_t column) const;

    // Whether the column's rows lie partly in the base (read with the
    // base's rows, in a patched snapshot).
    bool pieced(std::size_t column) const;

private:
    class PiecedText;

    struct PerColumn {
        ~PerColumn();
        std::once_flag loadOnce;
        std::optional<ColumnValues> values;
        std::once_flag nullsOnce;
        bool anyNull = false;
        std::once_flag foldOnce;
        OtherFolds others;
        std::once_flag indexOnce;
        std::unique_ptr<const BigramIndex> index;
        std::atomic<bool> indexReady{false};
        std::unique_ptr<const PiecedText> pieced;
    };

    std::vector<std::string> m_columnNames;
    std::uint32_t m_rowCount;
    std::unique_ptr<PerColumn[]> m_columns;
    std::shared_ptr<const ColumnSource> m_source;
    std::shared_ptr<const SnapshotOrigin> m_origin;
    std::optional<RowPatch> m_patch;
};

// Rows (in stored order) whose value in `column` matches; nulls never do.
// The column must have been read. Uses the column's index when it is built,
// and scans it otherwise, with a worker of `pool` when one is free; work in
// the background gives way meanwhile. Lists are taken from `lists` when
// given.
RowList selectRows(const Snapshot &snapshot, std::size_t column, const LikePattern &pattern, WorkerPool *pool = nullptr,
                   RowLists *lists = nullptr);

// The same over a column's search text alone, without an index: one scan
// for a plain "*literal*", the pattern row by row otherwise.
RowList selectText(const SearchText &text, const LikePattern &pattern, WorkerPool *pool = nullptr,
                   RowLists *lists = nullptr);

} // namespace jet_engine
