#include "usage_map_edit.h"

#include <array>
#include <string>

namespace mdb_writer::detail {

namespace {

constexpr std::uint8_t kInlineMap = 0x00;
constexpr std::uint8_t kReferenceMap = 0x01;
constexpr std::uint8_t kBitmapPage = 0x05;
constexpr std::uint32_t kBitmapHeader = 4;
constexpr std::uint32_t kInlineHeader = 5;
// The writer's holder pages belong to no table.
constexpr std::uint32_t kHolderOwner = 0;

struct MapRow {
    std::uint32_t holderPage = 0;
    std::array<std::uint8_t, kMaxPageSize> holder{};
    DataPage::Span span;

    std::uint8_t *bytes() { return holder.data() + span.start; }
    std::uint8_t kind() const { return holder[span.start]; }
};

MapRow readMapRow(FilePages &pages, std::uint32_t mapRow)
{
    MapRow map;
    map.holderPage = mapRow >> 8;
    const DataPage holder = pages.rowPage(map.holderPage, kHolderOwner);
    const std::uint32_t row = mapRow & 0xFF;
    if (row >= holder.rows())
        throw WriteError("the usage map's row " + std::to_string(row) + " is not on page "
                         + std::to_string(map.holderPage));
    map.span = holder.row(row);
    std::copy(holder.bytes(), holder.bytes() + pages.version().pageSize, map.holder.begin());
    if (map.span.size < kInlineHeader || (map.kind() != kInlineMap && map.kind() != kReferenceMap))
        throw WriteError("the usage map on page " + std::to_string(map.holderPage) + " is of no kind the writer makes");
    return map;
}

std::uint32_t windowPages(const JetVersion &version)
{
    return (version.pageSize - kBitmapHeader) * 8;
}

void readBitmap(FilePages &pages, std::uint32_t page, std::uint8_t *out)
{
    pages.read(page, out);
    if (out[0] != kBitmapPage)
        throw WriteError("page " + std::to_string(page) + " is not a usage bitmap");
}

void addBits(const std::uint8_t *bits, std::uint32_t count, std::uint64_t first, std::uint32_t pageCount,
             std::vector<std::uint32_t> &out)
{
    for (std::uint32_t bit = 0; bit < count; ++bit) {
        if (!((bits[bit / 8] >> (bit % 8)) & 1))
            continue;
        if (first + bit >= pageCount)
            throw WriteError("a usage map names page " + std::to_string(first + bit) + ", beyond the file");
        out.push_back(static_cast<std::uint32_t>(first + bit));
    }
}

void setBit(std::uint8_t *bits, std::uint64_t bit)
{
    bits[bit / 8] = static_cast<std::uint8_t>(bits[bit / 8] | (1u << (bit % 8)));
}

} // namespace

std::vector<std::uint32_t> usedPages(FilePages &pages, std::uint32_t mapRow)
{
    MapRow map = readMapRow(pages, mapRow);
    std::vector<std::uint32_t> out;
    const std::uint8_t *row = map.bytes();
    if (map.kind() == kInlineMap) {
        addBits(row + kInlineHeader, (map.span.size - kInlineHeader) * 8, jet_engine::le32(row + 1), pages.count(),
                out);
        return out;
    }
    std::array<std::uint8_t, kMaxPageSize> bitmap;
    const std::uint32_t window = windowPages(pages.version());
    for (std::uint32_t k = 0; 1 + 4 * (k + 1) <= map.span.size; ++k) {
        const std::uint32_t page = jet_engine::le32(row + 1 + 4 * k);
        if (page == 0)
            continue;
        readBitmap(pages, page, bitmap.data());
        addBits(bitmap.data() + kBitmapHeader, window, std::uint64_t{k} * window, pages.count(), out);
    }
    return out;
}

void markUsed(FilePages &pages, std::uint32_t mapRow, std::uint32_t page, PageSink &writes)
{
    MapRow map = readMapRow(pages, mapRow);
    std::uint8_t *row = map.bytes();
    if (map.kind() == kInlineMap) {
        const std::uint32_t start = jet_engine::le32(row + 1);
        const std::uint32_t bits = (map.span.size - kInlineHeader) * 8;
        if (page < start || page - start >= bits)
            throw WriteError("the table's inline usage map covers pages " + std::to_string(start) + " to "
                             + std::to_string(std::uint64_t{start} + bits - 1) + " and cannot name page "
                             + std::to_string(page));
        setBit(row + kInlineHeader, page - start);
        writes.write(map.holderPage, map.holder.data());
        return;
    }
    const std::uint32_t window = windowPages(pages.version());
    const std::uint32_t k = page / window;
    const std::uint32_t bitmapPage = 1 + 4 * (k + 1) <= map.span.size ? jet_engine::le32(row + 1 + 4 * k) : 0;
    if (bitmapPage == 0)
        throw WriteError("the table's usage map has no bitmap page for pages " + std::to_string(std::uint64_t{k} * window)
                         + " to " + std::to_string(std::uint64_t{k + 1} * window - 1) + " and cannot name page "
                         + std::to_string(page));
    std::array<std::uint8_t, kMaxPageSize> bitmap;
    readBitmap(pages, bitmapPage, bitmap.data());
    setBit(bitmap.data() + kBitmapHeader, page % window);
    writes.write(bitmapPage, bitmap.data());
}

} // namespace mdb_writer::detail
