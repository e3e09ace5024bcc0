#include "article_database/snapshot/matched_rows.h"

#include "article_database/jet/value_decode.h"
#include "article_database/snapshot/snapshot.h"

#include <limits>

namespace article_database {

FieldValue MatchedRows::at(std::size_t row) const
{
    if (nulls[row])
        return {};
    const std::uint32_t start = row == 0 ? 0 : ends[row - 1];
    return {kind, std::string_view(text).substr(start, ends[row] - start)};
}

void matchRun(const TablePages &pages, std::size_t first, std::size_t last, const CodePageText *jet3,
              const RowFilter &filter, MatchedRows &out)
{
    out.kind = kindOf(pages.table.columns.front().type);
    out.text.clear();
    out.ends.clear();
    out.nulls.clear();
    out.status = Status::Ok;
    RowWalk walk(pages, first, last, jet3, filter.wanted);
    TableRows &rows = walk.rows;
    std::string searchedText;
    FoldedColumn folded;
    for (;;) {
        const RowCursor::Step step = rows.next();
        if (step == RowCursor::Step::End)
            return;
        if (step == RowCursor::Step::Damaged) {
            out.status = Status::ReadFailed;
            return;
        }
        if (filter.pattern) {
            if (rows.isNull(filter.searched))
                continue;
            searchedText.clear();
            if (!rows.append(filter.searched, searchedText)) {
                out.status = Status::ReadFailed;
                return;
            }
            folded.bytes.clear();
            folded.starts.clear();
            appendFoldedRow(folded, searchedText);
            // Without the separator that ends a folded row.
            if (!filter.pattern->matches(std::string_view(folded.bytes).substr(0, folded.bytes.size() - 1)))
                continue;
        }
        const bool isNull = rows.isNull(0);
        if (!isNull) {
            if (filter.pattern && filter.searched == 0) {
                out.text.append(searchedText);
            } else if (!rows.append(0, out.text)) {
                out.status = Status::ReadFailed;
                return;
            }
        }
        if (out.text.size() > std::numeric_limits<std::uint32_t>::max()) {
            out.status = Status::ReadFailed;
            return;
        }
        out.ends.push_back(static_cast<std::uint32_t>(out.text.size()));
        out.nulls.push_back(isNull ? 1 : 0);
    }
}

} // namespace article_database
