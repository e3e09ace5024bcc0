#pragma once
// The pages one edit changes or adds, gathered before any is written, so
// that an edit refused halfway leaves the file as it was. Internal to the
// writer.

#include "held_file.h"
#include "page_file.h"

#include <cstdint>
#include <map>
#include <vector>

namespace mdb_writer::detail {

class PageWrites final : public PageSink {
public:
    // `pageCount`: the pages the file has; new ones are numbered after them.
    PageWrites(std::uint32_t pageSize, std::uint32_t pageCount) : m_pageSize(pageSize), m_next(pageCount) {}

    std::uint32_t allocate() override;
    // A later write of the same page replaces the earlier one.
    void write(std::uint32_t page, const std::uint8_t *data) override;

    // New pages first, then changed ones, each in page order: whatever a
    // changed page links to is there before the link.
    void commit(HeldFile &file) const;

private:
    std::uint32_t m_pageSize;
    std::uint32_t m_next;
    std::map<std::uint32_t, std::vector<std::uint8_t>> m_pages;
};

} // namespace mdb_writer::detail
