#pragma once
// Tells a Jet file from anything else by its first page, before any of its
// other pages is read.

#include "article_database/jet/jet_layout.h"
#include "article_database/platform/operating_system.h"
#include "article_database/status.h"

#include <cstdint>

namespace article_database {

struct FileFacts {
    std::uint64_t size = 0;
    std::uint64_t pageCount = 0;
    FileFormat format;
};

// FileNotFound for a directory; NotADatabase for what is no Jet file or too
// short to hold a catalog.
Outcome<FileFacts> sniffFile(const ReadableFile &file);

} // namespace article_database
