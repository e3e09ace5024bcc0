#pragma once
// The file behind one Database and the last table read from it. The table is
// read once and then reused for as long as the file on disk stays the one it
// was read from: every request first looks at the path again, and any change
// (or a change too recent to tell apart from the read) means reading afresh.
// Bigram indexes for the columns searched are built on a background thread.

#include "mdb_file.h"
#include "snapshot.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace article_database {

// What tells one state of a file from another without reading it.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;

    friend bool operator==(const FileIdentity &, const FileIdentity &) = default;
};

std::optional<FileIdentity> identify(const std::string &path);

class SnapshotCache {
public:
    static Outcome<std::shared_ptr<SnapshotCache>> open(const std::string &path);
    ~SnapshotCache();
    SnapshotCache(const SnapshotCache &) = delete;
    SnapshotCache &operator=(const SnapshotCache &) = delete;

    struct Table {
        std::shared_ptr<const Snapshot> snapshot;
        TableRef ref;
    };

    // The table's rows as the file holds them now.
    Outcome<Table> table(std::string_view name);
    // Only the definition: whether the table exists, its column names.
    Outcome<std::vector<std::string>> columnNames(std::string_view name);

    // Reads the table, folds its text columns and indexes them on the
    // background thread, so that the first search finds them ready.
    void preload(std::string name);
    // Has the column's bigram index built on the background thread, unless
    // it exists or the thread is busy.
    void indexLater(const std::shared_ptr<const Snapshot> &snapshot, std::size_t column);

private:
    explicit SnapshotCache(std::string path);
    Outcome<Table> tableLocked(std::string_view name);
    Outcome<Table> readLocked(std::string_view name);
    Status reopenLocked(const FileIdentity &now, std::int64_t startNs);
    void runInBackground(std::function<void()> work);
    void index(const std::shared_ptr<const Snapshot> &snapshot, std::size_t column, std::uint64_t generation);

    const std::string m_path;
    std::mutex m_mutex;
    std::unique_ptr<JetFile> m_file;
    std::optional<FileIdentity> m_fileIdentity;
    Table m_cached;
    std::string m_cachedName;
    std::optional<FileIdentity> m_cachedIdentity;
    // Raised when the cached snapshot is replaced or the cache destroyed:
    // an index for a snapshot nobody will search again is not worth building.
    std::atomic<std::uint64_t> m_generation{0};
    std::atomic<bool> m_stopping{false};

    std::mutex m_workerMutex;
    std::thread m_worker;
    std::atomic<bool> m_workerBusy{false};
};

} // namespace article_database
