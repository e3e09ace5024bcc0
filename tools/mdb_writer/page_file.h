#pragma once
// The output file, written page by page, and pages of rows being filled.
// Internal to the writer.

#include "jet_layout.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mdb_writer::detail {

// Pages go to disk as they are finished. Most are finished in page order, so
// consecutive ones are gathered into one large write. They go to a new file
// beside the target, which replaces the target only once it is complete: a
// write that fails leaves whatever was at the path untouched.
class PageFile {
public:
    PageFile(const std::string &path, std::uint32_t pageSize);
    PageFile(const PageFile &) = delete;
    PageFile &operator=(const PageFile &) = delete;
    ~PageFile();

    std::uint32_t allocate();
    void write(std::uint32_t page, const std::uint8_t *data);
    // Checks that every allocated page was written, then puts the file in place.
    void close();

private:
    static constexpr std::size_t kFlushBytes = std::size_t{1} << 20;

    void flush();

    std::uint32_t pageSize_;
    std::string path_;
    std::string temporary_;
    int fd_ = -1;
    std::uint32_t allocated_ = 0;
    std::uint32_t written_ = 0;
    std::uint32_t pendingFirst_ = 0;
    std::vector<std::uint8_t> pending_;
};

// A page of rows (data, long values or usage maps): the row offsets grow from
// the header down the page, the rows from the end of the page up.
class RowPage {
public:
    explicit RowPage(const JetVersion &version) : version_(version) {}

    void start(std::uint32_t number, const std::uint8_t owner[4]);
    bool open() const { return open_; }
    std::uint32_t number() const { return number_; }
    bool fits(std::size_t bytes) const;
    // Returns the row's index on the page; the caller checked fits(). `flags`
    // go into the top bits of the row's offset entry.
    std::uint32_t add(const std::uint8_t *data, std::size_t bytes, std::uint16_t flags = 0);
    // Fills in the header and hands the page to the file.
    void finish(PageFile &file);

private:
    std::uint32_t slotsEnd() const { return version_.rowPageHeader + kRowSlot * rows_; }

    const JetVersion &version_;
    std::array<std::uint8_t, kMaxPageSize> page_{};
    std::uint32_t number_ = 0;
    std::uint32_t rows_ = 0;
    std::uint32_t top_ = 0;
    bool open_ = false;
};

} // namespace mdb_writer::detail
