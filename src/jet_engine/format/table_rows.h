#pragma once
// A table's rows one after another in Jet's order, some of their columns
// turned into display text: the one walk over a table's pages that keeping
// a table and streaming a query both make. Each value is decoded only when
// asked for, so that a row a search turns down costs the decoding of the
// searched column alone.

#include "jet_engine/format/jet_layout.h"
#include "jet_engine/format/long_value.h"
#include "jet_engine/format/page_source.h"
#include "jet_engine/format/row_cursor.h"
#include "jet_engine/format/row_decoder.h"
#include "jet_engine/format/stored_text.h"
#include "jet_engine/format/value_decode.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace jet_engine {

class TableRows {
public:
    // `wanted` are indexes into table.columns; `pages`, `table` and `jet3`
    // must outlive the walk. `digestPages`: as RowCursor takes it.
    TableRows(PageSource &pages, const FileFormat &format, const TableLayout &table, const CodePageText *jet3,
              std::vector<unsigned> wanted, std::vector<std::uint32_t> dataPages, bool digestPages = true);

    // To the next row: Damaged when its slot or its structure does not hold
    // together.
    RowCursor::Step next();

    // Of wanted column i, in the current row.
    bool isNull(std::size_t i) const;
    // Appends the non-null value's display text; false when its bytes are
    // not all there.
    bool append(std::size_t i, std::string &out);

    std::uint64_t pagesDigest() const { return m_cursor.pagesDigest(); }
    const RowCursor &cursor() const { return m_cursor; }

private:
    const TableLayout &m_table;
    std::vector<unsigned> m_wanted;
    RowCursor m_cursor;
    RowDecoder m_decoder;
    LongValueReader m_longValues;
    ValueDecoder m_values;
    std::vector<FieldBytes> m_fields;
};

} // namespace jet_engine
