#include "article_database/jet/page_source.h"

#include <algorithm>
#include <cerrno>

#include <unistd.h>

namespace article_database {

namespace {

// 1 MiB of Jet 4 pages: few system calls for a whole table, and little
// memory held while it is read.
constexpr std::uint64_t blockPages = 256;

bool readFully(int fd, unsigned char *into, std::size_t size, std::uint64_t offset)
{
    while (size > 0) {
        const ssize_t got = ::pread(fd, into, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        into += got;
        size -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

} // namespace

PageSource::PageSource(int fd, std::uint32_t pageSize, std::uint64_t fileSize)
    : m_fd(fd)
    , m_pageSize(pageSize)
    , m_pageCount(pageSize ? fileSize / pageSize : 0)
{
}

bool PageSource::inBlock(std::uint32_t number) const
{
    return number >= m_blockFirst && number < m_blockFirst + m_blockPages;
}

const unsigned char *PageSource::page(std::uint32_t number, Slot slot)
{
    if (number >= m_pageCount)
        return nullptr;
    if (slot == Slot::Data) {
        if (!inBlock(number)) {
            const std::uint64_t first = number - number % blockPages;
            const std::uint64_t count = std::min(blockPages, m_pageCount - first);
            m_block.resize(count * m_pageSize);
            m_blockPages = 0;
            if (!readFully(m_fd, m_block.data(), m_block.size(), first * m_pageSize))
                return nullptr;
            m_blockFirst = first;
            m_blockPages = count;
        }
        return m_block.data() + (number - m_blockFirst) * m_pageSize;
    }
    if (inBlock(number))
        return m_block.data() + (number - m_blockFirst) * m_pageSize;
    std::vector<unsigned char> &buffer = m_single[static_cast<int>(slot)];
    buffer.resize(m_pageSize);
    if (!readFully(m_fd, buffer.data(), m_pageSize, static_cast<std::uint64_t>(number) * m_pageSize))
        return nullptr;
    return buffer.data();
}

} // namespace article_database
