#include "jet_engine/format/page_source.h"

#include <algorithm>

namespace jet_engine {

PageSource::PageSource(const ReadableFile &file, std::uint32_t pageSize, std::uint64_t fileSize)
    : m_file(file)
    , m_pageSize(pageSize)
    , m_pageCount(pageSize ? fileSize / pageSize : 0)
{
}

bool PageSource::inBlock(std::uint32_t number) const
{
    return number >= m_blockFirst && number < m_blockFirst + m_blockPages;
}

const unsigned char *PageSource::page(std::uint32_t number, Slot slot)
{
    if (number >= m_pageCount)
        return nullptr;
    if (slot == Slot::Data) {
        if (!inBlock(number)) {
            const std::uint64_t first = number - number % blockPages;
            const std::uint64_t count = std::min(blockPages, m_pageCount - first);
            m_block.resize(count * m_pageSize);
            m_blockPages = 0;
            if (!m_file.readExactly(first * m_pageSize, m_block.data(), m_block.size()))
                return nullptr;
            m_blockFirst = first;
            m_blockPages = count;
        }
        return m_block.data() + (number - m_blockFirst) * m_pageSize;
    }
    if (inBlock(number))
        return logged(number, slot, m_block.data() + (number - m_blockFirst) * m_pageSize);
    std::vector<unsigned char> &buffer = m_single[static_cast<int>(slot)];
    buffer.resize(m_pageSize);
    if (!m_file.readExactly(static_cast<std::uint64_t>(number) * m_pageSize, buffer.data(), m_pageSize))
        return nullptr;
    return logged(number, slot, buffer.data());
}

const unsigned char *PageSource::logged(std::uint32_t number, Slot slot, const unsigned char *page)
{
    if (m_log && (slot == Slot::Overflow || slot == Slot::LongValue))
        m_log->push_back({number, pageDigest(page, m_pageSize)});
    return page;
}

} // namespace jet_engine
