#pragma once
// Memo and OLE values. In the row: a 12-byte header (the length in its low
// 30 bits, 0x80000000: the value follows in the row; 0x40000000: it is one
// row of a long-value page; neither: a chain of such rows, each starting
// with a pointer to the next), then, when inline, the value itself.

#include "jet_engine/format/jet_layout.h"
#include "jet_engine/format/page_source.h"
#include "jet_engine/format/row_cursor.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace jet_engine {

class LongValueReader {
public:
    LongValueReader(PageSource &pages, const FileFormat &format) : m_pages(pages), m_format(format) {}

    // The value's stored bytes, valid until the next call; false when they
    // are not all there or the chain loops or leaves the file.
    bool read(const unsigned char *field, std::size_t size, std::string &value);

private:
    bool findRow(std::uint32_t pointer, RowSlot &row);

    PageSource &m_pages;
    FileFormat m_format;
    std::vector<std::uint32_t> m_visited;
};

} // namespace jet_engine
