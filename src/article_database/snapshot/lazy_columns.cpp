#include "article_database/snapshot/lazy_columns.h"

#include "article_database/jet/stored_text.h"
#include "article_database/snapshot/table_reader.h"

#include <unistd.h>

namespace article_database {

FileColumnSource::FileColumnSource(int fd, FileFormat format, TableLayout table, FileIdentity state,
                                   std::uint64_t pagesDigest, std::uint32_t rows)
    : m_fd(fd)
    , m_format(format)
    , m_table(std::move(table))
    , m_state(state)
    , m_pagesDigest(pagesDigest)
    , m_rows(rows)
{
}

FileColumnSource::~FileColumnSource() { ::close(m_fd); }

Outcome<ColumnValues> FileColumnSource::load(std::size_t column) const
{
    if (column >= m_table.columns.size() || identify(m_fd) != m_state)
        return Status::ReadFailed;
    std::unique_ptr<CodePageText> jet3;
    if (m_format.jet3 && !(jet3 = CodePageText::open(m_format.codePage)))
        return Status::ReadFailed;
    auto read = readColumns(m_fd, m_state.size, m_format, m_table, jet3.get(), {static_cast<unsigned>(column)});
    if (!read.ok())
        return read.status();
    // Rows read from other pages than the snapshot's would not line up
    // with its other columns.
    if (read.value().rows != m_rows || read.value().pagesDigest != m_pagesDigest || identify(m_fd) != m_state)
        return Status::ReadFailed;
    return std::move(read.value().columns.front());
}

} // namespace article_database
