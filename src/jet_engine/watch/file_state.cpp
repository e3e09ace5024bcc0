#include "jet_engine/watch/file_state.h"

#include "jet_engine/format/file_header.h"
#include "jet_engine/format/row_cursor.h"

#include <algorithm>

namespace jet_engine {

namespace {

// Small enough to stay in the core's cache between the copy out of the page
// cache and the digests: at 1 MiB blocks the same file took 3 times as long.
// A whole number of pages of either size.
constexpr std::size_t blockBytes = std::size_t{1} << 16;
// A file whose first page names no Jet format is cut at Jet 4's page size:
// any size would do, as long as two looks at it cut it alike.
constexpr std::uint32_t otherPageSize = 4096;

// Reads the file at `path` to its end through `buffer`, handing `take` the
// digest of each `pageSize` bytes in order (the last page may be cut short).
// A `pageSize` of 0 is set to the size the file's first page names. False
// when the file cannot be read to its end, `cancel` is set, or `take`
// returns false. `work`, when given, is given way before every block.
// `pastCache`: read past this machine's cache of the file.
template <typename Take>
bool digestPages(OperatingSystem &system, const std::string &path, std::uint32_t &pageSize, std::vector<char> &buffer,
                 const std::atomic<bool> *cancel, Take take, const WorkToken *work = nullptr,
                 bool pastCache = false)
{
    if (buffer.size() < blockBytes)
        buffer.resize(blockBytes);
    const auto file = pastCache ? system.openPastCache(path) : system.openForReading(path);
    if (!file.ok())
        return false;
    const auto *bytes = reinterpret_cast<const unsigned char *>(buffer.data());
    std::uint64_t at = 0;
    for (;;) {
        // Looked at before every block: reading a large file takes about as
        // long as reading its rows.
        if (cancel && cancel->load(std::memory_order_relaxed))
            return false;
        if (work && !work->giveWay())
            return false;
        const auto got = file.value()->read(at, buffer.data(), blockBytes);
        if (!got)
            return false;
        if (*got == 0)
            return true;
        if (pageSize == 0) {
            const auto format = readHeader(bytes, *got);
            pageSize = format.ok() ? format.value().pageSize : otherPageSize;
        }
        // Only whole pages, unless the file ends within one: a read cut
        // short by a file that grows meanwhile must not shift every later
        // page's number.
        const std::size_t whole = *got - *got % pageSize;
        const std::size_t taken = whole ? whole : *got;
        for (std::size_t start = 0; start < taken; start += pageSize)
            if (!take(pageDigest(bytes + start, std::min<std::size_t>(pageSize, taken - start))))
                return false;
        if (!whole)
            return true;
        at += taken;
    }
}

} // namespace

std::optional<FileIdentity> regularFileAt(OperatingSystem &system, const std::string &path)
{
    auto identity = system.identify(path);
    if (!identity || identity->kind != FileKind::Regular)
        return std::nullopt;
    return identity;
}

std::optional<FileState> FileState::capture(OperatingSystem &system, const std::string &path,
                                            std::vector<char> &buffer, const std::atomic<bool> *cancel,
                                            Digests digests, bool pastCache)
{
    return capture(system, path, buffer, cancel, digests, nullptr, pastCache);
}

std::optional<FileState> FileState::capture(OperatingSystem &system, const std::string &path,
                                            std::vector<char> &buffer, const WorkToken &work, Digests digests,
                                            bool pastCache)
{
    return capture(system, path, buffer, work.flag(), digests, &work, pastCache);
}

std::optional<FileState> FileState::capture(OperatingSystem &system, const std::string &path,
                                            std::vector<char> &buffer, const std::atomic<bool> *cancel,
                                            Digests digests, const WorkToken *work, bool pastCache)
{
    const auto identity = regularFileAt(system, path);
    if (!identity)
        return std::nullopt;
    FileState state;
    state.m_path = path;
    state.m_identity = *identity;
    state.m_settled = behindTheClock(*identity, system.fileClockNs());
    if (state.m_settled && digests == Digests::WhenUnsettled)
        return state;
    std::vector<std::uint64_t> &kept = state.m_pageDigests;
    const bool read = digestPages(system, path, state.m_pageSize, buffer, cancel, [&](std::uint64_t digest) {
        kept.push_back(digest);
        return true;
    }, work, pastCache);
    if (!read)
        return std::nullopt;
    // An empty file names no page size.
    if (state.m_pageSize == 0)
        state.m_pageSize = otherPageSize;
    return state;
}

bool FileState::unchanged(OperatingSystem &system, std::vector<char> &buffer, const std::atomic<bool> *cancel) const
{
    const auto now = system.identify(m_path);
    return now && unchanged(*now, system, buffer, cancel);
}

bool FileState::unchanged(const FileIdentity &now, OperatingSystem &system, std::vector<char> &buffer,
                          const std::atomic<bool> *cancel) const
{
    if (now != m_identity)
        return false;
    if (m_settled)
        return true;
    // The first page that differs answers: the rest need not be read.
    std::uint32_t pageSize = m_pageSize;
    std::size_t page = 0;
    const bool same = digestPages(system, m_path, pageSize, buffer, cancel, [&](std::uint64_t digest) {
        return page < m_pageDigests.size() && m_pageDigests[page++] == digest;
    });
    return same && page == m_pageDigests.size();
}

std::optional<std::uint64_t> FileState::digestOf(std::uint32_t page) const
{
    // A last page cut short is no page a table can use.
    if (page >= m_pageDigests.size() || (static_cast<std::uint64_t>(page) + 1) * m_pageSize > m_identity.size)
        return std::nullopt;
    return m_pageDigests[page];
}

std::optional<std::vector<std::uint32_t>> FileState::changedPages(const FileState &later) const
{
    if (m_pageSize == 0 || later.m_pageSize != m_pageSize)
        return std::nullopt;
    const std::size_t common = std::min(m_pageDigests.size(), later.m_pageDigests.size());
    const std::size_t pages = std::max(m_pageDigests.size(), later.m_pageDigests.size());
    std::vector<std::uint32_t> changed;
    for (std::size_t page = 0; page < pages; ++page)
        if (page >= common || m_pageDigests[page] != later.m_pageDigests[page])
            changed.push_back(static_cast<std::uint32_t>(page));
    return changed;
}

} // namespace jet_engine
