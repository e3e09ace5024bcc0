#pragma once
// What tells one state of a file from another without reading it: the file
// itself (device and inode), its size and its times.

#include <cstdint>
#include <optional>
#include <string>

namespace article_database {

struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;

    friend bool operator==(const FileIdentity &, const FileIdentity &) = default;
};

// Nothing when the path names no regular file.
std::optional<FileIdentity> identify(const std::string &path);
// Nothing when fstat fails.
std::optional<FileIdentity> identify(int fd);

// Once the coarse clock file times are taken from has moved past a file's
// times, any later write gives it newer ones. Before that (just written, or
// times set ahead of this machine's clock by a server or a copy), a write
// can leave every time as it was, and only the bytes tell the states apart.
bool behindTheClock(const FileIdentity &identity);

} // namespace article_database
