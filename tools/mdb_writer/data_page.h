#pragma once
// A page of rows read back for editing, laid out as RowPage lays it out: the
// entries grow from the header down the page, the rows from the end of the
// page up, each row ending where the one before it starts. Readers take a
// row's length from that, so an edit keeps the rows packed: a row rewritten
// longer or shorter moves the rows stored after it. Internal to the writer.

#include "jet_layout.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace mdb_writer::detail {

class DataPage {
public:
    struct Span {
        std::uint32_t start = 0;
        std::uint32_t size = 0;
    };

    // A page with no rows yet.
    DataPage(const JetVersion &version, std::uint32_t owner);
    // The page's bytes as read; a WriteError when they are not a page of
    // rows of `owner` laid out as above. `number` names it in the error.
    DataPage(const JetVersion &version, std::uint32_t owner, std::uint32_t number, const std::uint8_t *bytes);

    const std::uint8_t *bytes() const { return m_page.data(); }
    std::uint32_t rows() const { return m_rows; }
    std::uint16_t flags(std::uint32_t row) const { return static_cast<std::uint16_t>(entry(row) & kFlagBits); }
    Span row(std::uint32_t row) const;

    // False, the page unchanged, when the page lacks room for the new bytes.
    bool replace(std::uint32_t row, const std::uint8_t *data, std::size_t size, std::uint16_t flags);
    void setFlags(std::uint32_t row, std::uint16_t flags);
    // The new row's index, or nothing when the page lacks room.
    std::optional<std::uint32_t> add(const std::uint8_t *data, std::size_t size, std::uint16_t flags);

private:
    static constexpr std::uint16_t kFlagBits = kRowDeleted | kRowMoved;
    static constexpr std::uint16_t kOffsetBits = 0x1FFF;

    std::uint32_t entryAt(std::uint32_t row) const { return m_version.rowPageHeader + kRowSlot * row; }
    std::uint16_t entry(std::uint32_t row) const;
    std::uint32_t start(std::uint32_t row) const { return entry(row) & kOffsetBits; }
    std::uint32_t end(std::uint32_t row) const { return row == 0 ? m_version.pageSize : start(row - 1); }
    std::uint32_t lowest() const { return m_rows == 0 ? m_version.pageSize : start(m_rows - 1); }
    std::uint32_t freeBytes() const { return lowest() - entryAt(m_rows); }
    void setEntry(std::uint32_t row, std::uint32_t start, std::uint16_t flags);
    void setCounts();

    const JetVersion &m_version;
    std::array<std::uint8_t, kMaxPageSize> m_page{};
    std::uint32_t m_rows = 0;
};

} // namespace mdb_writer::detail
