#pragma once
// A table's usage map, read and extended in place. The writer keeps it in a
// row of a holder page: inline (a start page and a bitmap) while the table's
// pages fit in one window of that bitmap, else pointers to bitmap pages,
// each covering a fixed window of the file's pages. Internal to the writer.

#include "file_pages.h"
#include "page_file.h"

#include <cstdint>
#include <vector>

namespace mdb_writer::detail {

// The pages the map at `mapRow` (a row pointer) names, ascending.
std::vector<std::uint32_t> usedPages(FilePages &pages, std::uint32_t mapRow);

// Hands `writes` the page that marks `page` used: the holder page of an
// inline map, the bitmap page of a reference map. A WriteError when the map
// cannot name the page: beyond an inline map's window, or in a window a
// reference map has no bitmap page for.
void markUsed(FilePages &pages, std::uint32_t mapRow, std::uint32_t page, PageSink &writes);

} // namespace mdb_writer::detail
