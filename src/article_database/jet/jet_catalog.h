#pragma once
// What libmdb reads for us: the file's format, and table definitions with
// their columns and usage maps. The only place that includes <mdbtools.h>;
// everything else gets our own structures.
//
// libmdb 1.0 prints to stderr when a file is damaged. While one of its calls
// runs, what that thread prints is dropped; all else written to stderr (Qt's
// messages, sanitizer reports, other threads) still reaches it.

#include "article_database/status.h"
#include "article_database/jet/jet_layout.h"

#include <cstdint>
#include <memory>
#include <string>

namespace article_database {

class JetCatalog {
public:
    // Opens the file behind `fd` (which the caller keeps open) read-only.
    static Outcome<std::unique_ptr<JetCatalog>> open(int fd);
    ~JetCatalog();
    JetCatalog(const JetCatalog &) = delete;
    JetCatalog &operator=(const JetCatalog &) = delete;

    const FileFormat &format() const { return m_format; }

    // The definition starting at `page`, checked against a file of
    // `pageCount` pages; ReadFailed when it does not hold together.
    Outcome<TableLayout> table(std::uint32_t page, const std::string &name, std::uint64_t pageCount);

private:
    struct Handle;
    JetCatalog(std::unique_ptr<Handle> handle, FileFormat format);
    std::unique_ptr<Handle> m_handle;
    FileFormat m_format;
};

} // namespace article_database
