#pragma once
// Reads a snapshot's remaining columns from the file it was read from, on
// its own descriptor, and only while the file's pages are still those the
// snapshot's rows came from.

#include "article_database/snapshot/file_identity.h"
#include "article_database/jet/jet_layout.h"
#include "article_database/snapshot/snapshot.h"

#include <cstdint>

namespace article_database {

class FileColumnSource final : public ColumnSource {
public:
    // Takes ownership of `fd`.
    FileColumnSource(int fd, FileFormat format, TableLayout table, FileIdentity state, std::uint64_t pagesDigest,
                     std::uint32_t rows);
    ~FileColumnSource() override;

    Outcome<ColumnValues> load(std::size_t column) const override;

private:
    int m_fd;
    FileFormat m_format;
    TableLayout m_table;
    FileIdentity m_state;
    std::uint64_t m_pagesDigest;
    std::uint32_t m_rows;
};

} // namespace article_database
