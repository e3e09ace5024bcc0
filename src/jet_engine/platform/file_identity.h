#pragma once
// What tells one state of a file from another without reading it: which
// file it is (volume and file number), what kind, its size and its times.

#include <cstdint>

namespace jet_engine {

enum class FileKind { Regular, Directory, Other };

struct FileIdentity {
    FileKind kind = FileKind::Other;
    // POSIX: device and inode. Windows: volume serial number and file index.
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    std::uint64_t size = 0;
    // Nanoseconds since 1970. Windows keeps no change time: there both hold
    // the last write time.
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;

    friend bool operator==(const FileIdentity &, const FileIdentity &) = default;
};

// `nowNs` read from the coarse clock file times are taken from. Once it has
// moved past a file's times, any later write gives the file newer ones.
// Before that (just written, or times set ahead of this machine's clock by a
// server or a copy), a write can leave every time as it was, and only the
// bytes tell the states apart.
inline bool behindTheClock(const FileIdentity &identity, std::int64_t nowNs)
{
    return identity.modifiedNs < nowNs && identity.changedNs < nowNs;
}

} // namespace jet_engine
