#include "jet_engine/engine.h"

#include "jet_engine/query/like_pattern.h"
#include "jet_engine/query/query_text.h"
#include "jet_engine/row_stream.h"
#include "jet_engine/tables/snapshot.h"
#include "jet_engine/tables/snapshot_cache.h"
#include "jet_engine/stream/table_stream.h"
#include "jet_engine/platform/operating_system.h"
#include "jet_engine/pool/worker_pool.h"
#include "jet_engine/text/unicode_text.h"
#include "jet_engine/query/text_fold.h"
#include "jet_engine/search/search_text.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace jet_engine {

namespace {

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
    SnapshotRecordset(std::shared_ptr<SnapshotCache> cache, std::string table)
        : m_cache(std::move(cache))
        , m_table(std::move(table))
    {
    }

    // The rows of `snapshot` selected by a condition on column `searched`,
    // which holds no null in any of them.
    SnapshotRecordset(std::shared_ptr<const Snapshot> snapshot, std::shared_ptr<const RowList> rows, std::size_t searched)
        : m_snapshot(std::move(snapshot))
        , m_rows(std::move(rows))
        , m_selected(true)
        , m_searched(searched)
        , m_loaded(true)
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
        // A column not read with the rows is read now, from the same state
        // of the file, or the read fails.
        const auto column = static_cast<std::size_t>(index);
        try {
            if (!m_snapshot->readable(column))
                return Status::ReadFailed;
        } catch (const std::bad_alloc &) {
            return Status::OutOfMemory;
        }
        return m_snapshot->value(column, rowAt(m_position));
    }

    Outcome<FieldRun> restOfField(int index) override
    {
        if (const Status status = load(); status != Status::Ok)
            return status;
        if (index < 0 || static_cast<std::size_t>(index) >= m_snapshot->columnCount())
            return Status::NoSuchColumn;
        try {
            const auto column = static_cast<std::size_t>(index);
            if (!m_snapshot->readable(column))
                return Status::ReadFailed;
            const std::size_t from = std::min(m_position, count());
            auto kept = std::make_shared<RunRows>();
            kept->snapshot = m_snapshot;
            const std::uint32_t *rows = nullptr;
            std::size_t size = count() - from;
            const bool nullsSelected = !m_selected || column != m_searched;
            if (nullsSelected && m_snapshot->anyNull(column)) {
                kept->own.reserve(size);
                for (std::size_t i = from; i < count(); ++i)
                    if (const std::uint32_t row = rowAt(i); !m_snapshot->isNull(column, row))
                        kept->own.push_back(row);
                rows = kept->own.data();
                size = kept->own.size();
            } else if (m_selected) {
                kept->shared = m_rows;
                rows = m_rows->data() + from;
            }
            m_position = count();
            return m_snapshot->run(column, rows, static_cast<std::uint32_t>(from), size, std::move(kept));
        } catch (const std::bad_alloc &) {
            return Status::OutOfMemory;
        }
    }

    std::shared_ptr<const void> storage() const override
    {
        load();
        return m_snapshot;
    }

private:
    // What a run of field values keeps alive: the text, and its row numbers.
    struct RunRows {
        std::shared_ptr<const Snapshot> snapshot;
        std::shared_ptr<const RowList> shared;
        std::vector<std::uint32_t> own;
    };

    std::size_t count() const { return m_selected ? m_rows->size() : m_snapshot->rowCount(); }
    std::uint32_t rowAt(std::size_t position) const
    {
        return m_selected ? (*m_rows)[position] : static_cast<std::uint32_t>(position);
    }

    // Asked at every step of a walk over a quarter of a million rows: once
    // loaded, the answer must cost no more than a load of a flag.
    Status load() const
    {
        if (m_loaded.load(std::memory_order_acquire))
            return m_loadStatus;
        std::call_once(m_loadOnce, [this] {
            if (m_snapshot)
                return;
            try {
                auto read = m_cache->table(m_table);
                if (read.ok())
                    m_snapshot = std::move(read.value());
                else
                    m_loadStatus = read.status();
            } catch (const std::bad_alloc &) {
                m_loadStatus = Status::OutOfMemory;
            }
            m_cache.reset();
            m_loaded.store(true, std::memory_order_release);
        });
        return m_loadStatus;
    }

    mutable std::shared_ptr<SnapshotCache> m_cache;
    std::string m_table;
    mutable std::once_flag m_loadOnce;
    mutable std::shared_ptr<const Snapshot> m_snapshot;
    mutable Status m_loadStatus = Status::Ok;
    // Shared with the runs taken from the set.
    std::shared_ptr<const RowList> m_rows;
    bool m_selected = false;
    std::size_t m_searched = 0;
    mutable std::atomic<bool> m_loaded{false};
    std::size_t m_position = 0;
};

class JetDatabase final : public Database {
public:
    JetDatabase(std::shared_ptr<SnapshotCache> cache, std::shared_ptr<WorkerPool> pool)
        : m_cache(std::move(cache))
        , m_pool(std::move(pool))
    {
    }

    Outcome<std::shared_ptr<Recordset>> openRecordset(std::u16string_view nameOrQuery) override
    {
        try {
            return open(nameOrQuery);
        } catch (const std::bad_alloc &) {
            return Status::OutOfMemory;
        }
    }

    void prepare(std::u16string_view table, std::u16string_view column) override
    {
        try {
            std::lock_guard lock(m_preparedMutex);
            m_preparedTable = toUtf8(table);
            m_preparedColumn = toUtf8(column);
            m_cache->preload(m_preparedTable, m_preparedColumn);
        } catch (const std::bad_alloc &) {
            // Searches read and scan the table themselves.
        }
    }

private:
    bool prepared(std::string_view table, std::string_view column)
    {
        std::lock_guard lock(m_preparedMutex);
        return sameName(m_preparedTable, table) && sameName(m_preparedColumn, column);
    }

    Outcome<std::shared_ptr<Recordset>> open(std::u16string_view nameOrQuery)
    {
        auto parsed = parseQueryText(nameOrQuery);
        if (!parsed.ok())
            return parsed.status();
        const QueryText &query = parsed.value();

        const auto names = m_cache->columnNames(query.table);
        if (!names.ok())
            return names.status();
        if (!query.condition)
            return std::shared_ptr<Recordset>(std::make_shared<SnapshotRecordset>(m_cache, query.table));
        if (!columnIndex(names.value(), query.condition->column))
            return Status::NoSuchColumn;
        const auto pattern = LikePattern::compile(query.condition->pattern);
        if (!pattern.ok())
            return pattern.status();

        auto read = m_cache->table(query.table, {std::string(query.condition->column)});
        if (!read.ok())
            return read.status();
        std::shared_ptr<const Snapshot> snapshot = std::move(read.value());
        const auto column = columnIndex(snapshot->columnNames(), query.condition->column);
        if (!column)
            return Status::NoSuchColumn;
        if (!snapshot->readable(*column))
            return Status::ReadFailed;
        auto rows = m_rowLists->share(selectRows(*snapshot, *column, pattern.value(), m_pool.get(), m_rowLists.get()));
        if (prepared(query.table, query.condition->column))
            m_cache->indexInBackground(snapshot, *column);
        return std::shared_ptr<Recordset>(std::make_shared<SnapshotRecordset>(std::move(snapshot), std::move(rows), *column));
    }

    std::shared_ptr<SnapshotCache> m_cache;
    std::shared_ptr<WorkerPool> m_pool;
    // A search's rows are written where the answer before last was.
    std::shared_ptr<RowLists> m_rowLists = std::make_shared<RowLists>();
    std::mutex m_preparedMutex;
    std::string m_preparedTable;
    std::string m_preparedColumn;
};

class JetRowStream final : public RowStream {
public:
    explicit JetRowStream(std::unique_ptr<TableStream> rows) : m_rows(std::move(rows)) {}

    Outcome<bool> next() override
    {
        try {
            return m_rows->next();
        } catch (const std::bad_alloc &) {
            return Status::OutOfMemory;
        }
    }

    FieldValue firstColumn() const override { return m_rows->firstColumn(); }

private:
    std::unique_ptr<TableStream> m_rows;
};

class JetStreamedDatabase final : public StreamedDatabase {
public:
    explicit JetStreamedDatabase(std::unique_ptr<StreamedFile> file) : m_file(std::move(file)) {}

    Outcome<std::unique_ptr<RowStream>> query(std::u16string_view nameOrQuery) override
    {
        try {
            auto parsed = parseQueryText(nameOrQuery);
            if (!parsed.ok())
                return parsed.status();
            auto rows = m_file->stream(parsed.value());
            if (!rows.ok())
                return rows.status();
            return std::unique_ptr<RowStream>(std::make_unique<JetRowStream>(std::move(rows.value())));
        } catch (const std::bad_alloc &) {
            return Status::OutOfMemory;
        }
    }

private:
    std::unique_ptr<StreamedFile> m_file;
};

// A run gathered row by row: its values copied, each followed by the
// separator the engine's own columns use.
struct CopiedValues {
    std::string text;
    std::vector<std::uint32_t> offsets{0};
};

// A step of the walk that runs out of memory has failed, like one that says so.
bool atEnd(const Recordset &set)
{
    try {
        const auto eof = set.eof();
        return !eof.ok() || eof.value();
    } catch (const std::bad_alloc &) {
        return true;
    }
}

bool movedOn(Recordset &set)
{
    try {
        return set.moveNext() == Status::Ok;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

// The current row's field, unless it is null or cannot be read or kept.
void keepField(const Recordset &set, int index, CopiedValues &into, FieldValue::Kind &kind)
{
    const std::size_t before = into.text.size();
    try {
        const auto value = set.field(index);
        if (!value.ok() || value.value().isNull())
            return;
        const std::string_view text = value.value().text;
        // The run's offsets are 32 bits.
        if (text.size() >= std::numeric_limits<std::uint32_t>::max() - before)
            return;
        into.text.append(text);
        into.text.push_back(valueSeparator);
        into.offsets.push_back(static_cast<std::uint32_t>(into.text.size()));
        kind = value.value().kind;
    } catch (const std::bad_alloc &) {
        into.text.resize(before);
    }
}

} // namespace

// A failed end test or move ends the walk with the rows read so far: going on
// past either would read the same row again and again. A row whose field
// fails is only left out.
Outcome<FieldRun> Recordset::restOfField(int index)
{
    std::shared_ptr<CopiedValues> copied;
    try {
        copied = std::make_shared<CopiedValues>();
    } catch (const std::bad_alloc &) {
        return Status::OutOfMemory;
    }
    FieldValue::Kind kind = FieldValue::Kind::Text;
    while (!atEnd(*this)) {
        keepField(*this, index, *copied, kind);
        if (!movedOn(*this))
            break;
    }
    const char *text = copied->text.data();
    const std::uint32_t *offsets = copied->offsets.data();
    const std::size_t count = copied->offsets.size() - 1;
    return FieldRun(kind, text, offsets, nullptr, 0, count, std::move(copied));
}

void Database::prepare(std::u16string_view, std::u16string_view) {}

Engine::Engine() : Engine(operatingSystem()) {}
Engine::Engine(OperatingSystem &system) : m_system(system), m_pool(WorkerPool::forThisMachine()) {}
Engine::~Engine() { m_pool->close(); }

Outcome<std::shared_ptr<Database>> Engine::openDatabase(const std::string &path, bool exclusive, bool readOnly)
{
    // Whatever the caller asks for, the file is opened for reading only.
    static_cast<void>(exclusive);
    static_cast<void>(readOnly);
    try {
        auto cache = SnapshotCache::open(m_system, path, m_pool);
        if (!cache.ok())
            return cache.status();
        return std::shared_ptr<Database>(std::make_shared<JetDatabase>(std::move(cache.value()), m_pool));
    } catch (const std::bad_alloc &) {
        return Status::OutOfMemory;
    }
}

Outcome<std::unique_ptr<StreamedDatabase>> Engine::openStreamed(const std::string &path)
{
    try {
        auto file = StreamedFile::open(m_system, path, m_pool);
        if (!file.ok())
            return file.status();
        return std::unique_ptr<StreamedDatabase>(std::make_unique<JetStreamedDatabase>(std::move(file.value())));
    } catch (const std::bad_alloc &) {
        return Status::OutOfMemory;
    }
}

} // namespace jet_engine
