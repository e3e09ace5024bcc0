#include "jet_engine/platform/aligned_reads.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace jet_engine {

namespace {

// Offsets are signed on both systems: pread's off_t, ReadFile's 64-bit
// offset. A read must end at or before the largest of them.
constexpr std::uint64_t lastOffset = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

class AlignedBuffer {
public:
    AlignedBuffer(std::size_t size, std::size_t alignment)
        : m_alignment(alignment)
        , m_bytes(static_cast<unsigned char *>(::operator new(size, std::align_val_t{alignment}, std::nothrow)))
    {
    }
    ~AlignedBuffer() { ::operator delete(m_bytes, std::align_val_t{m_alignment}); }
    AlignedBuffer(const AlignedBuffer &) = delete;
    AlignedBuffer &operator=(const AlignedBuffer &) = delete;

    unsigned char *bytes() const { return m_bytes; }

private:
    std::size_t m_alignment;
    unsigned char *m_bytes;
};

} // namespace

std::optional<AlignedSpan> alignedSpan(std::uint64_t offset, std::uint64_t size, std::size_t alignment)
{
    const std::uint64_t unit = alignment;
    if (offset > lastOffset || size > lastOffset - offset)
        return std::nullopt;
    const std::uint64_t start = offset - offset % unit;
    const std::uint64_t end = size == 0 ? start : (offset + size + unit - 1) / unit * unit;
    if (end > lastOffset)
        return std::nullopt;
    return AlignedSpan{start, end - start};
}

std::optional<std::size_t> readAligned(std::uint64_t offset, void *into, std::size_t size, std::size_t alignment,
                                       const AlignedRead &read)
{
    if (size == 0)
        return 0;
    const std::size_t most = std::max(alignment, alignedReadBytes / alignment * alignment);
    auto *to = static_cast<unsigned char *>(into);
    std::optional<AlignedBuffer> buffer;
    std::size_t done = 0;
    while (done < size) {
        const std::uint64_t position = offset + done;
        const std::size_t lead = static_cast<std::size_t>(position % alignment);
        const std::size_t want = std::min(size - done, most - lead);
        const auto span = alignedSpan(position, want, alignment);
        if (!span)
            break;
        // The first span is the largest: later ones start aligned, and
        // either end where the first did or hold at most `most` bytes.
        if (!buffer) {
            buffer.emplace(static_cast<std::size_t>(span->size), alignment);
            if (!buffer->bytes())
                return std::nullopt;
        }
        const auto got = read(span->offset, buffer->bytes(), static_cast<std::size_t>(span->size));
        if (!got)
            return std::nullopt;
        const std::size_t have = std::min(*got, static_cast<std::size_t>(span->size));
        if (have <= lead)
            break;
        const std::size_t taken = std::min(have - lead, want);
        std::memcpy(to + done, buffer->bytes() + lead, taken);
        done += taken;
        // A read that stops inside a unit met the file's end. One that stops
        // short on a unit's edge may only have been cut short, and the next
        // one starts there, still aligned.
        if (have % alignment != 0)
            break;
    }
    return done;
}

} // namespace jet_engine
