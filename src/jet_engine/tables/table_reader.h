#pragma once
// Reads some columns of every row of a table straight from its pages, in
// Jet's own row order, into display text.

#include "jet_engine/status.h"
#include "jet_engine/format/jet_layout.h"
#include "jet_engine/tables/page_map.h"
#include "jet_engine/tables/snapshot.h"
#include "jet_engine/format/stored_text.h"
#include "jet_engine/platform/operating_system.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

namespace jet_engine {

class WorkerPool;

struct ColumnsRead {
    std::vector<ColumnValues> columns; // one per wanted column, in that order
    // The rows whose folding is not the one done as read, for the wanted
    // columns asked to be searched.
    std::vector<std::optional<OtherFolds>> others;
    std::uint32_t rows = 0;
    // Sums every page the rows were read from: the same for any later read
    // of the same state of the file.
    std::uint64_t pagesDigest = 0;
    // Where the rows came from.
    PageMap pages;
};

// Reads from `file` the pages of a file of `fileSize` bytes; a large table
// in two halves, with a worker of `pool` reading `file` at once when one is
// free. ReadFailed when the
// rows do not hold together, the file ends early, or `cancel` is set while
// reading.
// `fold[i]`, when given, says whether wanted column i will be searched: its
// other folds are found while its text is at hand.
Outcome<ColumnsRead> readColumns(const ReadableFile &file, std::uint64_t fileSize, const FileFormat &format,
                                 const TableLayout &table, const CodePageText *jet3, const std::vector<unsigned> &wanted,
                                 const std::atomic<bool> *cancel = nullptr, const std::vector<bool> &fold = {},
                                 WorkerPool *pool = nullptr);

// The same over the data pages `dataPages` alone, in that order, on one
// thread: the rows of a few pages read again.
Outcome<ColumnsRead> readColumnsOf(const ReadableFile &file, std::uint64_t fileSize, const FileFormat &format,
                                   const TableLayout &table, const CodePageText *jet3,
                                   const std::vector<unsigned> &wanted, std::vector<std::uint32_t> dataPages,
                                   const std::vector<bool> &fold = {});

} // namespace jet_engine
