#include "article_database/snapshot/file_identity.h"

#include <ctime>

#include <sys/stat.h>

namespace article_database {

namespace {

std::int64_t nanoseconds(const timespec &t)
{
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

FileIdentity identityOf(const struct stat &info)
{
    FileIdentity identity;
    identity.device = static_cast<std::uint64_t>(info.st_dev);
    identity.inode = static_cast<std::uint64_t>(info.st_ino);
    identity.size = static_cast<std::uint64_t>(info.st_size);
    identity.modifiedNs = nanoseconds(info.st_mtim);
    identity.changedNs = nanoseconds(info.st_ctim);
    return identity;
}

} // namespace

std::optional<FileIdentity> identify(const std::string &path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return identityOf(info);
}

std::optional<FileIdentity> identify(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return std::nullopt;
    return identityOf(info);
}

bool behindTheClock(const FileIdentity &identity)
{
    timespec coarse{};
    clock_gettime(CLOCK_REALTIME_COARSE, &coarse);
    const std::int64_t now = nanoseconds(coarse);
    return identity.modifiedNs < now && identity.changedNs < now;
}

} // namespace article_database
