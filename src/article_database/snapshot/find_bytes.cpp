#include "article_database/snapshot/find_bytes.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define FICHE_X86 1
#endif

namespace article_database {

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

constexpr char separator = static_cast<char>(0xFF);

// Row finding keeps its place between blocks of positions: the row the next
// position lies in, the last row found, and whether the rest of that row can
// be passed over.
class RowScan {
public:
    RowScan(const char *values, std::string_view needle, std::uint32_t firstRow, std::vector<std::uint32_t> &rows)
        : m_values(values)
        , m_needle(needle)
        , m_row(firstRow)
        , m_rows(rows)
        , m_found(rows.size())
    {
    }
    RowScan(const RowScan &) = delete;
    RowScan &operator=(const RowScan &) = delete;
    ~RowScan() { m_rows.resize(m_found); }

    // The candidates `mask` marks in the block at `at`, whose separators
    // `separators` marks; then on past the block. Room for a row per
    // position is made first, so that a hit is one unconditional store.
    // `Pairs` says the needle is two bytes or less, once for the whole scan.
    template <bool Pairs, typename Mask>
    void block(std::size_t at, Mask mask, Mask separators)
    {
        if constexpr (Pairs) {
            makeRoom(sizeof(Mask) * 8);
            pairBlock(mask, separators);
        } else if (mask) {
            makeRoom(sizeof(Mask) * 8);
            verifiedBlock(at, mask, separators);
        } else {
            m_skipping &= separators == 0;
        }
        m_row += static_cast<std::uint32_t>(__builtin_popcountll(separators));
    }

    // Position by position, from `at` to the last place the needle fits.
    void tail(std::size_t at, std::size_t candidates)
    {
        makeRoom(candidates - at);
        for (; at < candidates; ++at) {
            if (m_values[at] == separator)
                ++m_row;
            else if (m_values[at] == m_needle.front() && m_values[at + m_needle.size() - 1] == m_needle.back()
                     && holdsRest(at))
                add(m_row);
        }
    }

private:
    // Within the capacity a caller reserved, a little at a time: each
    // slot made is written once more, as zero.
    void makeRoom(std::size_t more)
    {
        if (m_found + more <= m_rows.size())
            return;
        const std::size_t wanted = m_found + more + 4096;
        m_rows.resize(wanted <= m_rows.capacity() ? wanted : std::max(wanted, m_rows.size() * 2));
    }

    bool holdsRest(std::size_t at) const
    {
        return m_needle.size() < 3 || std::memcmp(m_values + at + 1, m_needle.data() + 1, m_needle.size() - 2) == 0;
    }

    void add(std::uint32_t row)
    {
        m_rows[m_found] = row;
        m_found += row != m_last;
        m_last = row;
    }

    // A two-byte needle needs no comparison: every candidate is a hit.
    // Blocks hold none, one or two of them about equally often, so two are
    // taken without a branch that could be mispredicted.
    template <typename Mask>
    void pairBlock(Mask mask, Mask separators)
    {
        std::uint32_t *out = m_rows.data();
        do {
            for (int i = 0; i < 2; ++i) {
                const Mask lowest = mask & (Mask(0) - mask);
                const auto row = m_row + static_cast<std::uint32_t>(__builtin_popcountll(separators & (lowest - 1)));
                out[m_found] = row;
                const bool taken = (mask != 0) & (row != m_last);
                m_found += taken;
                m_last = taken ? row : m_last;
                mask &= mask - 1;
            }
        } while (mask);
    }

    // After a hit the rest of its row is passed over, into the next block if
    // its separator lies there.
    template <typename Mask>
    void verifiedBlock(std::size_t at, Mask mask, Mask separators)
    {
        if (m_skipping) {
            const Mask next = separators & (Mask(0) - separators);
            mask &= Mask(0) - next;
            m_skipping = next == 0;
        }
        while (mask) {
            const int bit = __builtin_ctzll(mask);
            if (holdsRest(at + static_cast<std::size_t>(bit))) {
                add(m_row + static_cast<std::uint32_t>(__builtin_popcountll(separators & ((Mask(1) << bit) - 1))));
                const Mask after = separators & ~((Mask(2) << bit) - 1);
                const Mask next = after & (Mask(0) - after);
                mask &= Mask(0) - next;
                m_skipping = next == 0;
            } else {
                mask &= mask - 1;
            }
        }
    }

    const char *m_values;
    std::string_view m_needle;
    std::uint32_t m_row;
    std::vector<std::uint32_t> &m_rows;
    std::size_t m_found;
    // No row has this number (offsets are 32-bit), so the first hit is
    // always kept, whatever the caller's rows end with.
    std::uint32_t m_last = std::numeric_limits<std::uint32_t>::max();
    bool m_skipping = false;
};

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

RowFinder pickRowFinder()
{
#if FICHE_X86
    if (avx2Available())
        return findRowsAvx2;
    return findRowsSse2;
#else
    return findRowsPortable;
#endif
}

const Finder finder = pickFinder();
const RowFinder rowFinder = pickRowFinder();

} // namespace

std::size_t findBytesPortable(const char *haystack, std::size_t size, std::string_view needle)
{
    const std::string_view all(haystack, size);
    return all.find(needle);
}

void findRowsPortable(const char *values, std::size_t size, std::string_view needle, std::uint32_t firstRow,
                      std::vector<std::uint32_t> &rows)
{
    if (needle.empty() || size < needle.size())
        return;
    RowScan scan(values, needle, firstRow, rows);
    scan.tail(0, size - needle.size() + 1);
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

void findRowsSse2(const char *values, std::size_t size, std::string_view needle, std::uint32_t firstRow,
                  std::vector<std::uint32_t> &rows)
{
    if (needle.empty() || size < needle.size())
        return;
    const std::size_t length = needle.size();
    const std::size_t candidates = size - length + 1;
    const __m128i first = _mm_set1_epi8(needle.front());
    const __m128i last = _mm_set1_epi8(needle.back());
    const __m128i separators = _mm_set1_epi8(separator);
    RowScan scan(values, needle, firstRow, rows);
    const auto loop = [&](auto pairs) {
        std::size_t at = 0;
        for (; at + 16 <= candidates; at += 16) {
            const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i *>(values + at));
            const __m128i ends = _mm_loadu_si128(reinterpret_cast<const __m128i *>(values + at + length - 1));
            const auto mask = static_cast<std::uint32_t>(
                _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(starts, first), _mm_cmpeq_epi8(ends, last))));
            const auto ends16 = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(starts, separators)));
            scan.block<decltype(pairs)::value>(at, mask, ends16);
        }
        scan.tail(at, candidates);
    };
    if (length <= 2)
        loop(std::true_type());
    else
        loop(std::false_type());
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

namespace {

template <bool Pairs>
__attribute__((target("avx2"))) void avx2Rows(RowScan &scan, const char *values, std::size_t size,
                                                std::string_view needle)
{
    const std::size_t length = needle.size();
    const std::size_t candidates = size - length + 1;
    const __m256i first = _mm256_set1_epi8(needle.front());
    const __m256i last = _mm256_set1_epi8(needle.back());
    const __m256i second = _mm256_set1_epi8(needle[1]);
    const __m256i separators = _mm256_set1_epi8(separator);
    std::size_t at = 0;
    for (; at + 64 <= candidates; at += 64) {
        const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(values + at));
        const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(values + at + 32));
        const auto lowEnds = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, separators)));
        const auto highEnds = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, separators)));
        std::uint64_t mask = std::uint64_t(avx2Matches(values, at, length, first, last))
            | std::uint64_t(avx2Matches(values, at + 32, length, first, last)) << 32;
        if constexpr (!Pairs) {
            // A third byte in place leaves few candidates to compare, where
            // a common first and last letter would leave thousands.
            if (mask) {
                const __m256i lowSeconds = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(values + at + 1));
                const __m256i highSeconds = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(values + at + 33));
                mask &= std::uint64_t(static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(lowSeconds, second))))
                    | std::uint64_t(static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(highSeconds, second)))) << 32;
            }
        }
        scan.block<Pairs>(at, mask, std::uint64_t(lowEnds) | std::uint64_t(highEnds) << 32);
    }
    scan.tail(at, candidates);
}

} // namespace

void findRowsAvx2(const char *values, std::size_t size, std::string_view needle, std::uint32_t firstRow,
                  std::vector<std::uint32_t> &rows)
{
    if (needle.empty() || size < needle.size())
        return;
    RowScan scan(values, needle, firstRow, rows);
    if (needle.size() <= 2)
        avx2Rows<true>(scan, values, size, needle);
    else
        avx2Rows<false>(scan, values, size, needle);
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
void findRowsSse2(const char *values, std::size_t size, std::string_view needle, std::uint32_t firstRow,
                  std::vector<std::uint32_t> &rows)
{
    findRowsPortable(values, size, needle, firstRow, rows);
}
void findRowsAvx2(const char *values, std::size_t size, std::string_view needle, std::uint32_t firstRow,
                  std::vector<std::uint32_t> &rows)
{
    findRowsPortable(values, size, needle, firstRow, rows);
}

#endif

std::size_t findBytes(const char *haystack, std::size_t size, std::string_view needle)
{
    return finder(haystack, size, needle);
}

void findRows(const char *values, std::size_t size, std::string_view needle, std::uint32_t firstRow,
              std::vector<std::uint32_t> &rows)
{
    rowFinder(values, size, needle, firstRow, rows);
}

} // namespace article_database
