#include "jet_engine/search/find_bytes.h"

#include "jet_engine/search/kernel_variants.h"
#include "jet_engine/search/simd_dispatch.h"
#include "jet_engine/search/simd_vector.h"

#include <cstdint>
#include <cstring>

namespace jet_engine {

namespace {

#if FICHE_X86

// Fewer positions left than one vector holds: a call to memchr would cost
// more than looking at them, which matters for short rows.
std::size_t findTail(const char *haystack, std::size_t at, std::size_t candidates, std::string_view needle)
{
    for (; at < candidates; ++at)
        if (haystack[at] == needle.front() && std::memcmp(haystack + at + 1, needle.data() + 1, needle.size() - 1) == 0)
            return at;
    return std::string_view::npos;
}

// The first hit among the positions `mask` marks from `at` on.
template <typename Mask>
bool firstHit(const char *haystack, std::size_t at, Mask mask, std::string_view needle, std::size_t &hit)
{
    while (mask) {
        const std::size_t candidate = at + static_cast<std::size_t>(__builtin_ctzll(mask));
        if (std::memcmp(haystack + candidate + 1, needle.data() + 1, needle.size() - 2) == 0) {
            hit = candidate;
            return true;
        }
        mask &= mask - 1;
    }
    return false;
}

// Positions from `at` where the first and the last byte are in place.
template <typename V>
FICHE_KERNEL_INLINE std::uint32_t endsInPlace(const char *haystack, std::size_t at, std::size_t length, V first, V last)
{
    return (V::equal(V::load(haystack + at), first) & V::equal(V::load(haystack + at + length - 1), last)).mask();
}

// Two vectors a step: the loads of the second overlap the tests of the
// first, which is what lets one core approach the memory's speed.
template <typename V>
FICHE_KERNEL_INLINE std::size_t findBytesWith(const char *haystack, std::size_t size, std::string_view needle)
{
    const std::size_t length = needle.size();
    if (length < 2 || size < length)
        return findBytesPortable(haystack, size, needle);
    const std::size_t candidates = size - length + 1;
    const V first = V::splat(needle.front());
    const V last = V::splat(needle.back());
    std::size_t at = 0;
    for (; at + 2 * V::width <= candidates; at += 2 * V::width) {
        const std::uint64_t mask = std::uint64_t(endsInPlace(haystack, at, length, first, last))
            | std::uint64_t(endsInPlace(haystack, at + V::width, length, first, last)) << V::width;
        if (std::size_t hit; mask && firstHit(haystack, at, mask, needle, hit))
            return hit;
    }
    for (; at + V::width <= candidates; at += V::width)
        if (std::size_t hit; firstHit(haystack, at, endsInPlace(haystack, at, length, first, last), needle, hit))
            return hit;
    return findTail(haystack, at, candidates, needle);
}

#endif

} // namespace

std::size_t findBytesPortable(const char *haystack, std::size_t size, std::string_view needle)
{
    const std::string_view all(haystack, size);
    return all.find(needle);
}

#if FICHE_X86

std::size_t findBytesSse2(const char *haystack, std::size_t size, std::string_view needle)
{
    return findBytesWith<Sse2Vector>(haystack, size, needle);
}

FICHE_AVX2 std::size_t findBytesAvx2(const char *haystack, std::size_t size, std::string_view needle)
{
    return findBytesWith<Avx2Vector>(haystack, size, needle);
}

#endif

std::size_t findBytes(const char *haystack, std::size_t size, std::string_view needle)
{
    return pickedKernels.findBytes(haystack, size, needle);
}

} // namespace jet_engine
