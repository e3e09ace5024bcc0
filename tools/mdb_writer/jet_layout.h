#pragma once
// What the writer's parts share: the two formats' sizes, byte helpers, and the
// layout of a table as it will be stored. Internal to the writer.

#include "jet_engine/format/little_endian.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace mdb_writer::detail {

constexpr std::uint32_t kMaxPageSize = 4096;
constexpr std::uint32_t kRowSlot = 2;
// Index entries address a row with one byte.
constexpr std::uint32_t kMaxRowsPerPage = 255;
// Row pointers keep the page number in 24 bits.
constexpr std::uint32_t kMaxPages = 0x00FFFFFF;

// Flags in the top bits of a row's entry in its page's offset table. A moved
// row's own entry holds a pointer to its data; the data's entry carries the
// deleted flag alone, so that a scan of that page passes over it.
constexpr std::uint16_t kRowDeleted = 0x8000;
constexpr std::uint16_t kRowMoved = 0x4000;

struct JetVersion {
    bool jet3;
    std::uint32_t pageSize;
    // Page type, a constant 1, free space, owner (or "LVAL"), in Jet 4 four
    // unknown bytes, then the row count.
    std::uint32_t rowPageHeader;
    // A usage map row: a type byte, then either a start page and a bitmap
    // (type 0) or pointers to bitmap pages (type 1).
    std::uint32_t mapRowBytes;
    std::uint32_t tableDefHeader;
    std::uint32_t columnEntry;

    std::uint32_t rowCountOffset() const { return rowPageHeader - 2; }
    std::uint32_t maxRowBytes() const { return pageSize - rowPageHeader - kRowSlot; }
    std::uint32_t longValuePiece() const { return maxRowBytes() - 4; }
    std::uint32_t inlineMapBits() const { return (mapRowBytes - 5) * 8; }
    std::uint32_t mapPageBits() const { return (pageSize - 4) * 8; }
    std::uint32_t mapPagePointers() const { return (mapRowBytes - 1) / 4; }
    std::uint32_t columnCountBytes() const { return jet3 ? 1 : 2; }
};

constexpr JetVersion kJet4{false, 4096, 14, 69, 63, 25};
constexpr JetVersion kJet3{true, 2048, 10, 133, 43, 18};

enum JetType : std::uint8_t {
    JetBoolean = 0x01,
    JetInteger = 0x03,
    JetLong = 0x04,
    JetDouble = 0x07,
    JetText = 0x0A,
    JetOle = 0x0B,
    JetMemo = 0x0C,
    JetNumeric = 0x10,
};

struct WriteError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

using jet_engine::put16;
using jet_engine::put32;

inline void append16(std::vector<std::uint8_t> &out, std::uint32_t v)
{
    out.resize(out.size() + 2);
    put16(out.data() + out.size() - 2, v);
}

inline void append32(std::vector<std::uint8_t> &out, std::uint32_t v)
{
    out.resize(out.size() + 4);
    put32(out.data() + out.size() - 4, v);
}

// A row pointer: the row's index on its page in the low byte.
inline std::uint32_t pageRow(std::uint32_t page, std::uint32_t row)
{
    return (page << 8) | row;
}

struct ColumnLayout {
    std::string name;
    JetType type = JetText;
    int maxChars = 0;
    bool fixed = false;
    // Dropped from the definition; its values stay in the rows.
    bool deleted = false;
    // The column's number counts deleted columns too: it picks the column's
    // bit in the null mask.
    std::uint16_t number = 0;
    std::uint16_t varIndex = 0;
    std::uint16_t fixedOffset = 0;
    std::uint16_t storedSize = 0;
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;
};

struct TableLayout {
    std::string name;
    bool system = false;
    // Every column a row holds, deleted ones included, in number order.
    std::vector<ColumnLayout> columns;
    std::uint16_t varCount = 0;
    std::uint16_t fixedBytes = 0;
    std::vector<std::uint32_t> definitionPages;
    std::vector<std::uint32_t> dataPages;
    std::uint32_t rowCount = 0;
    std::uint32_t usageMap = 0;
    std::uint32_t freeSpaceMap = 0;
};

} // namespace mdb_writer::detail
