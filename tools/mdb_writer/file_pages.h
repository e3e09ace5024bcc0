#pragma once
// The held file as pages of its format. Internal to the writer; a page
// beyond the file or one that is not what it should be is a WriteError.

#include "data_page.h"
#include "held_file.h"
#include "jet_layout.h"

#include <cstdint>

namespace mdb_writer::detail {

class FilePages {
public:
    // As many pages as the file has now; a WriteError when its size is not
    // a whole number of pages.
    FilePages(HeldFile &file, const JetVersion &version);

    HeldFile &file() { return m_file; }
    const JetVersion &version() const { return m_version; }
    std::uint32_t count() const { return m_count; }
    // `out` takes a whole page.
    void read(std::uint32_t page, std::uint8_t *out);
    DataPage rowPage(std::uint32_t page, std::uint32_t owner);

private:
    HeldFile &m_file;
    const JetVersion &m_version;
    std::uint32_t m_count;
};

} // namespace mdb_writer::detail
