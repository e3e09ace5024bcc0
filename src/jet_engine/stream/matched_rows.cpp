#include "jet_engine/stream/matched_rows.h"

#include "jet_engine/format/table_rows.h"
#include "jet_engine/format/value_decode.h"

#include <limits>

namespace jet_engine {

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
        const auto row = static_cast<std::uint32_t>(out.nulls.size());
        const bool isNull = rows.isNull(0);
        const std::size_t start = out.text.size();
        if (!isNull && !rows.append(0, out.text)) {
            out.text.resize(start);
            return false;
        }
        const bool apart = filter.pattern && filter.searched != 0;
        const bool searchedNull = apart && rows.isNull(filter.searched);
        const std::size_t searchedStart = out.searched.text.size();
        if (apart && !searchedNull && !rows.append(filter.searched, out.searched.text)) {
            out.searched.text.resize(searchedStart);
            out.text.resize(start);
            return false;
        }
        if (out.text.size() >= std::numeric_limits<std::uint32_t>::max()
            || out.searched.text.size() >= std::numeric_limits<std::uint32_t>::max()
            || out.others.bytes.size() > std::numeric_limits<std::uint32_t>::max() / 2) {
            out.text.resize(start);
            out.searched.text.resize(searchedStart);
            return false;
        }
        if (apart) {
            if (!searchedNull)
                out.others.note(row, std::string_view(out.searched.text).substr(searchedStart));
            out.searched.endRow(searchedNull);
        } else if (filter.pattern && !isNull) {
            out.others.note(row, std::string_view(out.text).substr(start));
        }
        out.text.push_back(valueSeparator);
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
    return {kind, std::string_view(text).substr(offsets[row], offsets[row + 1] - 1 - offsets[row])};
}

void matchRun(const TablePages &table, PageSource &pages, std::size_t first, std::size_t last,
              const CodePageText *jet3, const RowFilter &filter, MatchedRows &out)
{
    out.kind = kindOf(table.table.columns.front().type);
    out.text.clear();
    out.offsets.assign(1, 0);
    out.nulls.clear();
    out.selected.clear();
    out.searched.text.clear();
    out.searched.offsets.assign(1, 0);
    out.searched.nulls.clear();
    out.others.rows.clear();
    out.others.bytes.clear();
    out.others.starts.assign(1, 0);
    out.status = readRows(table, pages, first, last, jet3, filter, out) ? Status::Ok : Status::ReadFailed;

    const auto rows = static_cast<std::uint32_t>(out.nulls.size());
    if (!filter.pattern) {
        for (std::uint32_t row = 0; row < rows; ++row)
            out.selected.push_back(row);
        return;
    }
    // Nulls never match, not even a pattern of stars alone.
    const bool apart = filter.searched != 0;
    const SearchText searched{apart ? out.searched.text : out.text,
                              apart ? out.searched.offsets.data() : out.offsets.data(),
                              apart ? &out.searched.nulls : &out.nulls, &out.others};
    out.selected = selectText(searched, *filter.pattern);
}

} // namespace jet_engine
