#pragma once
// Tells a Jet file from anything else by its first page, before any of its
// other pages is read.

#include "jet_engine/format/jet_layout.h"
#include "jet_engine/platform/operating_system.h"
#include "jet_engine/status.h"

#include <cstdint>

namespace jet_engine {

struct FileFacts {
    std::uint64_t size = 0;
    std::uint64_t pageCount = 0;
    FileFormat format;
};

// FileNotFound for a directory; NotADatabase for what is no Jet file or too
// short to hold a catalog.
Outcome<FileFacts> sniffFile(const ReadableFile &file);

} // namespace jet_engine
