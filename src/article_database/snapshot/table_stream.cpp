#include "article_database/snapshot/table_stream.h"

#include "article_database/jet/value_decode.h"
#include "article_database/snapshot/content_hash.h"

namespace article_database {

TableStream::TableStream(OperatingSystem &system, WatchedFile before, std::shared_ptr<JetFile> file,
                         std::unique_ptr<RowWalk> walk, std::optional<LikePattern> pattern, std::size_t searched)
    : m_system(system)
    , m_before(std::move(before))
    , m_file(std::move(file))
    , m_walk(std::move(walk))
    , m_pattern(std::move(pattern))
    , m_searched(searched)
    , m_firstKind(kindOf(m_walk->table.columns.front().type))
{
}

bool TableStream::unchanged()
{
    const auto now = m_system.identify(m_before.path);
    return now && *now == m_before.identity
        && (!m_before.hash || contentHash(m_system, m_before.path, m_hashBuffer) == m_before.hash);
}

Status TableStream::ended(Status status)
{
    m_end = unchanged() ? status : Status::FileChanged;
    return *m_end;
}

Outcome<bool> TableStream::next()
{
    if (m_end)
        return *m_end == Status::Ok ? Outcome<bool>(false) : Outcome<bool>(*m_end);
    TableRows &rows = *m_walk->rows;
    for (;;) {
        const RowCursor::Step step = rows.next();
        if (step == RowCursor::Step::End) {
            if (const Status status = ended(Status::Ok); status != Status::Ok)
                return status;
            return false;
        }
        if (step == RowCursor::Step::Damaged)
            return ended(Status::ReadFailed);
        if (m_pattern) {
            if (rows.isNull(m_searched))
                continue;
            m_searchedText.clear();
            if (!rows.append(m_searched, m_searchedText))
                return ended(Status::ReadFailed);
            m_folded.bytes.clear();
            m_folded.starts.clear();
            appendFoldedRow(m_folded, m_searchedText);
            // Without the separator that ends a folded row.
            if (!m_pattern->matches(std::string_view(m_folded.bytes).substr(0, m_folded.bytes.size() - 1)))
                continue;
        }
        if (rows.isNull(0)) {
            m_first = {};
        } else if (m_pattern && m_searched == 0) {
            m_first = {m_firstKind, m_searchedText};
        } else {
            m_firstText.clear();
            if (!rows.append(0, m_firstText))
                return ended(Status::ReadFailed);
            m_first = {m_firstKind, m_firstText};
        }
        return true;
    }
}

std::optional<FileIdentity> StreamedFile::fileAtPath() const
{
    auto identity = m_system.identify(m_path);
    if (!identity || identity->kind != FileKind::Regular)
        return std::nullopt;
    return identity;
}

Outcome<std::unique_ptr<StreamedFile>> StreamedFile::open(OperatingSystem &system, const std::string &path)
{
    std::unique_ptr<StreamedFile> streamed(new StreamedFile(system, path));
    // Taken before the open, the identity is never newer than what was
    // opened.
    streamed->m_opened = streamed->fileAtPath();
    auto file = JetFile::open(system, path);
    if (!file.ok())
        return file.status();
    streamed->m_file = std::move(file.value());
    return streamed;
}

Outcome<std::unique_ptr<TableStream>> StreamedFile::stream(const QueryText &query)
{
    const auto before = fileAtPath();
    if (!before)
        return Status::ReadFailed;
    WatchedFile watched{m_path, *before, std::nullopt};
    if (!behindTheClock(*before, m_system.fileClockNs())) {
        watched.hash = contentHash(m_system, m_path, m_hashBuffer);
        if (!watched.hash)
            return Status::ReadFailed;
    }
    if (m_opened != before) {
        // The database was open: whatever the file has become, it broke
        // while in use.
        m_file.reset();
        m_opened = before;
        auto file = JetFile::open(m_system, m_path);
        if (!file.ok())
            return Status::ReadFailed;
        m_file = std::move(file.value());
    }

    const auto table = m_file->findTable(query.table);
    if (!table)
        return Status::NoSuchTable;
    auto layout = m_file->definition(*table);
    if (!layout.ok())
        return layout.status();
    std::vector<unsigned> wanted{0};
    std::optional<LikePattern> pattern;
    std::size_t searched = 0;
    if (query.condition) {
        const int column = findColumn(layout.value(), query.condition->column);
        if (column < 0)
            return Status::NoSuchColumn;
        auto compiled = LikePattern::compile(query.condition->pattern);
        if (!compiled.ok())
            return compiled.status();
        pattern = std::move(compiled.value());
        if (column > 0) {
            wanted.push_back(static_cast<unsigned>(column));
            searched = 1;
        }
    }
    auto walk = m_file->walkRows(layout.value(), std::move(wanted));
    if (!walk.ok())
        return walk.status();
    return std::make_unique<TableStream>(m_system, std::move(watched), m_file, std::move(walk.value()),
                                         std::move(pattern), searched);
}

} // namespace article_database
