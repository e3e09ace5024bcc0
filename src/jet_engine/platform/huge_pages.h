#pragma once
// Large buffers of a snapshot are filled once, page after page. On this kind
// of machine each first touch of a 4 KiB page is a costly fault; asking for
// 2 MiB pages where the system allows it makes one fault of 512.

#include <cstddef>

namespace jet_engine {

// Advises the whole 2 MiB pages inside the range; nothing where the system
// has no such advice.
void adviseHugePages(const void *data, std::size_t size);

// Reserves room for `count` elements and advises it before anything touches it.
template <typename Container>
void reserveHuge(Container &container, std::size_t count)
{
    container.reserve(count);
    adviseHugePages(container.data(), container.capacity() * sizeof(*container.data()));
}

} // namespace jet_engine
