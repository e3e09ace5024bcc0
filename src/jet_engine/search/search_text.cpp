#include "jet_engine/search/search_text.h"

#include "jet_engine/query/text_fold.h"
#include "jet_engine/search/find_bytes.h"
#include "jet_engine/search/kernel_variants.h"
#include "jet_engine/search/simd_dispatch.h"
#include "jet_engine/search/simd_vector.h"

#include <cstring>
#include <limits>

namespace jet_engine {

namespace {

// Whether every character of `value` is ASCII or U+0080..U+00FF but the
// micro sign: characters whose folding, if any, is the one done as read.
bool onlyLatin1(std::string_view value)
{
    // Most values are ASCII alone, and most others a letter or two beyond
    // it: eight bytes are tested at once for ASCII, before each character
    // that is not.
    std::size_t i = 0;
    while (i < value.size()) {
        std::uint64_t word;
        if (i + 8 <= value.size() && (std::memcpy(&word, value.data() + i, 8), !(word & 0x8080808080808080u))) {
            i += 8;
            continue;
        }
        const auto c = static_cast<unsigned char>(value[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (i + 1 >= value.size())
            return false;
        const auto next = static_cast<unsigned char>(value[i + 1]);
        if ((next & 0xC0) != 0x80 || (c != 0xC3 && (c != 0xC2 || next == 0xB5)))
            return false;
        i += 2;
    }
    return true;
}

// A vector's bytes folded as read; `previous` holds the byte before each.
template <typename V>
FICHE_KERNEL_INLINE V foldedAsRead(V bytes, V previous)
{
    const V fromA = bytes - V::splat('A');
    const V ascii = V::equal(V::min(fromA, V::splat(25)), fromA);
    const V from80 = bytes - V::splat(static_cast<char>(0x80));
    const V high = V::equal(V::min(from80, V::splat(0x1E)), from80);
    const V afterC3 = V::equal(previous, V::splat(static_cast<char>(0xC3)));
    const V times = V::equal(bytes, V::splat(static_cast<char>(0x97)));
    const V latin1 = V::andNot(high & afterC3, times);
    return bytes + ((ascii | latin1) & V::splat(0x20));
}

// A vector at a time where the processor has them, for the rows an index
// search checks one by one.
template <typename V>
FICHE_KERNEL_INLINE void foldAsReadWith(std::string_view value, std::string &out)
{
    const std::size_t size = value.size();
    out.resize(size);
    if (size == 0)
        return;
    const auto *in = reinterpret_cast<const unsigned char *>(value.data());
    auto *folded = reinterpret_cast<unsigned char *>(out.data());
    folded[0] = foldByteAsRead(in[0], static_cast<unsigned char>(valueSeparator));
    std::size_t i = 1;
    if constexpr (hasVectors<V>)
        for (; i + V::width <= size; i += V::width)
            foldedAsRead(V::load(in + i), V::load(in + i - 1)).store(folded + i);
    for (; i < size; ++i)
        folded[i] = foldByteAsRead(in[i], in[i - 1]);
}

// Whether the needle, folded as read, starts at `place`.
FICHE_KERNEL_INLINE bool foldsToNeedleAt(const unsigned char *bytes, std::size_t place, std::string_view needle)
{
    unsigned char previous = place == 0 ? static_cast<unsigned char>(valueSeparator) : bytes[place - 1];
    for (std::size_t k = 0; k < needle.size(); ++k) {
        if (foldByteAsRead(bytes[place + k], previous) != static_cast<unsigned char>(needle[k]))
            return false;
        previous = bytes[place + k];
    }
    return true;
}

// Most places fail at their first byte: a vector of them is tested at once
// for either case of it, where the column's text goes on that far.
template <typename V>
FICHE_KERNEL_INLINE bool holdsAsReadWith(const char *value, std::size_t size, std::size_t readable,
                                         std::string_view needle)
{
    if (size < needle.size())
        return false;
    const auto *bytes = reinterpret_cast<const unsigned char *>(value);
    const std::size_t last = size - needle.size();
    const auto first = static_cast<unsigned char>(needle.front());
    const unsigned char capital = capitalAsRead(first);
    std::size_t at = 0;
    if constexpr (hasVectors<V>) {
        const V firstBytes = V::splat(static_cast<char>(first));
        const V capitalBytes = V::splat(static_cast<char>(capital));
        for (; at <= last && at + V::width <= readable; at += V::width) {
            const V block = V::load(bytes + at);
            std::uint32_t mask = (V::equal(block, firstBytes) | V::equal(block, capitalBytes)).mask();
            if (last - at < V::width - 1)
                mask &= (2u << (last - at)) - 1;
            for (; mask; mask &= mask - 1)
                if (foldsToNeedleAt(bytes, at + static_cast<std::size_t>(__builtin_ctz(mask)), needle))
                    return true;
        }
    }
    for (; at <= last; ++at)
        if ((bytes[at] == first || bytes[at] == capital) && foldsToNeedleAt(bytes, at, needle))
            return true;
    return false;
}

} // namespace

void foldAsReadPortable(std::string_view value, std::string &out)
{
    foldAsReadWith<NoVectors>(value, out);
}

bool holdsAsReadPortable(const char *value, std::size_t size, std::size_t readable, std::string_view needle)
{
    return holdsAsReadWith<NoVectors>(value, size, readable, needle);
}

#if FICHE_X86

void foldAsReadSse2(std::string_view value, std::string &out)
{
    foldAsReadWith<Sse2Vector>(value, out);
}

bool holdsAsReadSse2(const char *value, std::size_t size, std::size_t readable, std::string_view needle)
{
    return holdsAsReadWith<Sse2Vector>(value, size, readable, needle);
}

FICHE_AVX2 bool holdsAsReadAvx2(const char *value, std::size_t size, std::size_t readable, std::string_view needle)
{
    return holdsAsReadWith<Avx2Vector>(value, size, readable, needle);
}

#endif

void foldAsRead(std::string_view value, std::string &out)
{
    pickedKernels.foldAsRead(value, out);
}

void OtherFolds::note(std::uint32_t row, std::string_view value)
{
    if (onlyLatin1(value))
        return;
    std::string folded;
    appendFolded(folded, value);
    std::string asRead;
    foldAsRead(value, asRead);
    if (folded == asRead)
        return;
    rows.push_back(row);
    bytes += folded;
    bytes += valueSeparator;
    starts.push_back(static_cast<std::uint32_t>(bytes.size()));
}

bool OtherFolds::append(const OtherFolds &later, std::uint32_t firstRow)
{
    const std::uint64_t base = bytes.size();
    if (base + later.bytes.size() > std::numeric_limits<std::uint32_t>::max())
        return false;
    for (const std::uint32_t row : later.rows) {
        if (static_cast<std::uint64_t>(row) + firstRow > std::numeric_limits<std::uint32_t>::max())
            return false;
        rows.push_back(row + firstRow);
    }
    bytes += later.bytes;
    for (std::size_t i = 1; i < later.starts.size(); ++i)
        starts.push_back(static_cast<std::uint32_t>(base + later.starts[i]));
    return true;
}

std::string_view RowFolder::stored(std::uint32_t row, std::size_t &other)
{
    other = std::string_view::npos;
    const std::uint32_t start = m_text.starts[row];
    const std::string_view kept = m_text.bytes.substr(start, m_text.starts[row + 1] - 1 - start);
    const std::vector<std::uint32_t> &rows = m_text.others->rows;
    if (m_nextOther > 0 && rows[m_nextOther - 1] >= row)
        m_nextOther = 0;
    while (m_nextOther < rows.size() && rows[m_nextOther] < row)
        ++m_nextOther;
    if (m_nextOther < rows.size() && rows[m_nextOther] == row)
        other = m_nextOther;
    return kept;
}

std::string_view RowFolder::otherFold(std::size_t other) const
{
    const OtherFolds &others = *m_text.others;
    const std::uint32_t from = others.starts[other];
    return std::string_view(others.bytes).substr(from, others.starts[other + 1] - 1 - from);
}

std::string_view RowFolder::operator()(std::uint32_t row)
{
    std::size_t other;
    const std::string_view kept = stored(row, other);
    if (other != std::string_view::npos)
        return otherFold(other);
    foldAsRead(kept, m_scratch);
    return m_scratch;
}

bool RowFolder::holds(std::uint32_t row, std::string_view needle)
{
    std::size_t other;
    const std::string_view kept = stored(row, other);
    if (other != std::string_view::npos) {
        const std::string_view folded = otherFold(other);
        return findBytes(folded.data(), folded.size(), needle) != std::string_view::npos;
    }
    const char *end = m_text.bytes.data() + m_text.bytes.size();
    return pickedKernels.holdsAsRead(kept.data(), kept.size(), static_cast<std::size_t>(end - kept.data()), needle);
}

} // namespace jet_engine
