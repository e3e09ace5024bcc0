#pragma once
// Large buffers of a snapshot are filled once, page after page. On this kind
// of machine each first touch of a 4 KiB page is a costly fault; asking for
// 2 MiB pages where the system allows it makes one fault of 512.

#include <cstddef>
#include <cstdint>

#include <sys/mman.h>

namespace article_database {

inline void adviseHugePages(const void *data, std::size_t size)
{
    constexpr std::uintptr_t huge = std::uintptr_t{1} << 21;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + huge - 1) & ~(huge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(huge - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
}

// Reserves room for `count` elements and advises it before anything touches it.
template <typename Container>
void reserveHuge(Container &container, std::size_t count)
{
    container.reserve(count);
    adviseHugePages(container.data(), container.capacity() * sizeof(*container.data()));
}

} // namespace article_database
