#pragma once
// The rows of one table as read at one moment: every column's display text
// packed into one buffer per column, in the table's stored order. Immutable
// once built and shared (shared_ptr<const Snapshot>) by every result set
// drawn from it, which only keep row numbers.

#include "engine.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace article_database {

class BigramIndex;
class LikePattern;

struct ColumnValues {
    // Kind of every non-null value of the column.
    FieldValue::Kind kind = FieldValue::Kind::Text;
    std::string text;
    // offsets[row] .. offsets[row + 1] is the row's text; size is rows + 1.
    std::vector<std::uint32_t> offsets{0};
    std::vector<std::uint8_t> nulls;

    std::size_t rowCount() const { return nulls.size(); }
    FieldValue at(std::uint32_t row) const;
};

// A column's values case folded, each followed by a 0xFF byte. 0xFF never
// occurs in UTF-8, so a search for folded text cannot match across rows.
struct FoldedColumn {
    std::string bytes;
    std::vector<std::uint32_t> starts;
};

class Snapshot {
public:
    Snapshot(std::vector<std::string> columnNames, std::vector<ColumnValues> columns, std::uint32_t rowCount);

    const std::vector<std::string> &columnNames() const { return m_columnNames; }
    const ColumnValues &column(std::size_t index) const { return m_columns[index]; }
    std::size_t columnCount() const { return m_columns.size(); }
    std::uint32_t rowCount() const { return m_rowCount; }

    // Built on first use per column, then kept for the snapshot's lifetime.
    const FoldedColumn &folded(std::size_t column) const;

    // Built on first use per column, from the folded column; null when the
    // column is too large to index, and then searches scan it.
    const BigramIndex *bigrams(std::size_t column) const;

private:
    struct LazyFolded {
        ~LazyFolded();
        std::once_flag once;
        FoldedColumn column;
        std::once_flag indexOnce;
        std::unique_ptr<const BigramIndex> index;
    };

    std::vector<std::string> m_columnNames;
    std::vector<ColumnValues> m_columns;
    std::uint32_t m_rowCount;
    std::unique_ptr<LazyFolded[]> m_folded;
};

// Rows (in stored order) whose value in `column` matches; nulls never do.
std::vector<std::uint32_t> selectRows(const Snapshot &snapshot, std::size_t column, const LikePattern &pattern);

} // namespace article_database
