#include "row_tail.h"

namespace mdb_writer::detail {

namespace {

bool appendJet3Offsets(const std::vector<std::uint16_t> &starts, std::size_t maskBytes, std::vector<std::uint8_t> &out)
{
    std::vector<std::uint32_t> offsets(starts.begin(), starts.end());
    const auto end = static_cast<std::uint32_t>(out.size());
    offsets.push_back(end);
    const std::uint32_t jumps = end / 256;
    const auto count = static_cast<std::uint32_t>(starts.size());
    const std::uint32_t tail = count + 1 + jumps + 1 + static_cast<std::uint32_t>(maskBytes);
    std::uint32_t length = end + tail;
    const bool filler = (length - 1) / 256 != jumps;
    if (filler)
        ++length;
    if ((length - 1) / 256 != jumps + (filler ? 1 : 0))
        return false;

    for (std::size_t i = offsets.size(); i-- > 0;)
        out.push_back(static_cast<std::uint8_t>(offsets[i]));
    if (filler)
        out.push_back(0xFF);
    for (std::uint32_t j = jumps; j-- > 0;) {
        std::uint32_t first = 0;
        while (offsets[first] < 256 * (j + 1))
            ++first;
        out.push_back(static_cast<std::uint8_t>(first));
    }
    out.push_back(static_cast<std::uint8_t>(count));
    return true;
}

std::optional<RowParts> splitJet4(const std::uint8_t *row, std::size_t size)
{
    RowParts parts;
    if (size < 2)
        return std::nullopt;
    parts.columnCount = jet_engine::le16(row);
    const std::size_t maskBytes = (parts.columnCount + 7) / 8;
    if (size < 2 + maskBytes + 2)
        return std::nullopt;
    parts.nullMaskAt = size - maskBytes;
    const std::size_t countAt = parts.nullMaskAt - 2;
    const std::size_t count = jet_engine::le16(row + countAt);
    if (countAt < 2 + 2 * (count + 1))
        return std::nullopt;
    const std::size_t tableAt = countAt - 2 * (count + 1);
    for (std::size_t i = 0; i <= count; ++i)
        parts.bounds.push_back(jet_engine::le16(row + countAt - 2 * (i + 1)));
    if (parts.bounds.back() > tableAt)
        return std::nullopt;
    return parts;
}

std::optional<RowParts> splitJet3(const std::uint8_t *row, std::size_t size)
{
    RowParts parts;
    if (size < 1)
        return std::nullopt;
    parts.columnCount = row[0];
    const std::size_t maskBytes = (parts.columnCount + 7) / 8;
    if (size < 1 + maskBytes + 1)
        return std::nullopt;
    parts.nullMaskAt = size - maskBytes;
    const std::size_t countAt = parts.nullMaskAt - 1;
    const std::size_t count = row[countAt];
    const std::size_t jumps = (size - 1) / 256;
    if (countAt < 1 + jumps + count + 1)
        return std::nullopt;
    const std::size_t offsetsTop = countAt - jumps;
    for (std::size_t i = 0; i <= count; ++i) {
        std::uint32_t high = 0;
        for (std::size_t j = 0; j < jumps; ++j)
            high += row[countAt - 1 - j] <= i ? 1 : 0;
        parts.bounds.push_back(row[offsetsTop - 1 - i] + 256 * high);
    }
    if (parts.bounds.back() > offsetsTop - (count + 1))
        return std::nullopt;
    return parts;
}

} // namespace

bool appendRowTail(const JetVersion &version, const std::vector<std::uint16_t> &starts,
                   const std::vector<std::uint8_t> &nullMask, std::vector<std::uint8_t> &out)
{
    if (!starts.empty() && version.jet3) {
        if (!appendJet3Offsets(starts, nullMask.size(), out))
            return false;
    } else if (!starts.empty()) {
        append16(out, static_cast<std::uint32_t>(out.size()));
        for (std::size_t i = starts.size(); i-- > 0;)
            append16(out, starts[i]);
        append16(out, static_cast<std::uint32_t>(starts.size()));
    }
    out.insert(out.end(), nullMask.begin(), nullMask.end());
    return true;
}

std::optional<RowParts> splitRow(const JetVersion &version, const std::uint8_t *row, std::size_t size)
{
    std::optional<RowParts> parts = version.jet3 ? splitJet3(row, size) : splitJet4(row, size);
    if (!parts)
        return std::nullopt;
    const std::uint32_t countBytes = version.columnCountBytes();
    std::uint32_t previous = countBytes;
    for (std::uint32_t bound : parts->bounds) {
        if (bound < previous)
            return std::nullopt;
        previous = bound;
    }
    return parts;
}

} // namespace mdb_writer::detail
