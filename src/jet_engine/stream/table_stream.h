#pragma once
// A query's rows walked straight from the file's pages, matched as they come
// and kept nowhere: what a StreamedDatabase answers with. The table's pages
// are taken in runs, one block of pages each (page_source.h); with a
// processor to spare, helpers on the engine's workers match the next runs
// while the caller gives out the rows of the current one, and the runs are
// given out in order, so the rows come in Jet's order all the same. Only a
// few runs are ever held at once, and a helper with none left to match ends,
// to be posted again as the caller frees some: no worker waits on the caller.
//
// The file is looked at before the walk and again after it, as the snapshot
// cache looks at it (its size, times, inode or file index; its bytes while
// its times may hide a change), since the rows given along the way cannot be
// taken back.

#include "jet_engine/field_value.h"
#include "jet_engine/platform/operating_system.h"
#include "jet_engine/pool/worker_pool.h"
#include "jet_engine/query/query_text.h"
#include "jet_engine/stream/matched_rows.h"
#include "jet_engine/format/jet_file.h"
#include "jet_engine/status.h"
#include "jet_engine/watch/file_state.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace jet_engine {

class TableStream {
public:
    // `before`: the file when the walk began; the same again at its end, or
    // the rows came from a state of it that is gone. Helpers run on `pool`,
    // when there is one.
    TableStream(OperatingSystem &system, FileState before, std::shared_ptr<JetFile> file, TablePages pages,
                RowFilter filter, std::shared_ptr<WorkerPool> pool);
    // Stops the helpers where they stand and waits for them.
    ~TableStream();
    TableStream(const TableStream &) = delete;
    TableStream &operator=(const TableStream &) = delete;

    // To the next row the query selects: true on one, false past the last.
    // Past the last row and on a failure, FileChanged when the file is no
    // longer the one the walk began on.
    Outcome<bool> next();
    // The current row's first column, valid until next().
    FieldValue firstColumn() const { return m_first; }

private:
    struct Run {
        MatchedRows rows;
        bool ready = false;
    };
    // What a helper matches with: its own page reads and, for Jet 3, its
    // own text converter. One per helper that may run at once.
    struct HelperKit {
        std::unique_ptr<CodePageText> jet3;
        std::optional<PageSource> pages;
    };

    std::size_t runCount() const;
    void startHelpers();
    // Posts helpers while runs wait to be matched and kits are free; with
    // m_mutex held.
    void postHelpersLocked();
    void help(const WorkToken &work, HelperKit &kit);
    void match(std::size_t n, std::optional<PageSource> &pages, const CodePageText *jet3, Run &run);
    // The next run in order, matched here or waited for; null past the last.
    // Waits only for a run a helper is matching now.
    Run *takeRun();
    void releaseRun();
    Status ended(Status status);
    bool unchanged();

    OperatingSystem &m_system;
    FileState m_before;
    std::shared_ptr<JetFile> m_file;
    const TablePages m_pages;
    const RowFilter m_filter;

    // Run n: data pages m_runStarts[n] .. m_runStarts[n + 1].
    std::vector<std::size_t> m_runStarts;
    std::vector<Run> m_runs; // a ring: run n in m_runs[n % size]
    // The caller's own, when it matches the runs itself.
    std::optional<PageSource> m_ownPages;
    std::size_t m_current = 0; // the run being given out
    Run *m_run = nullptr;
    std::size_t m_row = 0;
    FieldValue m_first;
    std::optional<Status> m_end;
    std::vector<char> m_watchBuffer;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_claimed = 0; // the next run to be matched, by a helper or the caller
    bool m_stopping = false;
    std::vector<HelperKit> m_kits;
    std::vector<HelperKit *> m_freeKits;
    // Last: the helpers, which use every member above, end first.
    WorkerPool::Group m_helpers;
};

// The file a StreamedDatabase answers from.
class StreamedFile {
public:
    // Fails as SnapshotCache::open fails. Walks are helped by `pool`'s
    // workers, when there is one.
    static Outcome<std::unique_ptr<StreamedFile>> open(OperatingSystem &system, const std::string &path,
                                                       std::shared_ptr<WorkerPool> pool = nullptr);

    // The rows `query` selects, failing where Database::openRecordset fails
    // before it reads any row.
    Outcome<std::unique_ptr<TableStream>> stream(const QueryText &query);

private:
    StreamedFile(OperatingSystem &system, std::string path, std::shared_ptr<WorkerPool> pool)
        : m_system(system)
        , m_path(std::move(path))
        , m_pool(std::move(pool))
    {
    }

    OperatingSystem &m_system;
    const std::string m_path;
    const std::shared_ptr<WorkerPool> m_pool;
    std::shared_ptr<JetFile> m_file;
    // What the path named just before m_file was opened.
    std::optional<FileIdentity> m_opened;
    std::vector<char> m_watchBuffer;
};

} // namespace jet_engine
