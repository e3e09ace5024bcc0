#pragma once
// The vector instructions the search kernels run with, decided once per
// process before main, and the kernels written for each such level.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace jet_engine {

// Narrowest first.
enum class SimdLevel { Portable, Sse2, Avx2 };

// The search kernels of one level. Those of find_bytes.h, find_rows.h and
// foldAsRead (search_text.h), and holdsAsRead: whether `value`, `size` bytes
// long and folded as read, holds `needle` (two bytes or more), reading at
// most `readable` bytes from `value`.
struct SearchKernels {
    SimdLevel level;
    std::size_t (*findBytes)(const char *haystack, std::size_t size, std::string_view needle);
    void (*findRows)(const char *values, std::size_t size, std::string_view needle, std::uint32_t firstRow,
                     std::vector<std::uint32_t> &rows, bool foldAsRead);
    void (*foldAsRead)(std::string_view value, std::string &out);
    bool (*holdsAsRead)(const char *value, std::size_t size, std::size_t readable, std::string_view needle);
};

// Whether this processor, and the system for AVX2's registers, has the
// level's instructions.
bool processorHas(SimdLevel level);

// The kernels of `level`, or of the widest level below it that this build
// has; they may run only where processorHas(level).
const SearchKernels &kernelsAt(SimdLevel level);

// The kernels of the widest level the processor has, set before main runs:
// no static initialiser of the engine searches.
extern const SearchKernels pickedKernels;

} // namespace jet_engine
