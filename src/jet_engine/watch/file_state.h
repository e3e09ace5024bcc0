#pragma once
// Remembers what a database file was at one moment, so that a later look can
// tell whether it is still exactly that file and, when it is not, which of
// its pages changed.
//
// Its identity (file_identity.h) tells most changes for the cost of one look
// at the path. While its times are not behind the file clock, a write may
// leave them all as they were, and only the bytes tell: then every page's
// digest is kept, and compared on the next look.

#include "jet_engine/platform/operating_system.h"
#include "jet_engine/pool/worker_pool.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace jet_engine {

// What `path` names now, when that is a regular file.
std::optional<FileIdentity> regularFileAt(OperatingSystem &system, const std::string &path);

class FileState {
public:
    enum class Digests {
        // Only while the times may hide a write: a look at a file whose
        // times have settled costs one look at its path.
        WhenUnsettled,
        // Whatever the times, for a caller that will ask which pages changed.
        Always,
    };

    // The file at `path` as it is now. Its bytes, when read, go through
    // `buffer`, kept by the caller so that looking again allocates nothing.
    // Empty when the path names no regular file, when the bytes cannot be
    // read to their end, or when `cancel` is set while they are read.
    static std::optional<FileState> capture(OperatingSystem &system, const std::string &path,
                                            std::vector<char> &buffer, const std::atomic<bool> *cancel = nullptr,
                                            Digests digests = Digests::WhenUnsettled, bool pastCache = false);
    // The same as background work: it stops when `work` is cancelled, and
    // leaves the processor to every search under way. `pastCache`: the bytes
    // are read past this machine's cache, for a file another machine serves.
    static std::optional<FileState> capture(OperatingSystem &system, const std::string &path,
                                            std::vector<char> &buffer, const WorkToken &work, Digests digests,
                                            bool pastCache = false);

    const std::string &path() const { return m_path; }
    const FileIdentity &identity() const { return m_identity; }
    // Whether its times were behind the file clock when captured.
    bool settled() const { return m_settled; }

    // Whether the path still names the file captured: the same identity and,
    // when its times had not settled, the same bytes. False as well when
    // those bytes cannot be read or `cancel` is set while they are.
    bool unchanged(OperatingSystem &system, std::vector<char> &buffer,
                   const std::atomic<bool> *cancel = nullptr) const;
    // The same, for a caller that has just found `now` at the path.
    bool unchanged(const FileIdentity &now, OperatingSystem &system, std::vector<char> &buffer,
                   const std::atomic<bool> *cancel = nullptr) const;

    // The pages, numbered as in the file and in order, whose bytes in
    // `later` differ from these; pages past the shorter file's end count as
    // changed. Empty when either capture kept no digests, or the two were cut
    // into pages of different sizes: then no page is known to be unchanged.
    std::optional<std::vector<std::uint32_t>> changedPages(const FileState &later) const;

    // The page size its digests were taken at; 0 when none were.
    std::uint32_t pageSize() const { return m_pageSize; }
    // Page `page`'s digest, when one was taken of a whole page.
    std::optional<std::uint64_t> digestOf(std::uint32_t page) const;

private:
    FileState() = default;
    static std::optional<FileState> capture(OperatingSystem &system, const std::string &path,
                                            std::vector<char> &buffer, const std::atomic<bool> *cancel,
                                            Digests digests, const WorkToken *work, bool pastCache);

    std::string m_path;
    FileIdentity m_identity;
    bool m_settled = false;
    // 0 when no digest was taken.
    std::uint32_t m_pageSize = 0;
    std::vector<std::uint64_t> m_pageDigests;
};

} // namespace jet_engine
