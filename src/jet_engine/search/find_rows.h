#pragma once
// The search a keystroke pays over a whole column while no index is ready:
// every value holding a needle, in one pass over values packed one after the
// other, each ended by valueSeparator (which the needle never holds). The row
// of a hit is the count of separators before it, so a common pair of letters
// costs no search per hit. The bytes are compared folded as read
// (foldByteAsRead) when asked, as they are otherwise. The widest variant the
// processor has is picked once, at start-up.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace jet_engine {

// Appends to `rows`, in order and each once, the numbers of the values that
// hold `needle`, counted from `firstRow`.
void findRows(const char *values, std::size_t size, std::string_view needle, std::uint32_t firstRow,
              std::vector<std::uint32_t> &rows, bool foldAsRead);

} // namespace jet_engine
