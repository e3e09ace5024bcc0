#include "long_value.h"

#include "little_endian.h"

#include <algorithm>

namespace article_database {

namespace {

constexpr std::size_t headerSize = 12;
constexpr std::uint32_t inlineFlag = 0x80000000u;
constexpr std::uint32_t singleRowFlag = 0x40000000u;
constexpr std::uint32_t lengthMask = 0x3FFFFFFFu;
constexpr std::uint16_t offsetMask = 0x1FFF;
constexpr unsigned char dataPageType = 0x01;

} // namespace

bool LongValueReader::findRow(std::uint32_t pointer, const unsigned char *&data, std::size_t &size)
{
    const unsigned char *page = m_pages.page(pointer >> 8, PageSource::Slot::LongValue);
    if (!page || page[0] != dataPageType)
        return false;
    const std::uint32_t pageSize = m_pages.pageSize();
    const std::uint32_t index = pointer & 0xFF;
    const std::uint32_t count = le16(page + m_format.rowCountOffset());
    const std::uint32_t tableEnd = m_format.rowTableOffset() + 2 * count;
    if (index >= count || tableEnd > pageSize)
        return false;
    const std::uint32_t start = le16(page + m_format.rowTableOffset() + 2 * index) & offsetMask;
    const std::uint32_t end = index == 0 ? pageSize : le16(page + m_format.rowTableOffset() + 2 * (index - 1)) & offsetMask;
    if (start < tableEnd || start >= end || end > pageSize)
        return false;
    data = page + start;
    size = end - start;
    return true;
}

bool LongValueReader::read(const unsigned char *field, std::size_t size, std::string &value)
{
    value.clear();
    if (size < headerSize)
        return false;
    const std::uint32_t header = le32(field);
    const std::size_t length = header & lengthMask;
    if (header & inlineFlag) {
        value.assign(reinterpret_cast<const char *>(field + headerSize), size - headerSize);
        return true;
    }
    // Every piece of a value lies on its own page row: a length the file
    // could not hold is damage, and must not size a buffer.
    if (length > m_pages.pageCount() * m_pages.pageSize())
        return false;
    std::uint32_t pointer = le32(field + 4);
    const unsigned char *data = nullptr;
    std::size_t rowSize = 0;
    if (header & singleRowFlag) {
        if (!findRow(pointer, data, rowSize) || rowSize < length)
            return false;
        value.assign(reinterpret_cast<const char *>(data), length);
        return true;
    }
    m_visited.clear();
    value.reserve(length);
    while (value.size() < length) {
        if (pointer == 0 || std::find(m_visited.begin(), m_visited.end(), pointer) != m_visited.end())
            return false;
        m_visited.push_back(pointer);
        if (!findRow(pointer, data, rowSize) || rowSize <= 4)
            return false;
        pointer = le32(data);
        value.append(reinterpret_cast<const char *>(data + 4), std::min(rowSize - 4, length - value.size()));
    }
    return true;
}

} // namespace article_database
