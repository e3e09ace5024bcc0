#pragma once
// The byte vectors the search kernels are written over, each operation one
// instruction: sixteen bytes with SSE2, which every x86-64 processor has,
// thirty-two with AVX2, compiled for that processor alone so that the rest
// of the build stays baseline x86-64.

#include <cstddef>
#include <cstdint>
#include <type_traits>

#if defined(__x86_64__) || defined(__i386__)
#define FICHE_X86 1
#include <immintrin.h>
#endif

// A kernel written over vectors is inlined whole into the function compiled
// for its level, where the vectors' operations are then inlined too: an
// AVX2 one can be inlined only into a function compiled for AVX2, so none
// is forced inline itself.
#define FICHE_KERNEL_INLINE __attribute__((always_inline)) inline

namespace jet_engine {

// What a kernel is written over where the processor has no vectors: its
// vector loops are left out, and it takes every byte one at a time.
struct NoVectors {};

template <typename V>
constexpr bool hasVectors = !std::is_same_v<V, NoVectors>;

#if FICHE_X86

// The functions an AVX2 kernel is compiled into; only the dispatch calls
// them, once it knows the processor has AVX2.
#define FICHE_AVX2 __attribute__((target("avx2")))

struct Sse2Vector {
    static constexpr std::size_t width = 16;
    __m128i bytes;

    static Sse2Vector load(const void *from)
    {
        return {_mm_loadu_si128(static_cast<const __m128i *>(from))};
    }
    static Sse2Vector splat(char byte) { return {_mm_set1_epi8(byte)}; }
    void store(void *to) const { _mm_storeu_si128(static_cast<__m128i *>(to), bytes); }

    // All ones in each byte where `a` and `b` are equal, else zero.
    static Sse2Vector equal(Sse2Vector a, Sse2Vector b) { return {_mm_cmpeq_epi8(a.bytes, b.bytes)}; }
    // Each byte the smaller of `a`'s and `b`'s, taken unsigned.
    static Sse2Vector min(Sse2Vector a, Sse2Vector b) { return {_mm_min_epu8(a.bytes, b.bytes)}; }
    // `a` with the bits of `b` cleared.
    static Sse2Vector andNot(Sse2Vector a, Sse2Vector b) { return {_mm_andnot_si128(b.bytes, a.bytes)}; }
    friend Sse2Vector operator&(Sse2Vector a, Sse2Vector b) { return {_mm_and_si128(a.bytes, b.bytes)}; }
    friend Sse2Vector operator|(Sse2Vector a, Sse2Vector b) { return {_mm_or_si128(a.bytes, b.bytes)}; }
    // Byte by byte, wrapping.
    friend Sse2Vector operator+(Sse2Vector a, Sse2Vector b) { return {_mm_add_epi8(a.bytes, b.bytes)}; }
    friend Sse2Vector operator-(Sse2Vector a, Sse2Vector b) { return {_mm_sub_epi8(a.bytes, b.bytes)}; }

    // The top bit of each byte, the first byte's lowest.
    std::uint32_t mask() const { return static_cast<std::uint32_t>(_mm_movemask_epi8(bytes)); }
};

// Only what the AVX2 kernels take: rows are folded sixteen bytes at a time
// whatever the processor (simd_dispatch.cpp).
struct Avx2Vector {
    static constexpr std::size_t width = 32;
    __m256i bytes;

    FICHE_AVX2 static Avx2Vector load(const void *from)
    {
        return {_mm256_loadu_si256(static_cast<const __m256i *>(from))};
    }
    FICHE_AVX2 static Avx2Vector splat(char byte) { return {_mm256_set1_epi8(byte)}; }

    FICHE_AVX2 static Avx2Vector equal(Avx2Vector a, Avx2Vector b)
    {
        return {_mm256_cmpeq_epi8(a.bytes, b.bytes)};
    }
    FICHE_AVX2 friend Avx2Vector operator&(Avx2Vector a, Avx2Vector b)
    {
        return {_mm256_and_si256(a.bytes, b.bytes)};
    }
    FICHE_AVX2 friend Avx2Vector operator|(Avx2Vector a, Avx2Vector b)
    {
        return {_mm256_or_si256(a.bytes, b.bytes)};
    }

    FICHE_AVX2 std::uint32_t mask() const { return static_cast<std::uint32_t>(_mm256_movemask_epi8(bytes)); }
};

#endif

} // namespace jet_engine
