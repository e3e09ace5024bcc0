#pragma once
// Puts a table's rows on its data pages, in the order given, in the shapes
// the table asks for (plain, deleted, moved). Internal to the writer.

#include "jet_layout.h"
#include "mdb_writer.h"
#include "page_file.h"
#include "row_encoder.h"

namespace mdb_writer::detail {

// Adds the pages used to t.dataPages and sets t.rowCount to the rows a
// reader should see.
void writeRows(const JetVersion &version, PageFile &file, RowEncoder &encoder, TableLayout &t, const Table &table);

} // namespace mdb_writer::detail
