#include "jet_engine/search/find_rows.h"

#include "jet_engine/search/kernel_variants.h"
#include "jet_engine/search/search_text.h"
#include "jet_engine/search/simd_dispatch.h"
#include "jet_engine/search/simd_vector.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace jet_engine {

namespace {

// Row finding keeps its place between blocks of positions: the row the next
// position lies in, the last row found, and whether the rest of that row can
// be passed over. `AsRead` says the bytes are compared folded as read.
template <bool AsRead>
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
            if (m_values[at] == valueSeparator)
                ++m_row;
            else if (byteAt(at) == m_needle.front() && byteAt(at + m_needle.size() - 1) == m_needle.back()
                     && holdsRest(at))
                add(m_row);
        }
    }

private:
    // A little ahead of the rows found; the vector doubles its capacity
    // when it must grow, so the rows are copied a few times at most.
    void makeRoom(std::size_t more)
    {
        if (m_found + more > m_rows.size())
            m_rows.resize(m_found + more + 4096);
    }

    char byteAt(std::size_t at) const
    {
        if constexpr (AsRead)
            return static_cast<char>(foldByteAsRead(static_cast<unsigned char>(m_values[at]),
                                                    at == 0 ? 0 : static_cast<unsigned char>(m_values[at - 1])));
        return m_values[at];
    }

    // Whether the needle is at `at`, its first and last bytes known to be
    // in place when the bytes are compared as they are; folded as read, the
    // vectors test each byte for either case only, and every byte is
    // compared here.
    bool holdsRest(std::size_t at) const
    {
        if constexpr (!AsRead) {
            return m_needle.size() < 3
                || std::memcmp(m_values + at + 1, m_needle.data() + 1, m_needle.size() - 2) == 0;
        } else {
            for (std::size_t k = 0; k < m_needle.size(); ++k)
                if (byteAt(at + k) != m_needle[k])
                    return false;
            return true;
        }
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
    // The state is worked on in locals: a store of a row could otherwise be
    // taken to change it, and it would be read back after each.
    template <typename Mask>
    void pairBlock(Mask mask, Mask separators)
    {
        std::uint32_t *out = m_rows.data();
        std::size_t found = m_found;
        std::uint32_t last = m_last;
        const std::uint32_t first = m_row;
        do {
            for (int i = 0; i < 2; ++i) {
                const Mask lowest = mask & (Mask(0) - mask);
                const auto row = first + static_cast<std::uint32_t>(__builtin_popcountll(separators & (lowest - 1)));
                out[found] = row;
                const bool taken = (mask != 0) & (row != last);
                found += taken;
                last = taken ? row : last;
                mask &= mask - 1;
            }
        } while (mask);
        m_found = found;
        m_last = last;
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

// The bit that sets a stored byte to `folded` when it may be its capital:
// or-ing it in tests both cases at once.
inline char capitalBit(char folded)
{
    const auto byte = static_cast<unsigned char>(folded);
    return static_cast<char>(byte ^ capitalAsRead(byte));
}

// A byte to look for in every lane, and the bit that sets its capital to
// it. Made once a scan, out of its loop.
template <typename V>
struct Wanted {
    V byte;
    V capital;
};

template <typename V, bool AsRead>
FICHE_KERNEL_INLINE Wanted<V> wanted(char byte)
{
    return {V::splat(byte), V::splat(AsRead ? capitalBit(byte) : 0)};
}

// The 64 positions from `p` holding the byte, or with AsRead its capital
// too, whatever the vectors' width: a block's masks are a word each.
template <typename V, bool AsRead>
FICHE_KERNEL_INLINE std::uint64_t holding(const char *p, const Wanted<V> &byte)
{
    std::uint64_t mask = 0;
    for (std::size_t k = 0; k < 64; k += V::width) {
        V bytes = V::load(p + k);
        if constexpr (AsRead)
            bytes = bytes | byte.capital;
        mask |= std::uint64_t(V::equal(bytes, byte.byte).mask()) << k;
    }
    return mask;
}

// Blocks of 64 positions while they fit, then the rest one at a time.
template <typename V, bool Pairs, bool AsRead>
FICHE_KERNEL_INLINE void scanBlocks(RowScan<AsRead> &scan, const char *values, std::size_t size,
                                    std::string_view needle)
{
    const std::size_t length = needle.size();
    const std::size_t candidates = size - length + 1;
    std::size_t at = 0;
    if constexpr (hasVectors<V>) {
        const Wanted<V> first = wanted<V, AsRead>(needle.front());
        const Wanted<V> last = wanted<V, AsRead>(needle.back());
        const Wanted<V> second = wanted<V, AsRead>(length > 2 ? needle[1] : 0);
        const Wanted<V> separator = wanted<V, false>(valueSeparator);
        for (; at + 64 <= candidates; at += 64) {
            std::uint64_t mask = holding<V, AsRead>(values + at, first) & holding<V, AsRead>(values + at + length - 1, last);
            // A third byte in place leaves few candidates to compare, where
            // a common first and last letter would leave thousands.
            if constexpr (!Pairs)
                if (mask && length > 2)
                    mask &= holding<V, AsRead>(values + at + 1, second);
            scan.template block<Pairs>(at, mask, holding<V, false>(values + at, separator));
        }
    }
    scan.tail(at, candidates);
}

// Each level's scan, a function of its own for each needle length and
// folding, compiled for the level.
template <bool Pairs, bool AsRead>
struct PortableScan {
    static void run(RowScan<AsRead> &scan, const char *values, std::size_t size, std::string_view needle)
    {
        scanBlocks<NoVectors, Pairs>(scan, values, size, needle);
    }
};

#if FICHE_X86

template <bool Pairs, bool AsRead>
struct Sse2Scan {
    static void run(RowScan<AsRead> &scan, const char *values, std::size_t size, std::string_view needle)
    {
        scanBlocks<Sse2Vector, Pairs>(scan, values, size, needle);
    }
};

template <bool Pairs, bool AsRead>
struct Avx2Scan {
    FICHE_AVX2 static void run(RowScan<AsRead> &scan, const char *values, std::size_t size, std::string_view needle)
    {
        scanBlocks<Avx2Vector, Pairs>(scan, values, size, needle);
    }
};

#endif

// Runs the level's scan for the needle's length and the bytes' folding.
template <template <bool, bool> class Scan>
void findRowsWith(const char *values, std::size_t size, std::string_view needle, std::uint32_t firstRow,
                  std::vector<std::uint32_t> &rows, bool foldAsRead)
{
    if (needle.empty() || size < needle.size())
        return;
    if (foldAsRead) {
        // Either case of an ASCII letter is that letter folded, whatever
        // comes before it: for such a pair the vectors' test is exact.
        const bool ascii = std::all_of(needle.begin(), needle.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        RowScan<true> scan(values, needle, firstRow, rows);
        needle.size() <= 2 && ascii ? Scan<true, true>::run(scan, values, size, needle)
                                    : Scan<false, true>::run(scan, values, size, needle);
    } else {
        RowScan<false> scan(values, needle, firstRow, rows);
        needle.size() <= 2 ? Scan<true, false>::run(scan, values, size, needle)
                           : Scan<false, false>::run(scan, values, size, needle);
    }
}

} // namespace

void findRowsPortable(const char *values, std::size_t size, std::string_view needle, std::uint32_t firstRow,
                      std::vector<std::uint32_t> &rows, bool foldAsRead)
{
    findRowsWith<PortableScan>(values, size, needle, firstRow, rows, foldAsRead);
}

#if FICHE_X86

void findRowsSse2(const char *values, std::size_t size, std::string_view needle, std::uint32_t firstRow,
                  std::vector<std::uint32_t> &rows, bool foldAsRead)
{
    findRowsWith<Sse2Scan>(values, size, needle, firstRow, rows, foldAsRead);
}

void findRowsAvx2(const char *values, std::size_t size, std::string_view needle, std::uint32_t firstRow,
                  std::vector<std::uint32_t> &rows, bool foldAsRead)
{
    findRowsWith<Avx2Scan>(values, size, needle, firstRow, rows, foldAsRead);
}

#endif

void findRows(const char *values, std::size_t size, std::string_view needle, std::uint32_t firstRow,
              std::vector<std::uint32_t> &rows, bool foldAsRead)
{
    pickedKernels.findRows(values, size, needle, firstRow, rows, foldAsRead);
}

} // namespace jet_engine
