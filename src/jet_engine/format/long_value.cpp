#include "jet_engine/format/long_value.h"

#include "jet_engine/format/little_endian.h"

#include <algorithm>

namespace jet_engine {

namespace {

constexpr std::size_t headerSize = 12;
constexpr std::uint32_t inlineFlag = 0x80000000u;
constexpr std::uint32_t singleRowFlag = 0x40000000u;
constexpr std::uint32_t lengthMask = 0x3FFFFFFFu;

} // namespace

bool LongValueReader::findRow(std::uint32_t pointer, RowSlot &row)
{
    const unsigned char *page = m_pages.page(pointer >> 8, PageSource::Slot::LongValue);
    return page && page[0] == dataPageType && rowSlot(page, m_pages.pageSize(), m_format, pointer & 0xFF, row);
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
    RowSlot row;
    if (header & singleRowFlag) {
        if (!findRow(pointer, row) || row.size < length)
            return false;
        value.assign(reinterpret_cast<const char *>(row.bytes), length);
        return true;
    }
    m_visited.clear();
    value.reserve(length);
    while (value.size() < length) {
        if (pointer == 0 || std::find(m_visited.begin(), m_visited.end(), pointer) != m_visited.end())
            return false;
        m_visited.push_back(pointer);
        if (!findRow(pointer, row) || row.size <= 4)
            return false;
        pointer = le32(row.bytes);
        value.append(reinterpret_cast<const char *>(row.bytes + 4), std::min(row.size - 4, length - value.size()));
    }
    return true;
}

} // namespace jet_engine
