#pragma once
// Table definitions and the header page: how a table's columns are laid out
// in its rows, and the pages that describe them. Internal to the writer.

#include "jet_layout.h"
#include "page_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mdb_writer::detail {

struct ColumnSpec {
    std::string name;
    JetType type = JetText;
    int textLength = 0;
    bool deleted = false;
    int precision = 0;
    int scale = 0;
};

std::string lowerAscii(std::string_view s);
void checkName(const JetVersion &version, std::string_view what, const std::string &name);

// Numbers the columns, deleted ones included, and places them in the row.
TableLayout layoutTable(const JetVersion &version, std::string name, bool system,
                        const std::vector<ColumnSpec> &columns);

// The definition's bytes, first page header included; it lists only the
// columns that are not deleted.
std::vector<std::uint8_t> tableDefinition(const JetVersion &version, const TableLayout &t);
std::size_t definitionPageCount(const JetVersion &version, std::size_t bytes);
void writeDefinition(const JetVersion &version, const TableLayout &t, PageFile &file);

void writeHeaderPage(const JetVersion &version, PageFile &file);

} // namespace mdb_writer::detail
