#pragma once
// Walks a table's rows in Jet's own order: the data pages its usage map
// names, and on each page the row-offset table from first entry to last.
//
// An entry's top bits say what lies there. 0x8000 alone marks the data of a
// row that grew and was moved; 0xC000 a deleted row: neither is listed where
// it lies. 0x4000 marks a moved row's home: four bytes there point (row in
// the low byte, page in the upper three) at where its data went, and the row
// is listed here, at its home.

#include "jet_engine/format/jet_layout.h"
#include "jet_engine/format/page_source.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace jet_engine {

// The type byte of a page of rows, table data and long values alike.
constexpr unsigned char dataPageType = 0x01;

// Entry `index` of a row page's offset table: the row's bytes, and the
// flags its entry carries. False when the entry or its row does not lie
// within the page.
struct RowSlot {
    const unsigned char *bytes = nullptr;
    std::size_t size = 0;
    std::uint16_t flags = 0;
};
bool rowSlot(const unsigned char *page, std::uint32_t pageSize, const FileFormat &format, std::uint32_t index,
             RowSlot &out);

class RowCursor {
public:
    enum class Step { Row, End, Damaged };

    // Without `digestPages`, pagesDigest() stays that of no page: a walk
    // that keeps nothing has no later read to line up with.
    RowCursor(PageSource &pages, const FileFormat &format, std::uint32_t definitionPage,
              std::vector<std::uint32_t> dataPages, bool digestPages = true);

    // On Row, row()/rowSize() hold the row's bytes until the next call.
    Step next();
    const unsigned char *row() const { return m_row; }
    std::size_t rowSize() const { return m_rowSize; }

    // Feeds every page the walk has read, in order, so that two walks over
    // the same state of the file give the same sum.
    std::uint64_t pagesDigest() const;
    // The data page the current row is listed on, as an index into the
    // pages the cursor was given.
    std::size_t pageIndex() const { return m_pageIndex - 1; }
    // The digest of each data page read so far, in the order given; empty
    // without `digestPages`.
    const std::vector<std::uint64_t> &dataPageDigests() const { return m_dataDigests; }

private:
    bool followMoved(RowSlot &row);
    // The page's own digest, fed to the walk's; 0 without `digestPages`.
    std::uint64_t digest(const unsigned char *page);

    PageSource &m_pages;
    FileFormat m_format;
    std::uint32_t m_definitionPage;
    std::vector<std::uint32_t> m_dataPages;
    std::size_t m_pageIndex = 0;
    const unsigned char *m_page = nullptr;
    std::uint32_t m_entry = 0;
    std::uint32_t m_entries = 0;
    const unsigned char *m_row = nullptr;
    std::size_t m_rowSize = 0;
    bool m_digestPages;
    std::uint64_t m_digest;
    std::vector<std::uint32_t> m_visited;
    std::vector<std::uint64_t> m_dataDigests;
};

} // namespace jet_engine
