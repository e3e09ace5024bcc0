#include "jet_engine/format/row_decoder.h"

#include "jet_engine/format/little_endian.h"

#include <algorithm>

namespace jet_engine {

RowDecoder::RowDecoder(const FileFormat &format, const TableLayout &table, std::vector<unsigned> wanted)
    : m_jet3(format.jet3)
    , m_hasVariable(table.hasVariableColumns)
{
    for (unsigned index : wanted) {
        m_columns.push_back(table.columns[index]);
        if (!m_columns.back().fixed)
            m_largestVarIndex = std::max<std::uint32_t>(m_largestVarIndex, m_columns.back().varIndex);
    }
}

// Reads the offset table into m_offsets (only as far as the wanted columns
// need) and sets dataEnd to where the offset table begins.
bool RowDecoder::readOffsets(const unsigned char *row, std::size_t size, std::size_t tailEnd, std::size_t &dataEnd)
{
    m_offsets.clear();
    if (!m_jet3) {
        if (tailEnd < 2)
            return false;
        m_varCount = le16(row + tailEnd - 2);
        const std::size_t tableBytes = 2 + 2 * (static_cast<std::size_t>(m_varCount) + 1);
        if (tailEnd < tableBytes + 2)
            return false;
        dataEnd = tailEnd - tableBytes;
        const std::uint32_t needed = std::min(m_varCount, m_largestVarIndex + 1);
        for (std::uint32_t i = 0; i < needed; ++i)
            m_offsets.push_back(le16(row + tailEnd - 2 - 2 * (i + 1)));
        m_offsets.push_back(le16(row + tailEnd - 2 - 2 * (needed + 1)));
        return true;
    }
    if (tailEnd < 1)
        return false;
    m_varCount = row[tailEnd - 1];
    // Jet sizes the jump table from the row's length, not from where its
    // data ends; an entry no column reaches stands in as filler.
    const std::size_t jumps = (size - 1) / 256;
    const std::size_t tableBytes = 1 + jumps + m_varCount + 1;
    if (tailEnd < tableBytes + 1)
        return false;
    dataEnd = tailEnd - tableBytes;
    const unsigned char *jumpTable = row + tailEnd - 2;
    const unsigned char *offsetTable = row + tailEnd - 2 - jumps;
    const std::uint32_t needed = std::min(m_varCount, m_largestVarIndex + 1);
    std::size_t jumpsUsed = 0;
    for (std::uint32_t i = 0; i <= needed; ++i) {
        while (jumpsUsed < jumps && *(jumpTable - jumpsUsed) == i)
            ++jumpsUsed;
        m_offsets.push_back(static_cast<std::uint32_t>(*(offsetTable - i) + 256 * jumpsUsed));
    }
    return true;
}

bool RowDecoder::decode(const unsigned char *row, std::size_t size, FieldBytes *out)
{
    const std::size_t countBytes = m_jet3 ? 1 : 2;
    if (size < countBytes)
        return false;
    const std::uint32_t rowColumns = m_jet3 ? row[0] : le16(row);
    const std::size_t maskBytes = (static_cast<std::size_t>(rowColumns) + 7) / 8;
    if (size < countBytes + maskBytes)
        return false;
    const unsigned char *mask = row + size - maskBytes;
    const std::size_t tailEnd = size - maskBytes;
    std::size_t dataEnd = tailEnd;
    if (m_hasVariable) {
        if (!readOffsets(row, size, tailEnd, dataEnd))
            return false;
    }

    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        const ColumnLayout &column = m_columns[i];
        FieldBytes &field = out[i];
        field = {};
        // A column added after the row was written is null in it.
        const bool bit = column.number < rowColumns && ((mask[column.number / 8] >> (column.number % 8)) & 1);
        if (column.type == static_cast<std::uint8_t>(JetType::Boolean)) {
            field.present = bit;
            continue;
        }
        if (!bit)
            continue;
        if (column.fixed) {
            const std::size_t start = countBytes + column.fixedOffset;
            if (start + column.size > dataEnd)
                return false;
            field = {row + start, column.size, true};
            continue;
        }
        if (!m_hasVariable || column.varIndex >= m_varCount)
            continue;
        if (column.varIndex + 1u >= m_offsets.size())
            return false;
        const std::uint32_t start = m_offsets[column.varIndex];
        const std::uint32_t end = m_offsets[column.varIndex + 1];
        if (start < countBytes || start > end || end > dataEnd)
            return false;
        field = {row + start, end - start, true};
    }
    return true;
}

} // namespace jet_engine
