#include "jet_engine/format/row_cursor.h"

#include "jet_engine/format/little_endian.h"

#include <algorithm>

// Header-only: the hash is inlined where pages are read.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace jet_engine {

namespace {

constexpr std::uint16_t deletedFlag = 0x8000;
constexpr std::uint16_t movedFlag = 0x4000;
constexpr std::uint16_t offsetMask = 0x1FFF;
constexpr std::size_t movedPointerSize = 4;

} // namespace

RowCursor::RowCursor(PageSource &pages, const FileFormat &format, std::uint32_t definitionPage,
                     std::vector<std::uint32_t> dataPages, bool digestPages)
    : m_pages(pages)
    , m_format(format)
    , m_definitionPage(definitionPage)
    , m_dataPages(std::move(dataPages))
    , m_digestPages(digestPages)
    , m_digest(XXH3_64bits(nullptr, 0))
{
}

std::uint64_t RowCursor::pagesDigest() const { return m_digest; }

std::uint64_t RowCursor::digest(const unsigned char *page)
{
    if (!m_digestPages)
        return 0;
    const std::uint64_t pageSum = pageDigest(page, m_pages.pageSize());
    m_digest = XXH3_64bits_withSeed(&pageSum, sizeof pageSum, m_digest);
    return pageSum;
}

std::uint64_t pageDigest(const unsigned char *page, std::size_t size) { return XXH3_64bits(page, size); }

bool rowSlot(const unsigned char *page, std::uint32_t pageSize, const FileFormat &format, std::uint32_t index,
             RowSlot &out)
{
    const std::uint32_t count = le16(page + format.rowCountOffset());
    const std::uint32_t tableEnd = format.rowTableOffset() + 2 * count;
    if (index >= count || tableEnd > pageSize)
        return false;
    const std::uint16_t entry = le16(page + format.rowTableOffset() + 2 * index);
    const std::uint32_t start = entry & offsetMask;
    const std::uint32_t end = index == 0 ? pageSize : le16(page + format.rowTableOffset() + 2 * (index - 1)) & offsetMask;
    if (start < tableEnd || start >= end || end > pageSize)
        return false;
    out.bytes = page + start;
    out.size = end - start;
    out.flags = entry & (deletedFlag | movedFlag);
    return true;
}

// A moved row's data may itself have moved again; a chain that comes back
// to where it has been, or points anywhere but at a row, is damage.
bool RowCursor::followMoved(RowSlot &row)
{
    m_visited.clear();
    while (row.flags & movedFlag) {
        if (row.size < movedPointerSize)
            return false;
        const std::uint32_t pointer = le32(row.bytes);
        if (std::find(m_visited.begin(), m_visited.end(), pointer) != m_visited.end())
            return false;
        m_visited.push_back(pointer);
        const unsigned char *page = m_pages.page(pointer >> 8, PageSource::Slot::Overflow);
        if (!page || page[0] != dataPageType)
            return false;
        digest(page);
        if (!rowSlot(page, m_pages.pageSize(), m_format, pointer & 0xFF, row))
            return false;
    }
    return true;
}

RowCursor::Step RowCursor::next()
{
    for (;;) {
        while (!m_page || m_entry >= m_entries) {
            if (m_pageIndex >= m_dataPages.size())
                return Step::End;
            const unsigned char *page = m_pages.page(m_dataPages[m_pageIndex++], PageSource::Slot::Data);
            if (!page)
                return Step::Damaged;
            const std::uint64_t pageSum = digest(page);
            if (m_digestPages)
                m_dataDigests.push_back(pageSum);
            // A usage map may still name pages the table gave up.
            if (page[0] != dataPageType || le32(page + 4) != m_definitionPage) {
                m_page = nullptr;
                continue;
            }
            m_page = page;
            m_entry = 0;
            m_entries = le16(page + m_format.rowCountOffset());
            if (m_format.rowTableOffset() + 2 * m_entries > m_pages.pageSize())
                return Step::Damaged;
        }
        const std::uint32_t index = m_entry++;
        const std::uint16_t entry = le16(m_page + m_format.rowTableOffset() + 2 * index);
        if (entry & deletedFlag)
            continue;
        RowSlot row;
        if (!rowSlot(m_page, m_pages.pageSize(), m_format, index, row) || !followMoved(row))
            return Step::Damaged;
        m_row = row.bytes;
        m_rowSize = row.size;
        return Step::Row;
    }
}

} // namespace jet_engine
