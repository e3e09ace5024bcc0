#include "article_database/jet/file_sniff.h"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace article_database {

namespace {
constexpr unsigned catalogPage = 2;
constexpr unsigned jet3Version = 0;
// Access 2019, the newest format the file header names.
constexpr unsigned newestVersion = 0x06;
} // namespace

Outcome<FileFacts> sniffFile(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode))
        return Status::FileNotFound;
    if (!S_ISREG(info.st_mode))
        return Status::NotADatabase;
    unsigned char header[0x20] = {};
    ssize_t got;
    do {
        got = ::pread(fd, header, sizeof header, 0);
    } while (got < 0 && errno == EINTR);
    static constexpr unsigned char magic[4] = {0x00, 0x01, 0x00, 0x00};
    if (got < static_cast<ssize_t>(sizeof header) || std::memcmp(header, magic, 4) != 0
        || (std::memcmp(header + 4, "Standard Jet DB", 16) != 0 && std::memcmp(header + 4, "Standard ACE DB", 16) != 0))
        return Status::NotADatabase;
    const unsigned version = header[0x14];
    if (version > newestVersion)
        return Status::NotADatabase;
    FileFacts facts;
    facts.jet3 = version == jet3Version;
    facts.pageSize = facts.jet3 ? 2048 : 4096;
    facts.size = static_cast<std::uint64_t>(info.st_size);
    facts.pageCount = facts.size / facts.pageSize;
    if (facts.pageCount <= catalogPage)
        return Status::NotADatabase;
    return facts;
}

} // namespace article_database
