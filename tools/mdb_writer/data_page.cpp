#include "data_page.h"

#include <cstring>
#include <string>

namespace mdb_writer::detail {

DataPage::DataPage(const JetVersion &version, std::uint32_t owner) : m_version(version)
{
    m_page[0] = 0x01;
    m_page[1] = 0x01;
    put32(&m_page[4], owner);
    setCounts();
}

DataPage::DataPage(const JetVersion &version, std::uint32_t owner, std::uint32_t number, const std::uint8_t *bytes)
    : m_version(version)
{
    std::memcpy(m_page.data(), bytes, version.pageSize);
    const std::string which = "page " + std::to_string(number);
    if (m_page[0] != 0x01 || jet_engine::le32(&m_page[4]) != owner)
        throw WriteError(which + " is not a page of rows of the table at page " + std::to_string(owner));
    m_rows = jet_engine::le16(&m_page[version.rowCountOffset()]);
    if (m_rows > kMaxRowsPerPage || entryAt(m_rows) > version.pageSize)
        throw WriteError(which + " counts " + std::to_string(m_rows) + " rows");
    for (std::uint32_t r = 0; r < m_rows; ++r) {
        if (start(r) < entryAt(m_rows) || start(r) >= end(r))
            throw WriteError(which + ": row " + std::to_string(r) + " starts at " + std::to_string(start(r))
                             + ", outside the room its neighbours leave it");
    }
}

std::uint16_t DataPage::entry(std::uint32_t row) const
{
    return jet_engine::le16(&m_page[entryAt(row)]);
}

DataPage::Span DataPage::row(std::uint32_t row) const
{
    return {start(row), end(row) - start(row)};
}

void DataPage::setEntry(std::uint32_t row, std::uint32_t start, std::uint16_t flags)
{
    put16(&m_page[entryAt(row)], start | flags);
}

void DataPage::setCounts()
{
    put16(&m_page[2], freeBytes());
    put16(&m_page[m_version.rowCountOffset()], m_rows);
}

bool DataPage::replace(std::uint32_t row, const std::uint8_t *data, std::size_t size, std::uint16_t flags)
{
    const Span old = this->row(row);
    const auto growth = static_cast<std::int64_t>(size) - old.size;
    if (growth > static_cast<std::int64_t>(freeBytes()))
        return false;
    // The rows stored after this one lie below it, down to the lowest.
    const std::uint32_t below = lowest();
    const auto movedTo = static_cast<std::uint32_t>(below - growth);
    std::memmove(&m_page[movedTo], &m_page[below], old.start - below);
    if (growth < 0)
        std::memset(&m_page[below], 0, static_cast<std::size_t>(-growth));
    const std::uint32_t end = old.start + old.size;
    std::memcpy(&m_page[end - size], data, size);
    for (std::uint32_t r = row; r < m_rows; ++r)
        setEntry(r, static_cast<std::uint32_t>(start(r) - growth), r == row ? flags : this->flags(r));
    setCounts();
    return true;
}

void DataPage::setFlags(std::uint32_t row, std::uint16_t flags)
{
    setEntry(row, start(row), flags);
}

std::optional<std::uint32_t> DataPage::add(const std::uint8_t *data, std::size_t size, std::uint16_t flags)
{
    if (m_rows >= kMaxRowsPerPage || size + kRowSlot > freeBytes())
        return std::nullopt;
    const auto at = static_cast<std::uint32_t>(lowest() - size);
    std::memcpy(&m_page[at], data, size);
    ++m_rows;
    setEntry(m_rows - 1, at, flags);
    setCounts();
    return m_rows - 1;
}

} // namespace mdb_writer::detail
