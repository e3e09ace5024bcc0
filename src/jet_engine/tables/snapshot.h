#pragma once
// The rows of one table as read at one moment: every column's display text
// packed into one buffer per column, in the table's stored order. Columns
// not read with the rows are read on first use, from the same state of the
// file or not at all. Shared (shared_ptr<const Snapshot>) by every result
// set drawn from it, which only keep row numbers.

#include "jet_engine/field_value.h"
#include "jet_engine/search/search_text.h"
#include "jet_engine/status.h"

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

class Snapshot {
public:
    // Every column read.
    Snapshot(std::vector<std::string> columnNames, std::vector<ColumnValues> columns, std::uint32_t rowCount);
    // Some columns read (`read[i]` empty for the others), some of those
    // with their other folds found already, the rest to come from `source`.
    Snapshot(std::vector<std::string> columnNames, std::vector<std::optional<ColumnValues>> read,
             std::vector<std::optional<OtherFolds>> others, std::uint32_t rowCount,
             std::shared_ptr<const ColumnSource> source);

    const std::vector<std::string> &columnNames() const { return m_columnNames; }
    std::size_t columnCount() const { return m_columnNames.size(); }
    std::uint32_t rowCount() const { return m_rowCount; }

    // Null when the column could not be read (the file changed since).
    const ColumnValues *column(std::size_t index) const;
    // Whether the column holds a null; false when it could not be read.
    bool anyNull(std::size_t index) const;

    // The column as searches read it; its other folds are found on first
    // use, then kept. The column must have been read (column() not null).
    SearchText searchText(std::size_t column) const;

    // Built on first use per column, from its search text; null when the
    // column is too large to index or the build was cancelled, and then
    // searches scan it. `work`: the build's, when it runs in the background.
    const BigramIndex *bigrams(std::size_t column, const WorkToken *work = nullptr) const;
    // The index if it is built already, else null: it never waits.
    const BigramIndex *bigramsIfReady(std::size_t column) const;

private:
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
    };

    std::vector<std::string> m_columnNames;
    std::uint32_t m_rowCount;
    std::unique_ptr<PerColumn[]> m_columns;
    std::shared_ptr<const ColumnSource> m_source;
};

// Rows (in stored order) whose value in `column` matches; nulls never do.
// The column must have been read. Uses the column's index when it is built,
// and scans it otherwise, with a worker of `pool` when one is free; work in
// the background gives way meanwhile.
std::vector<std::uint32_t> selectRows(const Snapshot &snapshot, std::size_t column, const LikePattern &pattern,
                                      WorkerPool *pool = nullptr);

// The same over a column's search text alone, without an index: one scan
// for a plain "*literal*", the pattern row by row otherwise.
std::vector<std::uint32_t> selectText(const SearchText &text, const LikePattern &pattern, WorkerPool *pool = nullptr);

} // namespace jet_engine
