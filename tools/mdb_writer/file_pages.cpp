#include "file_pages.h"

#include <array>
#include <string>

namespace mdb_writer::detail {

FilePages::FilePages(HeldFile &file, const JetVersion &version) : m_file(file), m_version(version)
{
    const std::uint64_t size = file.size();
    if (size % version.pageSize != 0 || size / version.pageSize > kMaxPages)
        throw WriteError("a file of " + std::to_string(size) + " bytes is not a whole number of pages of "
                         + std::to_string(version.pageSize));
    m_count = static_cast<std::uint32_t>(size / version.pageSize);
}

void FilePages::read(std::uint32_t page, std::uint8_t *out)
{
    if (page >= m_count)
        throw WriteError("page " + std::to_string(page) + " lies beyond the file's " + std::to_string(m_count)
                         + " pages");
    m_file.read(std::uint64_t{page} * m_version.pageSize, out, m_version.pageSize);
}

DataPage FilePages::rowPage(std::uint32_t page, std::uint32_t owner)
{
    std::array<std::uint8_t, kMaxPageSize> bytes;
    read(page, bytes.data());
    return DataPage(m_version, owner, page, bytes.data());
}

} // namespace mdb_writer::detail
