#include "jet_engine/search/find_bytes.h"

#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define FICHE_X86 1
#endif

namespace jet_engine {

namespace {

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


using Finder = std::size_t (*)(const char *, std::size_t, std::string_view);

Finder pickFinder()
{
#if FICHE_X86
    if (avx2Available())
        return findBytesAvx2;
    return findBytesSse2;
#else
    return findBytesPortable;
#endif
}

const Finder finder = pickFinder();

} // namespace

std::size_t findBytesPortable(const char *haystack, std::size_t size, std::string_view needle)
{
    const std::string_view all(haystack, size);
    return all.find(needle);
}

#if FICHE_X86

bool avx2Available()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

std::size_t findBytesSse2(const char *haystack, std::size_t size, std::string_view needle)
{
    const std::size_t length = needle.size();
    if (length < 2 || size < length)
        return findBytesPortable(haystack, size, needle);
    const std::size_t candidates = size - length + 1;
    const __m128i first = _mm_set1_epi8(needle.front());
    const __m128i last = _mm_set1_epi8(needle.back());
    std::size_t at = 0;
    for (; at + 16 <= candidates; at += 16) {
        const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i *>(haystack + at));
        const __m128i ends = _mm_loadu_si128(reinterpret_cast<const __m128i *>(haystack + at + length - 1));
        const auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(starts, first), _mm_cmpeq_epi8(ends, last))));
        if (std::size_t hit; firstHit(haystack, at, mask, needle, hit))
            return hit;
    }
    return findTail(haystack, at, candidates, needle);
}

namespace {

// Positions from `at` where the first and the last byte are in place.
__attribute__((target("avx2"))) inline std::uint32_t avx2Matches(const char *haystack, std::size_t at,
                                                                  std::size_t length, __m256i first, __m256i last)
{
    const __m256i starts = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(haystack + at));
    const __m256i ends = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(haystack + at + length - 1));
    return static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(starts, first), _mm256_cmpeq_epi8(ends, last))));
}

} // namespace

// Two vectors a step: the loads of the second overlap the tests of the
// first, which is what lets one core approach the memory's speed.
__attribute__((target("avx2"))) std::size_t findBytesAvx2(const char *haystack, std::size_t size,
                                                           std::string_view needle)
{
    const std::size_t length = needle.size();
    if (length < 2 || size < length)
        return findBytesPortable(haystack, size, needle);
    const std::size_t candidates = size - length + 1;
    const __m256i first = _mm256_set1_epi8(needle.front());
    const __m256i last = _mm256_set1_epi8(needle.back());
    std::size_t at = 0;
    for (; at + 64 <= candidates; at += 64) {
        const std::uint64_t mask = std::uint64_t(avx2Matches(haystack, at, length, first, last))
            | std::uint64_t(avx2Matches(haystack, at + 32, length, first, last)) << 32;
        if (std::size_t hit; mask && firstHit(haystack, at, mask, needle, hit))
            return hit;
    }
    for (; at + 32 <= candidates; at += 32)
        if (std::size_t hit; firstHit(haystack, at, avx2Matches(haystack, at, length, first, last), needle, hit))
            return hit;
    return findTail(haystack, at, candidates, needle);
}

#else

bool avx2Available() { return false; }
std::size_t findBytesSse2(const char *haystack, std::size_t size, std::string_view needle)
{
    return findBytesPortable(haystack, size, needle);
}
std::size_t findBytesAvx2(const char *haystack, std::size_t size, std::string_view needle)
{
    return findBytesPortable(haystack, size, needle);
}
#endif

std::size_t findBytes(const char *haystack, std::size_t size, std::string_view needle)
{
    return finder(haystack, size, needle);
}

} // namespace jet_engine
