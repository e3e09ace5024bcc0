#pragma once
// Tells a Jet file from anything else by its first bytes, before libmdb
// sees it, so that libmdb's complaints about other files never arise.

#include "article_database/status.h"

#include <cstdint>

namespace article_database {

struct FileFacts {
    std::uint64_t size = 0;
    std::uint64_t pageCount = 0;
    std::uint32_t pageSize = 4096;
    bool jet3 = false;
};

// FileNotFound for a directory; NotADatabase for what is no Jet file or too
// short to hold a catalog.
Outcome<FileFacts> sniffFile(int fd);

} // namespace article_database
