#pragma once
// The file behind one Database and the last table read from it. The table is
// read once and then kept up to date with the file on disk: every request
// first looks at the path again, and a change of its size, times, inode or
// device means catching up before answering. While the file's times are not
// behind the clock they may hide a change, and its bytes are compared as
// well.
//
// A program that keeps the file open while it writes may leave its times as
// they were for hours (Windows updates them when the writer closes it). So
// while the table is in use, a check on the pool reads the whole file every
// few seconds and compares its pages: an answer is never older than
// `staleAtMost` on a local file. A table not asked for in `idleAfter` is not
// checked; the first request after that checks first. Catching up reads only
// the rows of the pages that changed, and reads the table whole only when
// too much changed.

#include "jet_engine/platform/operating_system.h"
#include "jet_engine/pool/worker_pool.h"
#include "jet_engine/format/jet_file.h"
#include "jet_engine/tables/snapshot.h"
#include "jet_engine/watch/file_state.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace jet_engine {

class SnapshotCache {
public:
    static constexpr std::chrono::seconds checkEvery{2};
    static constexpr std::chrono::seconds staleAtMost{5};
    static constexpr std::chrono::seconds idleAfter{60};
    // What a check may read on average from a file another machine serves.
    static constexpr std::uint64_t networkBytesPerSecond = 4 << 20;

    // How long after one check the next starts, for a file of `fileSize`
    // bytes: a network file's checks are spread so as to keep within the
    // rate above.
    static std::chrono::milliseconds checkInterval(std::uint64_t fileSize, bool onNetwork);

    // `system` outlives the cache and every snapshot it returns. Background
    // work runs on `pool`; without one there is none.
    static Outcome<std::shared_ptr<SnapshotCache>> open(OperatingSystem &system, const std::string &path,
                                                        std::shared_ptr<WorkerPool> pool = nullptr);
    // Stops, then waits for the background work.
    ~SnapshotCache();
    SnapshotCache(const SnapshotCache &) = delete;
    SnapshotCache &operator=(const SnapshotCache &) = delete;

    // The table's rows as the file holds them now. A table read afresh has
    // its first column and the columns named in `alsoRead` read; other
    // columns are read when first asked for.
    Outcome<std::shared_ptr<const Snapshot>> table(std::string_view name, const std::vector<std::string> &alsoRead = {})
    {
        return table(name, alsoRead, &m_closing, true);
    }
    // Only the definition: whether the table exists, its column names.
    Outcome<std::vector<std::string>> columnNames(std::string_view name);

    // Reads the table's first column and `column`, folds and indexes them in
    // the background, so that the first search finds most of it done. Once
    // per cache: later reads find it read or read it themselves.
    void preload(std::string name, std::string column);

    // Indexes a column of a snapshot in the background; searches scan until
    // it is ready. One build at a time: asked while one runs, it leaves it
    // to the next search to ask again.
    void indexInBackground(std::shared_ptr<const Snapshot> snapshot, std::size_t column);

    // Times the kept table caught up with a change: a test or a benchmark
    // waits on it.
    std::uint64_t changesSeen() const { return m_changesSeen.load(); }
    // Checks the file now, as the background check does.
    void checkNow();

    // Every read of the file and every index build, under way or to come,
    // stops where it stands; returns without waiting for them. Reads asked
    // for afterwards fail with ReadFailed.
    void stop();

private:
    SnapshotCache(OperatingSystem &system, std::string path, std::shared_ptr<WorkerPool> pool);
    // As table(), stopped by `cancel`. `asked`: by a user, whose requests
    // keep the checks going; a read ahead only says the table is fresh.
    Outcome<std::shared_ptr<const Snapshot>> table(std::string_view name, const std::vector<std::string> &alsoRead,
                                                   const std::atomic<bool> *cancel, bool asked);
    Outcome<std::shared_ptr<const Snapshot>> tableLocked(std::string_view name, const std::vector<std::string> &alsoRead,
                                                         const std::atomic<bool> *cancel, bool asked);
    Outcome<std::shared_ptr<const Snapshot>> readLocked(std::string_view name, const std::vector<std::string> &alsoRead,
                                                        const std::atomic<bool> *cancel);
    Status reopenLocked(const FileIdentity &now);
    // Brings the kept table up to `state`, a capture with every page's
    // digest: null when it must be read whole instead.
    Outcome<std::shared_ptr<const Snapshot>> catchUpLocked(FileState state);
    // Captures the file with every page's digest and catches up.
    Outcome<std::shared_ptr<const Snapshot>> checkLocked(const std::atomic<bool> *cancel);
    // After a background check: when catching up found too much changed,
    // reads the kept table whole again.
    void readWholeIfNeededLocked(const Outcome<std::shared_ptr<const Snapshot>> &caught,
                                 const std::atomic<bool> *cancel);
    void check(const WorkToken &work);
    // Notes a request (`asked`: by a user), and starts the checks again if
    // they had stopped.
    void askedLocked(bool asked);
    bool idleLocked() const;

    OperatingSystem &m_system;
    const std::string m_path;
    std::mutex m_mutex;
    std::unique_ptr<JetFile> m_file;
    std::optional<FileIdentity> m_fileIdentity;
    std::shared_ptr<const Snapshot> m_cached;
    std::string m_cachedName;
    std::vector<std::string> m_cachedAlsoRead;
    // The file the cached table was read from.
    std::optional<FileState> m_cachedState;
    std::vector<char> m_watchBuffer;
    // Set by stop(): reads and index builds stop where they stand.
    std::atomic<bool> m_closing{false};
    std::atomic<bool> m_preloaded{false};
    std::atomic<bool> m_indexing{false};
    // The last request, when there is a pool and its clock.
    std::chrono::steady_clock::time_point m_lastAsked;
    bool m_checking = false;
    bool m_onNetwork = false;
    std::vector<char> m_checkBuffer;
    std::atomic<std::uint64_t> m_changesSeen{0};
    // Last: its work, which uses every member above, ends first.
    WorkerPool::Group m_work;
};

} // namespace jet_engine
