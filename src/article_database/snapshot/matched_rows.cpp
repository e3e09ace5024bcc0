#include "article_database/snapshot/matched_rows.h"

#include "article_database/jet/table_rows.h"
#include "article_database/jet/value_decode.h"

#include <limits>

namespace article_database {

namespace {

// Reads the run's rows into `out`; false when a row could not be read, the
// rows before it kept.
bool readRows(const TablePages &table, PageSource &pages, std::size_t first, std::size_t last,
              const CodePageText *jet3, const RowFilter &filter, MatchedRows &out)
{
    // Nothing is kept from this walk for a later read to line up with: its
    // pages are not digested.
    TableRows rows(pages, table.format, table.table, jet3, filter.wanted,
                   std::vector<std::uint32_t>(table.dataPages.begin() + static_cast<std::ptrdiff_t>(first),
                                              table.dataPages.begin() + static_cast<std::ptrdiff_t>(last)),
                   false);
    for (;;) {
        const RowCursor::Step step = rows.next();
        if (step != RowCursor::Step::Row)
            return step == RowCursor::Step::End;
        const bool isNull = rows.isNull(0);
        const std::size_t start = out.text.size();
        if (!isNull && !rows.append(0, out.text)) {
            out.text.resize(start);
            return false;
        }
        if (filter.pattern && filter.searched != 0) {
            const bool searchedNull = rows.isNull(filter.searched);
            out.searchedText.clear();
            if (!searchedNull && !rows.append(filter.searched, out.searchedText)) {
                out.text.resize(start);
                return false;
            }
            appendFoldedRow(out.folded, out.searchedText);
            out.searchedNulls.push_back(searchedNull ? 1 : 0);
        } else if (filter.pattern) {
            appendFoldedRow(out.folded, std::string_view(out.text).substr(start));
        }
        if (out.text.size() > std::numeric_limits<std::uint32_t>::max() - 1
            || out.folded.bytes.size() > std::numeric_limits<std::uint32_t>::max() - 1)
            return false;
        out.offsets.push_back(static_cast<std::uint32_t>(out.text.size()));
        out.nulls.push_back(isNull ? 1 : 0);
    }
}

} // namespace

FieldValue MatchedRows::at(std::size_t i) const
{
    const std::uint32_t row = selected[i];
    if (nulls[row])
        return {};
    return {kind, std::string_view(text).substr(offsets[row], offsets[row + 1] - offsets[row])};
}

void matchRun(const TablePages &table, PageSource &pages, std::size_t first, std::size_t last,
              const CodePageText *jet3, const RowFilter &filter, MatchedRows &out)
{
    out.kind = kindOf(table.table.columns.front().type);
    out.text.clear();
    out.offsets.assign(1, 0);
    out.nulls.clear();
    out.selected.clear();
    out.folded.bytes.clear();
    out.folded.starts.clear();
    out.searchedNulls.clear();
    out.status = readRows(table, pages, first, last, jet3, filter, out) ? Status::Ok : Status::ReadFailed;

    const auto rows = static_cast<std::uint32_t>(out.nulls.size());
    if (!filter.pattern) {
        for (std::uint32_t row = 0; row < rows; ++row)
            out.selected.push_back(row);
        return;
    }
    // A row that failed after its folding is no row.
    if (out.folded.starts.size() > rows) {
        out.folded.bytes.resize(out.folded.starts[rows]);
        out.folded.starts.resize(rows);
    }
    if (out.searchedNulls.size() > rows)
        out.searchedNulls.resize(rows);
    // Nulls never match, not even a pattern of stars alone.
    const std::vector<std::uint8_t> &searchedNulls = filter.searched == 0 ? out.nulls : out.searchedNulls;
    out.folded.starts.push_back(static_cast<std::uint32_t>(out.folded.bytes.size()));
    out.selected = selectFolded(out.folded, searchedNulls, *filter.pattern);
}

} // namespace article_database
