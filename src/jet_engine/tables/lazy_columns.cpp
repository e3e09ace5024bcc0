#include "jet_engine/tables/lazy_columns.h"

#include "jet_engine/tables/table_reader.h"

namespace jet_engine {

namespace {

// Column `column` of every row, with a Jet 3 converter of its own made from
// `jet3`: loads of two columns may run at once.
Outcome<ColumnsRead> readOneColumn(const ReadableFile &file, std::uint64_t fileSize, const FileFormat &format,
                                   const TableLayout &table, const CodePageText *jet3, std::size_t column,
                                   WorkerPool *pool)
{
    if (column >= table.columns.size())
        return Status::ReadFailed;
    std::unique_ptr<CodePageText> own;
    if (format.jet3 && !(jet3 && (own = jet3->another())))
        return Status::ReadFailed;
    return readColumns(file, fileSize, format, table, own.get(), {static_cast<unsigned>(column)}, nullptr, {}, pool);
}

} // namespace

FileColumnSource::FileColumnSource(std::unique_ptr<ReadableFile> file, FileFormat format, TableLayout table,
                                   std::unique_ptr<CodePageText> jet3, FileIdentity state, std::uint64_t pagesDigest,
                                   std::uint32_t rows, std::shared_ptr<WorkerPool> pool)
    : m_file(std::move(file))
    , m_format(format)
    , m_table(std::move(table))
    , m_jet3(std::move(jet3))
    , m_state(state)
    , m_pagesDigest(pagesDigest)
    , m_rows(rows)
    , m_pool(std::move(pool))
{
}

Outcome<ColumnValues> FileColumnSource::load(std::size_t column) const
{
    if (m_file->identity() != m_state)
        return Status::ReadFailed;
    auto read = readOneColumn(*m_file, m_state.size, m_format, m_table, m_jet3.get(), column, m_pool.get());
    if (!read.ok())
        return read.status();
    // Rows read from other pages than the snapshot's would not line up
    // with its other columns.
    if (read.value().rows != m_rows || read.value().pagesDigest != m_pagesDigest || m_file->identity() != m_state)
        return Status::ReadFailed;
    return std::move(read.value().columns.front());
}

RecapturedColumnSource::RecapturedColumnSource(std::unique_ptr<ReadableFile> file, FileFormat format,
                                               TableLayout table, std::unique_ptr<CodePageText> jet3,
                                               OperatingSystem &system, FileState state, std::uint32_t rows)
    : m_file(std::move(file))
    , m_format(format)
    , m_table(std::move(table))
    , m_jet3(std::move(jet3))
    , m_system(system)
    , m_state(std::move(state))
    , m_rows(rows)
{
}

Outcome<ColumnValues> RecapturedColumnSource::load(std::size_t column) const
{
    if (m_file->identity() != m_state.identity())
        return Status::ReadFailed;
    auto read = readOneColumn(*m_file, m_state.identity().size, m_format, m_table, m_jet3.get(), column, nullptr);
    if (!read.ok())
        return read.status();
    std::vector<char> buffer;
    const auto again = FileState::capture(m_system, m_state.path(), buffer, nullptr, FileState::Digests::Always);
    const auto changed = again ? m_state.changedPages(*again) : std::nullopt;
    if (read.value().rows != m_rows || !changed || !changed->empty() || again->identity() != m_state.identity())
        return Status::ReadFailed;
    return std::move(read.value().columns.front());
}

} // namespace jet_engine
