#include "page_writes.h"

#include <string>

namespace mdb_writer::detail {

std::uint32_t PageWrites::allocate()
{
    if (m_next >= kMaxPages)
        throw WriteError("the database would exceed the page limit");
    return m_next++;
}

void PageWrites::write(std::uint32_t page, const std::uint8_t *data)
{
    m_pages[page].assign(data, data + m_pageSize);
}

void PageWrites::commit(HeldFile &file) const
{
    const std::uint64_t existing = file.size() / m_pageSize;
    for (std::uint64_t page = existing; page < m_next; ++page) {
        if (m_pages.count(static_cast<std::uint32_t>(page)) == 0)
            throw WriteError("internal error: new page " + std::to_string(page) + " was never filled");
    }
    for (const bool added : {true, false}) {
        for (const auto &[page, bytes] : m_pages) {
            if ((page >= existing) == added)
                file.write(std::uint64_t{page} * m_pageSize, bytes.data(), bytes.size());
        }
    }
}

} // namespace mdb_writer::detail
