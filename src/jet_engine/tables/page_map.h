#pragma once
// Where the rows of a table read whole came from: its data pages in the
// order walked, the rows each lists, and the pages its rows borrowed (a
// moved row's data, long values), each with the digest it had when read.
// A later state of the file, page by page, then says which rows must be
// read again and which can be kept.

#include "jet_engine/format/page_source.h"

#include <cstdint>
#include <vector>

namespace jet_engine {

struct PageMap {
    struct Borrowed {
        std::uint32_t number = 0;
        std::uint64_t digest = 0;
        // The index in `pages` of the page listing the row that borrowed it.
        std::uint32_t byPage = 0;
    };

    std::vector<std::uint32_t> pages;
    std::vector<std::uint64_t> digests;
    // The rows listed on pages[i] are firstRow[i] .. firstRow[i + 1).
    std::vector<std::uint32_t> firstRow{0};
    std::vector<Borrowed> borrowed;

    // Appends `later`, whose rows follow this map's.
    void append(const PageMap &later);
};

} // namespace jet_engine
