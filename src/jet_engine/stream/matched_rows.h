#pragma once
// The rows of one run of a table's data pages that a query selects: the
// run's rows read, the rows of their searched column whose folding is not
// the one done as read noted as they come, then matched all at once as the
// kept snapshot matches its whole column. Only the run's
// first column is kept, and only until the caller has given it on.

#include "jet_engine/field_value.h"
#include "jet_engine/format/page_source.h"
#include "jet_engine/query/like_pattern.h"
#include "jet_engine/format/jet_file.h"
#include "jet_engine/tables/snapshot.h"
#include "jet_engine/status.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace jet_engine {

// What a query asks of each row: with a pattern, that the searched column
// (its index among the walk's columns: 0 when it is the first column) be
// non-null and match, folded; without one, nothing.
struct RowFilter {
    std::vector<unsigned> wanted;
    std::optional<LikePattern> pattern;
    std::size_t searched = 0;
};

// A run's rows, their first column, and those of them the query selects.
// Reused from run to run, so that a walk allocates once.
struct MatchedRows {
    FieldValue::Kind kind = FieldValue::Kind::Text;
    // Row r's first column: text[offsets[r] .. offsets[r + 1] - 1), each
    // value followed by valueSeparator.
    std::string text;
    std::vector<std::uint32_t> offsets;
    std::vector<std::uint8_t> nulls;
    // The rows selected, in order.
    std::vector<std::uint32_t> selected;
    // Not Ok when the run could not be read to its end: the rows before the
    // failure are kept.
    Status status = Status::Ok;

    std::size_t size() const { return selected.size(); }
    FieldValue at(std::size_t i) const;

    // The searched column when it is not the first, kept as the snapshot
    // keeps a column, and scanned at once when the pattern is a literal;
    // whichever column it is, its rows whose folding is not the one done as
    // read.
    ColumnValues searched;
    OtherFolds others;
};

// Replaces `out` with the selected rows of data pages [first, last) of
// `table`, read through `pages` (one per thread, kept from run to run) and
// decoded, for Jet 3, by `jet3` (one per thread as well).
void matchRun(const TablePages &table, PageSource &pages, std::size_t first, std::size_t last,
              const CodePageText *jet3, const RowFilter &filter, MatchedRows &out);

} // namespace jet_engine
