#include "file_changes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace test_support {

WrittenFile::WrittenFile(const std::string &path, Opening opening)
{
    const int flags = opening == Opening::Existing ? O_WRONLY
        : opening == Opening::Kept                 ? O_WRONLY | O_CREAT
                                                   : O_WRONLY | O_CREAT | O_TRUNC;
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd >= 0)
        m_handle = fd;
}

WrittenFile::~WrittenFile()
{
    if (isOpen())
        ::close(static_cast<int>(m_handle));
}

bool WrittenFile::writeAt(std::uint64_t offset, std::string_view bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::pwrite(static_cast<int>(m_handle), bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(offset + done));
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool WrittenFile::endAt(std::uint64_t size)
{
    return ::ftruncate(static_cast<int>(m_handle), static_cast<off_t>(size)) == 0;
}

std::optional<std::uint64_t> WrittenFile::size() const
{
    struct stat info {};
    if (::fstat(static_cast<int>(m_handle), &info) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

int replaceByRename(const std::string &from, const std::string &to)
{
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int deleteFile(const std::string &path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

int setFileTimes(const std::string &path, std::int64_t secondsSince1970)
{
    const timespec time{static_cast<time_t>(secondsSince1970), 0};
    const timespec times[2] = {time, time};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0 ? 0 : errno;
}

} // namespace test_support
