#include "article_database/jet/file_sniff.h"

#include "article_database/jet/file_header.h"

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace article_database {

namespace {
constexpr unsigned catalogPage = 2;
} // namespace

Outcome<FileFacts> sniffFile(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode))
        return Status::FileNotFound;
    if (!S_ISREG(info.st_mode))
        return Status::NotADatabase;
    unsigned char header[headerBytes] = {};
    ssize_t got;
    do {
        got = ::pread(fd, header, sizeof header, 0);
    } while (got < 0 && errno == EINTR);
    if (got < static_cast<ssize_t>(sizeof header))
        return Status::NotADatabase;
    const auto format = readHeader(header, sizeof header);
    if (!format.ok())
        return format.status();
    FileFacts facts;
    facts.format = format.value();
    facts.size = static_cast<std::uint64_t>(info.st_size);
    facts.pageCount = facts.size / facts.format.pageSize;
    if (facts.pageCount <= catalogPage)
        return Status::NotADatabase;
    return facts;
}

} // namespace article_database
