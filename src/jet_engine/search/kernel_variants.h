#pragma once
// Each search kernel once per vector level, defined in the kernel's own file
// and gathered into each level's table by the dispatch (simd_dispatch.h,
// where tests take them from); the SSE2 and AVX2 ones exist on x86 only.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace jet_engine {

std::size_t findBytesPortable(const char *haystack, std::size_t size, std::string_view needle);
std::size_t findBytesSse2(const char *haystack, std::size_t size, std::string_view needle);
std::size_t findBytesAvx2(const char *haystack, std::size_t size, std::string_view needle);

void findRowsPortable(const char *values, std::size_t size, std::string_view needle, std::uint32_t firstRow,
                      std::vector<std::uint32_t> &rows, bool foldAsRead);
void findRowsSse2(const char *values, std::size_t size, std::string_view needle, std::uint32_t firstRow,
                  std::vector<std::uint32_t> &rows, bool foldAsRead);
void findRowsAvx2(const char *values, std::size_t size, std::string_view needle, std::uint32_t firstRow,
                  std::vector<std::uint32_t> &rows, bool foldAsRead);

void foldAsReadPortable(std::string_view value, std::string &out);
void foldAsReadSse2(std::string_view value, std::string &out);

bool holdsAsReadPortable(const char *value, std::size_t size, std::size_t readable, std::string_view needle);
bool holdsAsReadSse2(const char *value, std::size_t size, std::size_t readable, std::string_view needle);
bool holdsAsReadAvx2(const char *value, std::size_t size, std::size_t readable, std::string_view needle);

} // namespace jet_engine
