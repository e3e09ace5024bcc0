#include "jet_engine/search/search_text.h"

#include "jet_engine/query/text_fold.h"
#include "jet_engine/search/find_bytes.h"

#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace jet_engine {

namespace {

// Whether every character of `value` is ASCII or U+0080..U+00FF but the
// micro sign: characters whose folding, if any, is the one done as read.
bool onlyLatin1(std::string_view value)
{
    std::size_t i = 0;
    // Most values are ASCII alone: eight bytes are tested at once for that.
    for (std::uint64_t word; i + 8 <= value.size(); i += 8) {
        std::memcpy(&word, value.data() + i, 8);
        if (word & 0x8080808080808080u)
            break;
    }
    for (; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        if (c < 0x80)
            continue;
        if (i + 1 >= value.size())
            return false;
        const auto next = static_cast<unsigned char>(value[i + 1]);
        if ((next & 0xC0) != 0x80 || (c != 0xC3 && (c != 0xC2 || next == 0xB5)))
            return false;
        ++i;
    }
    return true;
}

} // namespace

// Sixteen bytes at a time where the processor has the vectors, for the
// rows an index search checks one by one.
void foldAsRead(std::string_view value, std::string &out)
{
    const std::size_t size = value.size();
    out.resize(size);
    if (size == 0)
        return;
    const auto *in = reinterpret_cast<const unsigned char *>(value.data());
    auto *folded = reinterpret_cast<unsigned char *>(out.data());
    folded[0] = foldByteAsRead(in[0], static_cast<unsigned char>(valueSeparator));
    std::size_t i = 1;
#if defined(__SSE2__)
    for (; i + 16 <= size; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
        const __m128i previous = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i - 1));
        const __m128i fromA = _mm_sub_epi8(bytes, _mm_set1_epi8('A'));
        const __m128i ascii = _mm_cmpeq_epi8(_mm_min_epu8(fromA, _mm_set1_epi8(25)), fromA);
        const __m128i from80 = _mm_sub_epi8(bytes, _mm_set1_epi8(static_cast<char>(0x80)));
        const __m128i high = _mm_cmpeq_epi8(_mm_min_epu8(from80, _mm_set1_epi8(0x1E)), from80);
        const __m128i afterC3 = _mm_cmpeq_epi8(previous, _mm_set1_epi8(static_cast<char>(0xC3)));
        const __m128i times = _mm_cmpeq_epi8(bytes, _mm_set1_epi8(static_cast<char>(0x97)));
        const __m128i latin1 = _mm_andnot_si128(times, _mm_and_si128(high, afterC3));
        const __m128i capitals = _mm_or_si128(ascii, latin1);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(folded + i),
                         _mm_add_epi8(bytes, _mm_and_si128(capitals, _mm_set1_epi8(0x20))));
    }
#endif
    for (; i < size; ++i)
        folded[i] = foldByteAsRead(in[i], in[i - 1]);
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
    // Most places fail at their first byte: sixteen are tested at once for
    // either case of it, where the column's text goes on that far.
    const auto *bytes = reinterpret_cast<const unsigned char *>(kept.data());
    const auto *end = reinterpret_cast<const unsigned char *>(m_text.bytes.data() + m_text.bytes.size());
    if (kept.size() < needle.size())
        return false;
    const std::size_t last = kept.size() - needle.size();
    const auto first = static_cast<unsigned char>(needle.front());
    const unsigned char capital = capitalAsRead(first);
    for (std::size_t at = 0; at <= last; at += 16) {
        std::uint32_t mask = 0;
#if defined(__SSE2__)
        if (bytes + at + 16 <= end) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + at));
            mask = static_cast<std::uint32_t>(
                _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(first))),
                                               _mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(capital))))));
        } else
#endif
        {
            for (std::size_t k = 0; k < 16 && bytes + at + k < end; ++k)
                mask |= static_cast<std::uint32_t>(bytes[at + k] == first || bytes[at + k] == capital) << k;
        }
        if (last - at < 15)
            mask &= (2u << (last - at)) - 1;
        for (; mask; mask &= mask - 1) {
            const std::size_t place = at + static_cast<std::size_t>(__builtin_ctz(mask));
            unsigned char previous = place == 0 ? static_cast<unsigned char>(valueSeparator) : bytes[place - 1];
            std::size_t k = 0;
            for (; k < needle.size(); ++k) {
                if (foldByteAsRead(bytes[place + k], previous) != static_cast<unsigned char>(needle[k]))
                    break;
                previous = bytes[place + k];
            }
            if (k == needle.size())
                return true;
        }
    }
    return false;
}

} // namespace jet_engine
