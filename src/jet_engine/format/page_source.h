#pragma once
// Pages of a Jet file, read at their offsets into buffers of our own. The
// file is never mapped: another program may cut it short while we read, and
// a mapped file cut short kills the reader. Pages read in ascending order come in
// large blocks; pages looked up here and there (moved rows, long values,
// usage map pages) one at a time, each kind in a buffer of its own so that
// a page of one kind stays valid while pages of another are read.

#include "jet_engine/platform/operating_system.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace jet_engine {

// The digest of one page's `size` bytes (fewer than a page for a file's cut
// last page). The engine's only one: a page summed while its rows are walked
// and the same page summed while the whole file is watched compare equal.
std::uint64_t pageDigest(const unsigned char *page, std::size_t size);

// A page looked up aside from the walk over data pages, and its digest: what
// a table's rows took from other pages than their own.
struct BorrowedPage {
    std::uint32_t number = 0;
    std::uint64_t digest = 0;
};

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

    // From now on, every page given for the Overflow or LongValue slot is
    // also appended to `log` (null: no longer), which outlives the source.
    void logBorrowedTo(std::vector<BorrowedPage> *log) { m_log = log; }

private:
    const unsigned char *logged(std::uint32_t number, Slot slot, const unsigned char *page);

    bool inBlock(std::uint32_t number) const;

    const ReadableFile &m_file;
    std::uint32_t m_pageSize;
    std::uint64_t m_pageCount;
    std::vector<unsigned char> m_block;
    std::uint64_t m_blockFirst = 0;
    std::uint64_t m_blockPages = 0;
    std::vector<unsigned char> m_single[static_cast<int>(Slot::Count)];
    std::vector<BorrowedPage> *m_log = nullptr;
};

} // namespace jet_engine
