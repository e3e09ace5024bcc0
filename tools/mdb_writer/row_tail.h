#pragma once
// The end of a stored row: the variable columns' offset table, then the null
// mask. The encoder writes it; the editor reads it back to rewrite one value
// of a row already stored. Internal to the writer.
//
// Jet 4 keeps two-byte offsets: where the variable data ends, each column's
// start from the last column to the first, then their count. Jet 3 keeps
// only each offset's low byte (the end first, the first column nearest the
// count), then a jump table naming, for each 256-byte boundary, the first
// offset past it, then a one-byte count. Readers size that jump table from
// the row's length, so when the row's own tail carries it past one more
// boundary than its data, a 0xFF filler stands in.

#include "jet_layout.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace mdb_writer::detail {

// Appends the offset table (when `starts` holds any column: where each
// variable column's value begins, the data ending at out.size()) and the
// null mask. False, `out` unspecified, when Jet 3's one-byte offsets cannot
// describe the row.
bool appendRowTail(const JetVersion &version, const std::vector<std::uint16_t> &starts,
                   const std::vector<std::uint8_t> &nullMask, std::vector<std::uint8_t> &out);

// A stored row of a table with variable columns, taken apart. Variable
// column i spans [bounds[i], bounds[i + 1]); bounds.front() is where the
// column count and the fixed columns end.
struct RowParts {
    std::uint32_t columnCount = 0;
    std::vector<std::uint32_t> bounds;
    std::size_t nullMaskAt = 0;
};

// Nothing when the row's count, offsets or tail do not fit in its `size`
// bytes or run backwards.
std::optional<RowParts> splitRow(const JetVersion &version, const std::uint8_t *row, std::size_t size);

} // namespace mdb_writer::detail
