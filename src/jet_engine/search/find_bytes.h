#pragma once
// The first place a needle's bytes occur in a row's folded text. Sixteen or thirty-two candidate positions are
// tested at a time, kept only where both the needle's first and last bytes
// are in place, so that few positions get a full comparison. The widest
// variant the processor has is picked once, at start-up.

#include <cstddef>
#include <string_view>

namespace jet_engine {

// Position of `needle` in the haystack, or npos.
std::size_t findBytes(const char *haystack, std::size_t size, std::string_view needle);

} // namespace jet_engine
