#pragma once
// The rows of one run of a table's data pages that a query selects, matched
// as they are read: only their first column is kept, and only until the
// caller has given them on.

#include "article_database/field_value.h"
#include "article_database/query/like_pattern.h"
#include "article_database/snapshot/mdb_file.h"
#include "article_database/status.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace article_database {

// What a query asks of each row: with a pattern, that the searched column
// (its index among the walk's columns: 0 when it is the first column) be
// non-null and match, folded; without one, nothing.
struct RowFilter {
    std::vector<unsigned> wanted;
    std::optional<LikePattern> pattern;
    std::size_t searched = 0;
};

struct MatchedRows {
    FieldValue::Kind kind = FieldValue::Kind::Text;
    std::string text;
    // Row i's text ends at ends[i] and starts where row i - 1's ends.
    std::vector<std::uint32_t> ends;
    std::vector<std::uint8_t> nulls;
    // Not Ok when the run could not be read to its end: the rows before the
    // failure are kept.
    Status status = Status::Ok;

    std::size_t size() const { return ends.size(); }
    FieldValue at(std::size_t row) const;
};

// Replaces `out` with the selected rows of data pages [first, last).
void matchRun(const TablePages &pages, std::size_t first, std::size_t last, const CodePageText *jet3,
              const RowFilter &filter, MatchedRows &out);

} // namespace article_database
