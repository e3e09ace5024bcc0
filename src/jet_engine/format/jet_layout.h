#pragma once
// What our row reader needs to know about a file and one of its tables:
// the format from the file's first page (file_header.cpp), the rest from the
// table's definition (table_definition.cpp).

#include <cstdint>
#include <string>
#include <vector>

namespace jet_engine {

// Column types as Jet stores them in a table definition.
enum class JetType : std::uint8_t {
    Boolean = 0x01,
    Byte = 0x02,
    Integer = 0x03,
    LongInteger = 0x04,
    Currency = 0x05,
    Single = 0x06,
    Double = 0x07,
    DateTime = 0x08,
    Binary = 0x09,
    Text = 0x0A,
    Ole = 0x0B,
    Memo = 0x0C,
    ReplicationId = 0x0F,
    Numeric = 0x10,
};

struct FileFormat {
    bool jet3 = false;          // Access 97: 2 KiB pages, one-byte row offsets, code page text
    std::uint32_t pageSize = 4096;
    std::uint16_t codePage = 1252;

    std::uint32_t rowCountOffset() const { return jet3 ? 8 : 12; }
    std::uint32_t rowTableOffset() const { return rowCountOffset() + 2; }
};

struct ColumnLayout {
    std::string name;
    std::uint8_t type = 0;          // a JetType, or a type we show as hex
    // Its place in every row's null mask. Deleted columns leave gaps.
    std::uint16_t number = 0;
    // Variable columns: which entry of the row's offset table holds it.
    std::uint16_t varIndex = 0;
    // Fixed columns: where its bytes start after the row's column count.
    std::uint16_t fixedOffset = 0;
    std::uint16_t size = 0;
    bool fixed = false;
    std::uint8_t scale = 0;
    std::uint8_t precision = 0;
};

struct TableLayout {
    std::string name;
    std::uint32_t definitionPage = 0;
    // Columns in the order the table shows them.
    std::vector<ColumnLayout> columns;
    // Whether rows carry a variable-column offset table at all.
    bool hasVariableColumns = false;
    // The usage map row: which pages hold the table's rows.
    std::vector<std::uint8_t> usageMap;
    // As the definition says; a hint for reserving room, never trusted.
    std::uint32_t rowCountHint = 0;
};

} // namespace jet_engine
