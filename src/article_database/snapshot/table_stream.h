#pragma once
// A query's rows walked straight from the file's pages, matched as they come
// and kept nowhere: what a StreamedDatabase answers with. The file is looked
// at before the walk and again after it, as the snapshot cache looks at it
// (its size, times, inode or file index; its bytes while its times may hide
// a change), since the rows given along the way cannot be taken back.

#include "article_database/field_value.h"
#include "article_database/platform/operating_system.h"
#include "article_database/query/like_pattern.h"
#include "article_database/query/query_text.h"
#include "article_database/snapshot/mdb_file.h"
#include "article_database/snapshot/snapshot.h"
#include "article_database/status.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace article_database {

// What the path named when a walk began; the same again at its end, or the
// rows came from a state of the file that is gone.
struct WatchedFile {
    std::string path;
    FileIdentity identity;
    std::optional<std::uint64_t> hash;
};

class TableStream {
public:
    TableStream(OperatingSystem &system, WatchedFile before, std::shared_ptr<JetFile> file,
                std::unique_ptr<RowWalk> walk, std::optional<LikePattern> pattern, std::size_t searched);

    // To the next row the query selects: true on one, false past the last.
    // Past the last row and on a failure, FileChanged when the file is no
    // longer the one the walk began on.
    Outcome<bool> next();
    // The current row's first column, valid until next().
    FieldValue firstColumn() const { return m_first; }

private:
    Status ended(Status status);
    bool unchanged();

    OperatingSystem &m_system;
    WatchedFile m_before;
    std::shared_ptr<JetFile> m_file;
    std::unique_ptr<RowWalk> m_walk;
    std::optional<LikePattern> m_pattern;
    // Which of the walk's columns the pattern tests: 0 when it is the first.
    std::size_t m_searched;
    FieldValue::Kind m_firstKind;
    std::string m_searchedText;
    FoldedColumn m_folded;
    std::string m_firstText;
    FieldValue m_first;
    std::optional<Status> m_end;
    std::vector<char> m_hashBuffer;
};

// The file a StreamedDatabase answers from.
class StreamedFile {
public:
    // Fails as SnapshotCache::open fails.
    static Outcome<std::unique_ptr<StreamedFile>> open(OperatingSystem &system, const std::string &path);

    // The rows `query` selects, failing where Database::openRecordset fails
    // before it reads any row.
    Outcome<std::unique_ptr<TableStream>> stream(const QueryText &query);

private:
    StreamedFile(OperatingSystem &system, std::string path) : m_system(system), m_path(std::move(path)) {}
    std::optional<FileIdentity> fileAtPath() const;

    OperatingSystem &m_system;
    const std::string m_path;
    std::shared_ptr<JetFile> m_file;
    // What the path named just before m_file was opened.
    std::optional<FileIdentity> m_opened;
    std::vector<char> m_hashBuffer;
};

} // namespace article_database
