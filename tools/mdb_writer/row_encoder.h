#pragma once
// Turns a row of cells into the bytes Jet stores for it, putting long memo
// values on long-value pages along the way. Internal to the writer.

#include "jet_layout.h"
#include "mdb_writer.h"
#include "page_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mdb_writer::detail {

class RowEncoder {
public:
    RowEncoder(const JetVersion &version, PageSink &file) : m_version(version), m_file(file), m_lval(version) {}

    // The row's bytes, valid until the next call. `row` has a cell for every
    // column of `t`, deleted ones included.
    const std::vector<std::uint8_t> &encode(const TableLayout &t, const Row &row, std::size_t index);

    // Hands the last long-value page to the file.
    void finish();

private:
    [[noreturn]] void cellError(const TableLayout &t, std::size_t row, const ColumnLayout &c,
                                const std::string &what) const;
    void appendText(const TableLayout &t, std::size_t index, const ColumnLayout &c, bool compress,
                    std::vector<std::uint8_t> &out);
    void appendMemo(const TableLayout &t, std::size_t index, const ColumnLayout &c);
    std::uint32_t storeLongValue(const std::uint8_t *data, std::size_t bytes);
    std::uint32_t storeLongValueChain();

    const JetVersion &m_version;
    PageSink &m_file;
    RowPage m_lval;
    std::vector<std::uint8_t> m_rowBytes;
    std::vector<std::uint8_t> m_valueBytes;
    std::vector<std::uint8_t> m_pieceBytes;
    std::vector<std::uint8_t> m_nullMask;
    std::vector<std::uint16_t> m_varOffsets;
    std::u16string m_utf16;
};

} // namespace mdb_writer::detail
