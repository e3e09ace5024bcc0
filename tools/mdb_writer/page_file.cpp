#include "page_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

namespace mdb_writer::detail {

namespace {

// A name beside the target that no other writer, in this process or
// another, picks at the same moment.
std::string temporaryBeside(const std::string &path)
{
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    return path + "." + std::to_string(random()) + "-" + std::to_string(counter++) + ".tmp";
}

} // namespace

PageFile::PageFile(const std::string &path, std::uint32_t pageSize) : m_pageSize(pageSize), m_path(path)
{
    std::string temporary = temporaryBeside(path);
    m_out.open(temporary, std::ios::binary | std::ios::out | std::ios::trunc);
    if (!m_out)
        throw WriteError("cannot create " + path + ": " + std::strerror(errno));
    m_temporary = std::move(temporary);
}

PageFile::~PageFile()
{
    m_out.close();
    if (!m_temporary.empty()) {
        std::error_code ignored;
        std::filesystem::remove(m_temporary, ignored);
    }
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
    m_out.close();
    if (!m_out)
        throw WriteError(std::string("cannot finish writing the file: ") + std::strerror(errno));
    // Readable by all, as a file the user saved, whatever the umask.
    using std::filesystem::perms;
    std::error_code error;
    std::filesystem::permissions(m_temporary, perms::owner_read | perms::owner_write | perms::group_read | perms::others_read,
                                 error);
    if (!error)
        std::filesystem::rename(m_temporary, m_path, error);
    if (error)
        throw WriteError("cannot replace " + m_path + ": " + error.message());
    m_temporary.clear();
}

void PageFile::flush()
{
    if (m_pending.empty())
        return;
    m_out.seekp(static_cast<std::streamoff>(m_pendingFirst) * m_pageSize);
    m_out.write(reinterpret_cast<const char *>(m_pending.data()), static_cast<std::streamsize>(m_pending.size()));
    if (!m_out)
        throw WriteError(std::string("cannot write the file: ") + std::strerror(errno));
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

void RowPage::finish(PageSink &file)
{
    put16(&m_page[2], m_top - slotsEnd());
    put16(&m_page[m_version.rowCountOffset()], m_rows);
    file.write(m_number, m_page.data());
    m_open = false;
}

} // namespace mdb_writer::detail
