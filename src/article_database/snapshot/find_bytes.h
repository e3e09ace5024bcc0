#pragma once
// The search every keystroke pays over a whole folded column: the first
// place a needle's bytes occur. Sixteen or thirty-two candidate positions are
// tested at a time, kept only where both the needle's first and last bytes
// are in place, so that few positions get a full comparison. The widest
// variant the processor has is picked once, at start-up.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace article_database {

// Position of `needle` in the haystack, or npos.
std::size_t findBytes(const char *haystack, std::size_t size, std::string_view needle);

// Every value holding `needle` among values packed one after the other, each
// ended by a 0xFF byte that the needle never holds: their numbers, counted
// from `firstRow`, appended in order to `rows`, each once. One pass, however
// many values hold it: the row of a hit is the count of separators before it.
void findRows(const char *values, std::size_t size, std::string_view needle, std::uint32_t firstRow,
              std::vector<std::uint32_t> &rows);

// Each variant, for tests to compare; the AVX2 ones only where
// avx2Available().
std::size_t findBytesPortable(const char *haystack, std::size_t size, std::string_view needle);
std::size_t findBytesSse2(const char *haystack, std::size_t size, std::string_view needle);
std::size_t findBytesAvx2(const char *haystack, std::size_t size, std::string_view needle);
using RowFinder = void (*)(const char *, std::size_t, std::string_view, std::uint32_t, std::vector<std::uint32_t> &);
void findRowsPortable(const char *values, std::size_t size, std::string_view needle, std::uint32_t firstRow,
                      std::vector<std::uint32_t> &rows);
void findRowsSse2(const char *values, std::size_t size, std::string_view needle, std::uint32_t firstRow,
                  std::vector<std::uint32_t> &rows);
void findRowsAvx2(const char *values, std::size_t size, std::string_view needle, std::uint32_t firstRow,
                  std::vector<std::uint32_t> &rows);
bool avx2Available();

} // namespace article_database
