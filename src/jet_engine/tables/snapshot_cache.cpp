#include "jet_engine/tables/snapshot_cache.h"

#include "jet_engine/tables/table_read.h"
#include "jet_engine/tables/table_refresh.h"
#include "jet_engine/query/text_fold.h"

#include <algorithm>

#include <new>

namespace jet_engine {

SnapshotCache::SnapshotCache(OperatingSystem &system, std::string path, std::shared_ptr<WorkerPool> pool)
    : m_system(system)
    , m_path(std::move(path))
    , m_work(std::move(pool))
{
}

std::chrono::milliseconds SnapshotCache::checkInterval(std::uint64_t fileSize, bool onNetwork)
{
    const std::chrono::milliseconds every = checkEvery;
    if (!onNetwork)
        return every;
    return std::max(every, std::chrono::milliseconds(fileSize * 1000 / networkBytesPerSecond));
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
    cache->m_onNetwork = system.onNetwork(path);
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
                                                               const std::atomic<bool> *cancel, bool asked)
{
    std::lock_guard lock(m_mutex);
    return tableLocked(name, alsoRead, cancel, asked);
}

Outcome<std::shared_ptr<const Snapshot>> SnapshotCache::tableLocked(std::string_view name,
                                                                    const std::vector<std::string> &alsoRead,
                                                                    const std::atomic<bool> *cancel, bool asked)
{
    const auto now = regularFileAt(m_system, m_path);
    if (!now)
        return Status::ReadFailed;
    const bool kept = m_cachedState && sameName(m_cachedName, name);
    // Times that have not settled may hide a change: the check below
    // compares the bytes, once.
    if (kept && !idleLocked() && m_cachedState->settled() && m_cachedState->identity() == *now) {
        askedLocked(asked);
        return m_cached;
    }
    if (kept) {
        auto caught = checkLocked(cancel);
        if (caught.ok() && caught.value()) {
            askedLocked(asked);
            return caught;
        }
        if (cancel->load(std::memory_order_relaxed) || m_closing.load(std::memory_order_relaxed))
            return Status::ReadFailed;
    }
    // One retry: a file that changes under two reads in a row is being
    // rewritten, and no state of it can be told to be whole. A stopped
    // read is not tried again.
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto read = readLocked(name, alsoRead, cancel);
        if (read.ok()) {
            if (kept)
                ++m_changesSeen;
            askedLocked(asked);
        }
        if (read.ok() || read.status() != Status::ReadFailed || attempt == 1
            || cancel->load(std::memory_order_relaxed) || m_closing.load(std::memory_order_relaxed))
            return read;
    }
    return Status::ReadFailed;
}

Outcome<std::shared_ptr<const Snapshot>> SnapshotCache::checkLocked(const std::atomic<bool> *cancel)
{
    auto state = FileState::capture(m_system, m_path, m_watchBuffer, cancel, FileState::Digests::Always, m_onNetwork);
    if (!state)
        return Status::ReadFailed;
    return catchUpLocked(std::move(*state));
}

Outcome<std::shared_ptr<const Snapshot>> SnapshotCache::catchUpLocked(FileState state)
{
    if (!m_cachedState)
        return std::shared_ptr<const Snapshot>();
    const FileIdentity &was = m_cachedState->identity();
    const FileIdentity &is = state.identity();
    if (was == is)
        if (const auto changed = m_cachedState->changedPages(state); changed && changed->empty()) {
            m_cachedState = std::move(state);
            return m_cached;
        }
    // Another file now lies at the path: none of the kept rows are its.
    if (was.volume != is.volume || was.file != is.file)
        return std::shared_ptr<const Snapshot>();
    if (!m_file || m_fileIdentity != is)
        if (const Status status = reopenLocked(is); status != Status::Ok)
            return status;
    const auto ref = m_file->findTable(m_cachedName);
    if (!ref)
        return std::shared_ptr<const Snapshot>();
    // Another machine's change is read from that machine, not from what
    // this one kept of the file.
    std::unique_ptr<ReadableFile> pastCache;
    if (m_onNetwork) {
        auto opened = m_system.openPastCache(m_path);
        if (!opened.ok())
            return Status::ReadFailed;
        pastCache = std::move(opened.value());
    }
    auto caught = refreshTable(*m_file, *ref, m_cached, state, m_system, pastCache.get());
    if (!caught.ok() || !caught.value())
        return caught;
    if (caught.value() != m_cached)
        ++m_changesSeen;
    m_cached = caught.value();
    m_cachedState = std::move(state);
    return m_cached;
}

bool SnapshotCache::idleLocked() const
{
    const auto &pool = m_work.pool();
    return pool && pool->now() - m_lastAsked >= idleAfter;
}

void SnapshotCache::askedLocked(bool asked)
{
    const auto &pool = m_work.pool();
    if (!pool)
        return;
    m_lastAsked = pool->now();
    if (!asked || m_checking || !m_cachedState)
        return;
    m_checking = true;
    m_work.post([this](const WorkToken &work) { check(work); },
                checkInterval(m_cachedState->identity().size, m_onNetwork));
}

void SnapshotCache::check(const WorkToken &work)
{
    {
        std::lock_guard lock(m_mutex);
        if (idleLocked()) {
            m_checking = false;
            return;
        }
    }
    // Read before taking the lock: a keystroke never waits for the file.
    auto state = FileState::capture(m_system, m_path, m_checkBuffer, work, FileState::Digests::Always, m_onNetwork);
    std::lock_guard lock(m_mutex);
    m_checking = false;
    if (work.cancelled() || m_closing.load(std::memory_order_relaxed))
        return;
    if (state && m_cachedState)
        readWholeIfNeededLocked(catchUpLocked(std::move(*state)), work.flag());
    if (idleLocked() || !m_cachedState)
        return;
    m_checking = true;
    m_work.post([this](const WorkToken &next) { check(next); },
                checkInterval(m_cachedState->identity().size, m_onNetwork));
}

void SnapshotCache::checkNow()
{
    std::lock_guard lock(m_mutex);
    if (!m_cachedState)
        return;
    readWholeIfNeededLocked(checkLocked(&m_closing), &m_closing);
}

void SnapshotCache::readWholeIfNeededLocked(const Outcome<std::shared_ptr<const Snapshot>> &caught,
                                            const std::atomic<bool> *cancel)
{
    if (caught.ok() && !caught.value() && readLocked(m_cachedName, m_cachedAlsoRead, cancel).ok())
        ++m_changesSeen;
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
    if (!wholeTable(snapshot.value()->origin()->layout, snapshot.value()->rowCount(), *before))
        return Status::ReadFailed;

    m_cached = std::move(snapshot.value());
    m_cachedName = std::string(name);
    m_cachedAlsoRead = alsoRead;
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
        auto read = table(name, {column}, work.flag(), false);
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
