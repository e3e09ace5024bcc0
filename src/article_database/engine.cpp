#include "engine.h"

#include "like_pattern.h"
#include "mdb_file.h"
#include "query_text.h"
#include "snapshot.h"
#include "text_fold.h"

#include <mutex>
#include <new>

namespace article_database {

namespace {

// One open file shared by a database and the result sets drawn from it;
// libmdb reads through a single page buffer, hence the lock.
struct SharedFile {
    std::mutex mutex;
    std::unique_ptr<JetFile> file;
};

std::optional<std::size_t> columnIndex(const std::vector<std::string> &names, std::string_view name)
{
    for (std::size_t i = 0; i < names.size(); ++i)
        if (sameName(names[i], name))
            return i;
    return std::nullopt;
}

class SnapshotRecordset final : public Recordset {
public:
    // Every row of a table, read from the file when first needed: opening a
    // table must stay cheap, whatever its size.
    SnapshotRecordset(std::shared_ptr<SharedFile> file, TableRef table)
        : m_file(std::move(file))
        , m_table(std::move(table))
    {
    }

    SnapshotRecordset(std::shared_ptr<const Snapshot> snapshot, std::vector<std::uint32_t> rows)
        : m_snapshot(std::move(snapshot))
        , m_rows(std::move(rows))
        , m_selected(true)
    {
    }

    Status moveFirst() override
    {
        if (const Status status = load(); status != Status::Ok)
            return status;
        if (count() == 0)
            return Status::NoCurrentRow;
        m_position = 0;
        return Status::Ok;
    }

    Outcome<bool> eof() const override
    {
        if (const Status status = load(); status != Status::Ok)
            return status;
        return m_position >= count();
    }

    Status moveNext() override
    {
        if (const Status status = load(); status != Status::Ok)
            return status;
        if (m_position >= count())
            return Status::NoCurrentRow;
        ++m_position;
        return Status::Ok;
    }

    Outcome<FieldValue> field(int index) const override
    {
        if (const Status status = load(); status != Status::Ok)
            return status;
        if (index < 0 || static_cast<std::size_t>(index) >= m_snapshot->columnCount())
            return Status::NoSuchColumn;
        if (m_position >= count())
            return Status::NoCurrentRow;
        const std::uint32_t row = m_selected ? m_rows[m_position] : static_cast<std::uint32_t>(m_position);
        return m_snapshot->column(static_cast<std::size_t>(index)).at(row);
    }

    std::shared_ptr<const void> storage() const override
    {
        load();
        return m_snapshot;
    }

private:
    std::size_t count() const { return m_selected ? m_rows.size() : m_snapshot->rowCount(); }

    Status load() const
    {
        std::call_once(m_loadOnce, [this] {
            if (m_snapshot)
                return;
            try {
                std::lock_guard lock(m_file->mutex);
                auto snapshot = m_file->file->readTable(m_table);
                if (snapshot.ok())
                    m_snapshot = std::move(snapshot.value());
                else
                    m_loadStatus = snapshot.status();
            } catch (const std::bad_alloc &) {
                m_loadStatus = Status::ReadFailed;
            }
            m_file.reset();
        });
        return m_loadStatus;
    }

    mutable std::shared_ptr<SharedFile> m_file;
    TableRef m_table;
    mutable std::once_flag m_loadOnce;
    mutable std::shared_ptr<const Snapshot> m_snapshot;
    mutable Status m_loadStatus = Status::Ok;
    std::vector<std::uint32_t> m_rows;
    bool m_selected = false;
    std::size_t m_position = 0;
};

class JetDatabase final : public Database {
public:
    explicit JetDatabase(std::unique_ptr<JetFile> file) : m_file(std::make_shared<SharedFile>())
    {
        m_file->file = std::move(file);
    }

    Outcome<std::shared_ptr<Recordset>> openRecordset(std::u16string_view nameOrQuery) override
    {
        try {
            return open(nameOrQuery);
        } catch (const std::bad_alloc &) {
            return Status::ReadFailed;
        }
    }

private:
    Outcome<std::shared_ptr<Recordset>> open(std::u16string_view nameOrQuery)
    {
        auto parsed = parseQueryText(nameOrQuery);
        if (!parsed.ok())
            return parsed.status();
        const QueryText &query = parsed.value();

        std::lock_guard lock(m_file->mutex);
        JetFile &file = *m_file->file;
        const auto table = file.findTable(query.table);
        if (!table)
            return Status::NoSuchTable;
        if (!query.condition)
            return std::shared_ptr<Recordset>(std::make_shared<SnapshotRecordset>(m_file, *table));

        const auto names = file.columnNames(*table);
        if (!names.ok())
            return names.status();
        if (!columnIndex(names.value(), query.condition->column))
            return Status::NoSuchColumn;
        const auto pattern = LikePattern::compile(query.condition->pattern);
        if (!pattern.ok())
            return pattern.status();

        auto snapshot = file.readTable(*table);
        if (!snapshot.ok())
            return snapshot.status();
        const auto column = columnIndex(snapshot.value()->columnNames(), query.condition->column);
        if (!column)
            return Status::NoSuchColumn;
        auto rows = selectRows(*snapshot.value(), *column, pattern.value());
        return std::shared_ptr<Recordset>(
            std::make_shared<SnapshotRecordset>(std::move(snapshot.value()), std::move(rows)));
    }

    std::shared_ptr<SharedFile> m_file;
};

} // namespace

Engine::Engine() = default;
Engine::~Engine() = default;

Outcome<std::shared_ptr<Database>> Engine::openDatabase(const std::string &path, bool exclusive, bool readOnly)
{
    // Whatever the caller asks for, the file is opened for reading only.
    static_cast<void>(exclusive);
    static_cast<void>(readOnly);
    try {
        auto file = JetFile::open(path);
        if (!file.ok())
            return file.status();
        return std::shared_ptr<Database>(std::make_shared<JetDatabase>(std::move(file.value())));
    } catch (const std::bad_alloc &) {
        return Status::NotADatabase;
    }
}

} // namespace article_database
