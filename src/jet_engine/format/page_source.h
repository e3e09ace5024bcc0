#pragma once
// Pages of a Jet file, read at their offsets into buffers of our own. The
// file is never mapped: another program may cut it short while we read, and
// a mapped file cut short kills the reader. Pages read in ascending order come in
// large blocks; pages looked up here and there (moved rows, long values,
// usage map pages) one at a time, each kind in a buffer of its own so that
// a page of one kind stays valid while pages of another are read.

#include "jet_engine/platform/operating_system.h"

#include <cstdint>
#include <vector>

namespace jet_engine {

class PageSource {
public:
    enum class Slot { Data, Overflow, LongValue, Map, Count };

    // Data pages are read by blocks of this many pages, a block starting at
    // a multiple of it: 1 MiB of Jet 4 pages, few system calls for a whole
    // table, and little memory held while it is read.
    static constexpr std::uint64_t blockPages = 256;

    // `file` stays owned by the caller. `fileSize` fixes which pages exist.
    PageSource(const ReadableFile &file, std::uint32_t pageSize, std::uint64_t fileSize);

    std::uint32_t pageSize() const { return m_pageSize; }
    std::uint64_t pageCount() const { return m_pageCount; }

    // The page's bytes, valid until the next request for the same slot (a
    // Data request also moves what the other slots may point into). Null
    // when the page lies beyond the file or cannot be read whole.
    const unsigned char *page(std::uint32_t number, Slot slot);

private:
    bool inBlock(std::uint32_t number) const;

    const ReadableFile &m_file;
    std::uint32_t m_pageSize;
    std::uint64_t m_pageCount;
    std::vector<unsigned char> m_block;
    std::uint64_t m_blockFirst = 0;
    std::uint64_t m_blockPages = 0;
    std::vector<unsigned char> m_single[static_cast<int>(Slot::Count)];
};

} // namespace jet_engine
