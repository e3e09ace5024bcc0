#pragma once
// A table of a file the writer wrote, read back for editing: its definition,
// found by name through the catalog, and its rows in the order readers list
// them. Internal to the writer; a file that does not hold together is a
// WriteError.

#include "file_pages.h"
#include "jet_layout.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace mdb_writer::detail {

struct StoredTable {
    std::uint32_t definitionPage = 0;
    // The live columns, in number order; definitionPages, dataPages and
    // freeSpaceMap left empty.
    TableLayout layout;
    // Column numbers rows hold: more than the live columns when some were
    // deleted.
    std::uint32_t numberedColumns = 0;
    // Where the definition keeps its row count: the first page's bytes.
    std::uint32_t rowCountAt = 0;
};

StoredTable readTable(FilePages &pages, std::uint32_t definitionPage, const std::string &name);
// Names compare as Jet compares them, ASCII letter case aside.
StoredTable findTable(FilePages &pages, const std::string &name);
const ColumnLayout &findColumn(const StoredTable &table, const std::string &name);

struct RowAt {
    std::uint32_t page = 0;
    std::uint32_t entry = 0;
};

struct FoundRow {
    RowAt home;
    // Where a moved row's data lies; for other rows, its home.
    RowAt data;
    bool moved = false;
};

// Each row readers list, in their order: the data pages as the usage map
// names them, each page's entries in order, a moved row at its home, moved
// data and deleted rows passed over. `visit` gets the row's bytes too, and
// ends the walk by returning true.
using RowVisit = std::function<bool(const FoundRow &, const std::uint8_t *row, std::size_t size)>;
void walkRows(FilePages &pages, const StoredTable &table, const RowVisit &visit);

// The `index`th row walkRows meets; nothing past the last.
std::optional<FoundRow> findRow(FilePages &pages, const StoredTable &table, std::size_t index);

} // namespace mdb_writer::detail
