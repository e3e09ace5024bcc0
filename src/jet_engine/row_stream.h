#pragma once
// Queries answered row by row, straight from the file's pages, for a caller
// that reads each answer once, first row to last, and keeps none of it
// (article-query). Nothing of the table is held but the page being read, so
// the memory taken does not grow with the table; the price is that each
// query reads the file again, and that a file changed while its rows were
// read is only known at the end.

#include "jet_engine/field_value.h"
#include "jet_engine/status.h"

#include <memory>
#include <string_view>

namespace jet_engine {

class RowStream {
public:
    virtual ~RowStream() = default;
    // To the next row the query selects, in Jet's order: true on a row,
    // false past the last. Past the last row, and on any failure, the file is
    // looked at again: FileChanged when it is no longer the one the rows
    // came from, and then every row given so far is to be dropped.
    virtual Outcome<bool> next() = 0;
    // The current row's first column; its text stays valid until next().
    virtual FieldValue firstColumn() const = 0;
};

class StreamedDatabase {
public:
    virtual ~StreamedDatabase() = default;
    // The query forms Database::openRecordset takes, failing as it fails;
    // the rows themselves are read by the stream.
    virtual Outcome<std::unique_ptr<RowStream>> query(std::u16string_view nameOrQuery) = 0;
};

} // namespace jet_engine
