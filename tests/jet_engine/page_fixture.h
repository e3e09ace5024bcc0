#pragma once
// Jet 4 files laid out page by page in memory, for tests of the row reader's
// parts: shapes the writer cannot make (moved rows, loops, broken pointers)
// are written here byte by byte.

#include "jet_engine/format/page_source.h"
#include "jet_engine/platform/operating_system.h"
#include "file_bytes.h"
#include "test_files.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace jet_engine::testing_support {

constexpr std::uint32_t fixturePageSize = 4096;
constexpr std::uint16_t deletedRow = 0xC000;
constexpr std::uint16_t movedData = 0x8000;
constexpr std::uint16_t movedHome = 0x4000;

using test_support::put16;
using test_support::put32;

inline std::string le16Bytes(std::uint32_t v)
{
    std::string s(2, '\0');
    put16(s, 0, v);
    return s;
}

// What a moved row's home holds: row in the low byte, page above it.
inline std::string pointerTo(std::uint32_t page, std::uint32_t row)
{
    std::string s(4, '\0');
    put32(s, 0, (page << 8) | row);
    return s;
}

struct StoredRow {
    std::string bytes;
    std::uint16_t flags = 0;
};

class PageFixture {
public:
    explicit PageFixture(std::size_t pageCount) : m_bytes(pageCount * fixturePageSize, '\0') {}

    // A row page (data or long values): row offsets after the header, rows
    // from the end of the page up, in the order given.
    void rowPage(std::uint32_t page, std::uint32_t owner, const std::vector<StoredRow> &rows)
    {
        const std::size_t base = page * fixturePageSize;
        m_bytes[base] = 0x01;
        m_bytes[base + 1] = 0x01;
        put32(m_bytes, base + 4, owner);
        put16(m_bytes, base + 12, static_cast<std::uint32_t>(rows.size()));
        std::size_t top = fixturePageSize;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            top -= rows[i].bytes.size();
            m_bytes.replace(base + top, rows[i].bytes.size(), rows[i].bytes);
            put16(m_bytes, base + 14 + 2 * i, static_cast<std::uint32_t>(top) | rows[i].flags);
        }
    }

    // A page of the usage bitmap kind, with the given pages' bits set.
    void bitmapPage(std::uint32_t page, const std::vector<std::uint32_t> &bits)
    {
        const std::size_t base = page * fixturePageSize;
        m_bytes[base] = 0x05;
        m_bytes[base + 1] = 0x01;
        for (std::uint32_t bit : bits)
            m_bytes[base + 4 + bit / 8] = static_cast<char>(m_bytes[base + 4 + bit / 8] | (1 << (bit % 8)));
    }

    std::string &bytes() { return m_bytes; }

    // The pages as the engine reads them, from a file of their own; null
    // when that file cannot be written and opened.
    PageSource *open()
    {
        const std::string path = m_dir.file("pages.mdb");
        writeBytes(path, m_bytes);
        auto file = operatingSystem().openForReading(path);
        if (!file.ok())
            return nullptr;
        m_file = std::move(file.value());
        return &m_pages.emplace(*m_file, fixturePageSize, m_bytes.size());
    }

    PageFixture(const PageFixture &) = delete;
    PageFixture &operator=(const PageFixture &) = delete;

private:
    std::string m_bytes;
    TempDir m_dir;
    std::unique_ptr<ReadableFile> m_file;
    std::optional<PageSource> m_pages;
};

} // namespace jet_engine::testing_support
