#include "page_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mdb_writer::detail {

PageFile::PageFile(const std::string &path, std::uint32_t pageSize) : m_pageSize(pageSize), m_path(path)
{
    std::string pattern = path + ".XXXXXX";
    m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (m_fd < 0)
        throw WriteError("cannot create " + path + ": " + std::strerror(errno));
    m_temporary = std::move(pattern);
    if (::fchmod(m_fd, 0644) != 0)
        throw WriteError("cannot create " + path + ": " + std::strerror(errno));
}

PageFile::~PageFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_temporary.empty())
        ::unlink(m_temporary.c_str());
}

std::uint32_t PageFile::allocate()
{
    if (m_allocated >= kMaxPages)
        throw WriteError("the database would exceed the page limit");
    return m_allocated++;
}

void PageFile::write(std::uint32_t page, const std::uint8_t *data)
{
    const auto pendingPages = static_cast<std::uint32_t>(m_pending.size() / m_pageSize);
    if (pendingPages == 0 || page != m_pendingFirst + pendingPages) {
        flush();
        m_pendingFirst = page;
    }
    m_pending.insert(m_pending.end(), data, data + m_pageSize);
    ++m_written;
    if (m_pending.size() >= kFlushBytes)
        flush();
}

void PageFile::close()
{
    flush();
    if (m_written != m_allocated)
        throw WriteError("internal error: " + std::to_string(m_allocated) + " pages allocated, "
                         + std::to_string(m_written) + " written");
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        throw WriteError(std::string("cannot finish writing the file: ") + std::strerror(errno));
    if (::rename(m_temporary.c_str(), m_path.c_str()) != 0)
        throw WriteError("cannot replace " + m_path + ": " + std::strerror(errno));
    m_temporary.clear();
}

void PageFile::flush()
{
    const std::uint8_t *data = m_pending.data();
    std::size_t left = m_pending.size();
    auto offset = static_cast<off_t>(m_pendingFirst) * m_pageSize;
    while (left > 0) {
        const ssize_t n = ::pwrite(m_fd, data, left, offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw WriteError(std::string("cannot write the file: ") + std::strerror(errno));
        }
        data += n;
        left -= static_cast<std::size_t>(n);
        offset += n;
    }
    m_pending.clear();
}

void RowPage::start(std::uint32_t number, const std::uint8_t owner[4])
{
    m_page.fill(0);
    m_page[0] = 0x01;
    m_page[1] = 0x01;
    std::memcpy(&m_page[4], owner, 4);
    m_number = number;
    m_rows = 0;
    m_top = m_version.pageSize;
    m_open = true;
}

bool RowPage::fits(std::size_t bytes) const
{
    return m_open && m_rows < kMaxRowsPerPage && bytes + kRowSlot <= m_top - slotsEnd();
}

std::uint32_t RowPage::add(const std::uint8_t *data, std::size_t bytes, std::uint16_t flags)
{
    m_top -= static_cast<std::uint32_t>(bytes);
    std::memcpy(&m_page[m_top], data, bytes);
    put16(&m_page[m_version.rowPageHeader + kRowSlot * m_rows], m_top | flags);
    return m_rows++;
}

void RowPage::finish(PageFile &file)
{
    put16(&m_page[2], m_top - slotsEnd());
    put16(&m_page[m_version.rowCountOffset()], m_rows);
    file.write(m_number, m_page.data());
    m_open = false;
}

} // namespace mdb_writer::detail
