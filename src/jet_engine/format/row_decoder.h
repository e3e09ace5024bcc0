#pragma once
// Finds where each asked-for column's value lies in one row's bytes.
//
// A row: its column count, the fixed columns at their fixed offsets, the
// variable columns one after another, then (from the end backwards) the
// null mask, the count of variable columns and their offset table. Jet 4
// keeps two-byte offsets; Jet 3 one byte each, plus a jump table naming the
// first column past each 256-byte boundary. Column numbers may have gaps
// left by deleted columns: the null mask is indexed by column number, the
// offset table by the column's variable index.

#include "jet_engine/format/jet_layout.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace jet_engine {

struct FieldBytes {
    const unsigned char *data = nullptr;
    std::uint32_t size = 0;
    // For booleans, the value itself: Jet keeps it in the null mask.
    bool present = false;
};

class RowDecoder {
public:
    // `wanted` are indexes into table.columns.
    RowDecoder(const FileFormat &format, const TableLayout &table, std::vector<unsigned> wanted);

    // Fills one FieldBytes per wanted column; false when the row's
    // structure does not hold together.
    bool decode(const unsigned char *row, std::size_t size, FieldBytes *out);

private:
    bool readOffsets(const unsigned char *row, std::size_t size, std::size_t tailEnd, std::size_t &dataEnd);

    bool m_jet3;
    bool m_hasVariable;
    std::vector<ColumnLayout> m_columns;
    std::uint32_t m_largestVarIndex = 0;
    // Entry i: where variable column i starts; entry count: where the last ends.
    std::vector<std::uint32_t> m_offsets;
    std::uint32_t m_varCount = 0;
};

} // namespace jet_engine
