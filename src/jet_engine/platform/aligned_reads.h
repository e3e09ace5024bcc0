#pragma once
// A file opened past the system's cache is read in whole units only: each
// read starts at a multiple of the unit, asks for a multiple of it and lands
// in memory aligned to it. A caller's read at any offset and size goes
// through a buffer of whole units, and only its own bytes are handed on.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace jet_engine {

// The most a buffer of whole units holds: a larger read is made of several.
constexpr std::size_t alignedReadBytes = std::size_t{1} << 20;

// Whole units of a file: `offset` and `size` multiples of the unit.
struct AlignedSpan {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// The whole units of `alignment` bytes (a power of two) that hold the `size`
// bytes at `offset`. Nothing when they would end past the largest offset a
// system reads at (2^63 - 1): no file holds bytes there.
std::optional<AlignedSpan> alignedSpan(std::uint64_t offset, std::uint64_t size, std::size_t alignment);

// One read of the system, aligned as above: the bytes read, fewer when the
// file ends first, none at or past its end; nothing on an error.
using AlignedRead = std::function<std::optional<std::size_t>(std::uint64_t offset, void *into, std::size_t size)>;

// Reads `size` bytes at `offset` into `into`, or fewer when the file ends
// first, through `read` in whole units of `alignment` bytes (a power of two).
// Nothing when a read of the system fails, or when no buffer can be had.
std::optional<std::size_t> readAligned(std::uint64_t offset, void *into, std::size_t size, std::size_t alignment,
                                       const AlignedRead &read);

} // namespace jet_engine
