#pragma once
// The pages a table's usage map names, in ascending order. A map is either
// inline (a start page and a bitmap in the map row itself) or a reference
// map (pointers to bitmap pages, each covering a fixed window of pages).

#include "jet_engine/format/page_source.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace jet_engine {

// Nothing when the map is damaged: an unknown kind, a bit or a bitmap page
// beyond the file, a bitmap page that is not one.
std::optional<std::vector<std::uint32_t>> usageMapPages(const std::vector<std::uint8_t> &map, PageSource &pages);

} // namespace jet_engine
