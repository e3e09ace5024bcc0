#include "jet_engine/tables/snapshot_cache.h"

#include "jet_engine/tables/table_read.h"
#include "jet_engine/query/text_fold.h"

#include <new>

namespace jet_engine {

SnapshotCache::SnapshotCache(OperatingSystem &system, std::string path, std::shared_ptr<WorkerPool> pool)
    : m_system(system)
    , m_path(std::move(path))
    , m_work(std::move(pool))
{
}

Outcome<std::shared_ptr<SnapshotCache>> SnapshotCache::open(OperatingSystem &system, const std::string &path,
                                                            std::shared_ptr<WorkerPool> pool)
{
    std::shared_ptr<SnapshotCache> cache(new SnapshotCache(system, path, std::move(pool)));
    // Taken before the open, the identity is never newer than what was
    // opened, so a change in between shows at the first search.
    const auto identity = regularFileAt(system, path);
    const bool settled = identity && behindTheClock(*identity, system.fileClockNs());
    auto file = JetFile::open(system, path);
    if (!file.ok())
        return file.status();
    cache->m_file = std::move(file.value());
    if (settled)
        cache->m_fileIdentity = identity;
    return cache;
}

SnapshotCache::~SnapshotCache()
{
    // Closing the window must not wait for the start-up read to finish.
    stop();
    m_work.cancelAndWait();
}

void SnapshotCache::stop()
{
    m_closing.store(true, std::memory_order_relaxed);
    m_work.cancel();
}

Status SnapshotCache::reopenLocked(const FileIdentity &now)
{
    m_file.reset();
    m_fileIdentity.reset();
    const bool settled = behindTheClock(now, m_system.fileClockNs());
    // The database was open: whatever the file has become, it broke
    // while in use.
    auto file = JetFile::open(m_system, m_path);
    if (!file.ok())
        return Status::ReadFailed;
    m_file = std::move(file.value());
    if (settled)
        m_fileIdentity = now;
    return Status::Ok;
}

Outcome<std::vector<std::string>> SnapshotCache::columnNames(std::string_view name)
{
    std::lock_guard lock(m_mutex);
    const auto now = regularFileAt(m_system, m_path);
    if (!now)
        return Status::ReadFailed;
    if (m_cachedState && m_cachedState->identity() == *now && sameName(m_cachedName, name))
        return m_cached->columnNames();
    if (!m_file || m_fileIdentity != now)
        if (const Status status = reopenLocked(*now); status != Status::Ok)
            return status;
    const auto ref = m_file->findTable(name);
    if (!ref)
        return Status::NoSuchTable;
    return m_file->columnNames(*ref);
}

Outcome<std::shared_ptr<const Snapshot>> SnapshotCache::table(std::string_view name,
                                                               const std::vector<std::string> &alsoRead,
                                                               const std::atomic<bool> *cancel)
{
    std::lock_guard lock(m_mutex);
    return tableLocked(name, alsoRead, cancel);
}

Outcome<std::shared_ptr<const Snapshot>> SnapshotCache::tableLocked(std::string_view name,
                                                                    const std::vector<std::string> &alsoRead,
                                                                    const std::atomic<bool> *cancel)
{
    const auto now = regularFileAt(m_system, m_path);
    if (!now)
        return Status::ReadFailed;
    if (m_cachedState && sameName(m_cachedName, name) && m_cachedState->unchanged(*now, m_system, m_watchBuffer, cancel))
        return m_cached;
    // One retry: a file that changes under two reads in a row is being
    // rewritten, and no state of it can be told to be whole. A stopped
    // read is not tried again.
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto read = readLocked(name, alsoRead, cancel);
        if (read.ok() || read.status() != Status::ReadFailed || attempt == 1
            || cancel->load(std::memory_order_relaxed) || m_closing.load(std::memory_order_relaxed))
            return read;
    }
    return Status::ReadFailed;
}

// Reads the table between two looks at the file; rows read while it changed
// are dropped as ReadFailed, never mixed into an answer.
Outcome<std::shared_ptr<const Snapshot>> SnapshotCache::readLocked(std::string_view name,
                                                                   const std::vector<std::string> &alsoRead,
                                                                   const std::atomic<bool> *cancel)
{
    auto before = FileState::capture(m_system, m_path, m_watchBuffer, cancel);
    if (!before)
        return Status::ReadFailed;
    if (!m_file || m_fileIdentity != before->identity())
        if (const Status status = reopenLocked(before->identity()); status != Status::Ok)
            return status;
    const auto unchanged = [&] { return before->unchanged(m_system, m_watchBuffer, cancel); };
    const auto ref = m_file->findTable(name);
    if (!ref)
        return unchanged() ? Status::NoSuchTable : Status::ReadFailed;
    auto snapshot = readTable(*m_file, *ref, alsoRead, cancel, m_work.pool());
    if (!unchanged()) {
        m_file.reset();
        m_fileIdentity.reset();
        return Status::ReadFailed;
    }
    if (!snapshot.ok())
        return snapshot.status();

    m_cached = std::move(snapshot.value());
    m_cachedName = std::string(name);
    m_cachedState = std::move(before);
    return m_cached;
}

namespace {

// Ends an index build however it ends.
struct Indexed {
    std::atomic<bool> &indexing;
    ~Indexed() { indexing.store(false); }
};

} // namespace

void SnapshotCache::preload(std::string name, std::string column)
{
    if (m_preloaded.exchange(true))
        return;
    m_work.post([this, name = std::move(name), column = std::move(column)](const WorkToken &work) {
        auto read = table(name, {column}, work.flag());
        if (!read.ok())
            return;
        // One build at a time: a second would only wait on this one's,
        // holding a worker a search could use.
        if (m_indexing.exchange(true))
            return;
        const Indexed done{m_indexing};
        const Snapshot &snapshot = *read.value();
        std::vector<std::size_t> indexed{0};
        for (std::size_t i = 1; i < snapshot.columnCount(); ++i)
            if (sameName(snapshot.columnNames()[i], column))
                indexed.push_back(i);
        for (std::size_t i : indexed)
            if (const ColumnValues *values = snapshot.column(i); values && values->kind == FieldValue::Kind::Text)
                snapshot.bigrams(i, &work);
    });
}

void SnapshotCache::indexInBackground(std::shared_ptr<const Snapshot> snapshot, std::size_t column)
{
    if (snapshot->bigramsIfReady(column) || m_indexing.exchange(true))
        return;
    m_work.post([this, snapshot = std::move(snapshot), column](const WorkToken &work) {
        const Indexed done{m_indexing};
        snapshot->bigrams(column, &work);
    });
}

} // namespace jet_engine
