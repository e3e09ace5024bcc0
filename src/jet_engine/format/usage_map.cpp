#include "jet_engine/format/usage_map.h"

#include "jet_engine/format/jet_layout.h"
#include "jet_engine/format/little_endian.h"

namespace jet_engine {

namespace {

constexpr unsigned char inlineMap = 0x00;
constexpr unsigned char referenceMap = 0x01;
constexpr unsigned char bitmapPageType = 0x05;
constexpr std::size_t bitmapPageHeader = 4;

bool addBits(const unsigned char *bits, std::size_t size, std::uint64_t firstPage, std::uint64_t pageCount,
             std::vector<std::uint32_t> &out)
{
    for (std::size_t byte = 0; byte < size; ++byte) {
        if (bits[byte] == 0)
            continue;
        for (unsigned bit = 0; bit < 8; ++bit) {
            if (!((bits[byte] >> bit) & 1))
                continue;
            const std::uint64_t page = firstPage + byte * 8 + bit;
            if (page >= pageCount)
                return false;
            out.push_back(static_cast<std::uint32_t>(page));
        }
    }
    return true;
}

} // namespace

std::optional<std::vector<std::uint32_t>> usageMapPages(const std::vector<std::uint8_t> &map, PageSource &pages)
{
    std::vector<std::uint32_t> out;
    if (map.empty())
        return std::nullopt;
    if (map[0] == inlineMap) {
        if (map.size() < 5)
            return std::nullopt;
        if (!addBits(map.data() + 5, map.size() - 5, le32(map.data() + 1), pages.pageCount(), out))
            return std::nullopt;
        return out;
    }
    if (map[0] != referenceMap)
        return std::nullopt;
    const std::uint64_t window = static_cast<std::uint64_t>(pages.pageSize() - bitmapPageHeader) * 8;
    for (std::size_t at = 1, index = 0; at + 4 <= map.size(); at += 4, ++index) {
        const std::uint32_t bitmapPage = le32(map.data() + at);
        if (bitmapPage == 0)
            continue;
        const unsigned char *bitmap = pages.page(bitmapPage, PageSource::Slot::Map);
        if (!bitmap || bitmap[0] != bitmapPageType)
            return std::nullopt;
        if (!addBits(bitmap + bitmapPageHeader, pages.pageSize() - bitmapPageHeader, index * window,
                     pages.pageCount(), out))
            return std::nullopt;
    }
    return out;
}

} // namespace jet_engine
