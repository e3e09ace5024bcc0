#pragma once
// The output file, written page by page, and pages of rows being filled.
// Internal to the writer.

#include "jet_layout.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace mdb_writer::detail {

// Where finished pages go: the new file being written, or the pages an edit
// of an existing file gathers before writing them.
class PageSink {
public:
    virtual std::uint32_t allocate() = 0;
    virtual void write(std::uint32_t page, const std::uint8_t *data) = 0;

protected:
    ~PageSink() = default;
};

// Pages go to disk as they are finished. Most are finished in page order, so
// consecutive ones are gathered into one large write. They go to a new file
// beside the target, which replaces the target only once it is complete: a
// write that fails leaves whatever was at the path untouched.
class PageFile final : public PageSink {
public:
    PageFile(const std::string &path, std::uint32_t pageSize);
    PageFile(const PageFile &) = delete;
    PageFile &operator=(const PageFile &) = delete;
    ~PageFile();

    std::uint32_t allocate() override;
    void write(std::uint32_t page, const std::uint8_t *data) override;
    // Checks that every allocated page was written, then puts the file in place.
    void close();

private:
    static constexpr std::size_t kFlushBytes = std::size_t{1} << 20;

    void flush();

    std::uint32_t m_pageSize;
    std::string m_path;
    std::string m_temporary;
    std::ofstream m_out;
    std::uint32_t m_allocated = 0;
    std::uint32_t m_written = 0;
    std::uint32_t m_pendingFirst = 0;
    std::vector<std::uint8_t> m_pending;
};

// A page of rows (data, long values or usage maps): the row offsets grow from
// the header down the page, the rows from the end of the page up.
class RowPage {
public:
    explicit RowPage(const JetVersion &version) : m_version(version) {}

    void start(std::uint32_t number, const std::uint8_t owner[4]);
    bool open() const { return m_open; }
    std::uint32_t number() const { return m_number; }
    bool fits(std::size_t bytes) const;
    // Returns the row's index on the page; the caller checked fits(). `flags`
    // go into the top bits of the row's offset entry.
    std::uint32_t add(const std::uint8_t *data, std::size_t bytes, std::uint16_t flags = 0);
    // Fills in the header and hands the page to the file.
    void finish(PageSink &file);

private:
    std::uint32_t slotsEnd() const { return m_version.rowPageHeader + kRowSlot * m_rows; }

    const JetVersion &m_version;
    std::array<std::uint8_t, kMaxPageSize> m_page{};
    std::uint32_t m_number = 0;
    std::uint32_t m_rows = 0;
    std::uint32_t m_top = 0;
    bool m_open = false;
};

} // namespace mdb_writer::detail
