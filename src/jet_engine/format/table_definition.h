#pragma once
// A table's definition, read from its pages: the counts, the usage map row,
// one entry per live column and the columns' names. A definition longer
// than a page goes on in continuation pages, each naming the next.
//
// Deleting a column never lowers the count of column numbers used nor the
// count of variable slots: rows keep the deleted columns' places, so both
// may exceed the count of live columns.

#include "jet_engine/format/jet_layout.h"
#include "jet_engine/format/page_source.h"
#include "jet_engine/format/stored_text.h"
#include "jet_engine/status.h"

#include <cstdint>
#include <string>

namespace jet_engine {

// The type byte of a page holding a table definition.
constexpr unsigned char definitionPageType = 0x02;

// ReadFailed when the definition does not hold together: a page of another
// kind, a chain of pages that loops or leaves the file, a count, offset or
// length beyond the definition's bytes, a column number beyond those used,
// a usage map row that is not there.
Outcome<TableLayout> readTableDefinition(PageSource &pages, const FileFormat &format, const TextDecoder &names,
                                         std::uint32_t page, std::string name);

} // namespace jet_engine
