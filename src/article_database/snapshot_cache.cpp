#include "snapshot_cache.h"

#include "text_fold.h"

#include <ctime>
#include <new>

#include <sys/stat.h>

namespace article_database {

namespace {

std::int64_t nanoseconds(const timespec &t)
{
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

std::int64_t realTimeNs()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return nanoseconds(now);
}

// File times come from a clock that only advances once per kernel tick, so a
// write landing in the same tick as our read can leave every field of the
// identity unchanged. A state younger than this is never trusted to still
// be the same later.
constexpr std::int64_t racyWindowNs = 100'000'000;

bool settledBefore(const FileIdentity &identity, std::int64_t startNs)
{
    return identity.changedNs < startNs - racyWindowNs && identity.modifiedNs < startNs - racyWindowNs;
}

} // namespace

std::optional<FileIdentity> identify(const std::string &path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    FileIdentity identity;
    identity.device = static_cast<std::uint64_t>(info.st_dev);
    identity.inode = static_cast<std::uint64_t>(info.st_ino);
    identity.size = static_cast<std::int64_t>(info.st_size);
    identity.modifiedNs = nanoseconds(info.st_mtim);
    identity.changedNs = nanoseconds(info.st_ctim);
    return identity;
}

SnapshotCache::SnapshotCache(std::string path) : m_path(std::move(path)) {}

Outcome<std::shared_ptr<SnapshotCache>> SnapshotCache::open(const std::string &path)
{
    std::shared_ptr<SnapshotCache> cache(new SnapshotCache(path));
    const std::int64_t startNs = realTimeNs();
    const auto identity = identify(path);
    auto file = JetFile::open(path);
    if (!file.ok())
        return file.status();
    cache->m_file = std::move(file.value());
    // Taken before the open, the identity is never newer than what was
    // opened, so a change in between shows at the first search.
    if (identity && settledBefore(*identity, startNs))
        cache->m_fileIdentity = identity;
    return cache;
}

SnapshotCache::~SnapshotCache()
{
    std::lock_guard lock(m_workerMutex);
    if (m_worker.joinable())
        m_worker.join();
}

Status SnapshotCache::reopenLocked(const FileIdentity &now, std::int64_t startNs)
{
    m_file.reset();
    m_fileIdentity.reset();
    // The database was open: whatever the file has become, it broke
    // while in use.
    auto file = JetFile::open(m_path);
    if (!file.ok())
        return Status::ReadFailed;
    m_file = std::move(file.value());
    if (settledBefore(now, startNs))
        m_fileIdentity = now;
    return Status::Ok;
}

Outcome<std::vector<std::string>> SnapshotCache::columnNames(std::string_view name)
{
    std::lock_guard lock(m_mutex);
    const std::int64_t startNs = realTimeNs();
    const auto now = identify(m_path);
    if (!now)
        return Status::ReadFailed;
    if (m_cachedIdentity == now && sameName(m_cachedName, name))
        return m_cached.snapshot->columnNames();
    if (!m_file || m_fileIdentity != now)
        if (const Status status = reopenLocked(*now, startNs); status != Status::Ok)
            return status;
    const auto ref = m_file->findTable(name);
    if (!ref)
        return Status::NoSuchTable;
    return m_file->columnNames(*ref);
}

Outcome<SnapshotCache::Table> SnapshotCache::table(std::string_view name)
{
    std::lock_guard lock(m_mutex);
    return tableLocked(name);
}

Outcome<SnapshotCache::Table> SnapshotCache::tableLocked(std::string_view name)
{
    const auto now = identify(m_path);
    if (!now)
        return Status::ReadFailed;
    if (m_cachedIdentity == now && sameName(m_cachedName, name))
        return m_cached;
    // One retry: a file that changes under two reads in a row is being
    // rewritten, and no state of it can be told to be whole.
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto read = readLocked(name);
        if (read.ok() || read.status() != Status::ReadFailed || attempt == 1)
            return read;
    }
    return Status::ReadFailed;
}

// Reads the table between two looks at the file; rows read while it changed
// are dropped as ReadFailed, never mixed into an answer.
Outcome<SnapshotCache::Table> SnapshotCache::readLocked(std::string_view name)
{
    const std::int64_t startNs = realTimeNs();
    const auto before = identify(m_path);
    if (!before)
        return Status::ReadFailed;
    if (!m_file || m_fileIdentity != before)
        if (const Status status = reopenLocked(*before, startNs); status != Status::Ok)
            return status;
    const auto ref = m_file->findTable(name);
    if (!ref)
        return identify(m_path) == before ? Status::NoSuchTable : Status::ReadFailed;
    auto snapshot = m_file->readTable(*ref);
    if (identify(m_path) != before) {
        m_file.reset();
        m_fileIdentity.reset();
        return Status::ReadFailed;
    }
    if (!snapshot.ok())
        return snapshot.status();

    m_cached = {std::move(snapshot.value()), *ref};
    m_cachedName = std::string(name);
    if (settledBefore(*before, startNs))
        m_cachedIdentity = before;
    else
        m_cachedIdentity.reset();
    return m_cached;
}

void SnapshotCache::preload(std::string name)
{
    std::lock_guard lock(m_workerMutex);
    // Once per database: later opens of a table find it read or read it
    // themselves.
    if (m_worker.joinable())
        return;
    m_worker = std::thread([this, name = std::move(name)] {
        try {
            auto read = table(name);
            if (!read.ok())
                return;
            const Snapshot &snapshot = *read.value().snapshot;
            for (std::size_t column = 0; column < snapshot.columnCount(); ++column)
                if (snapshot.column(column).kind == FieldValue::Kind::Text)
                    snapshot.bigrams(column);
        } catch (const std::bad_alloc &) {
            // The first search reads the table itself, and fails as it must.
        }
    });
}

} // namespace article_database
