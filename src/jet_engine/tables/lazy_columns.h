#pragma once
// Reads a snapshot's remaining columns from the file it was read from, on
// its own handle, and only while the file's pages are still those the
// snapshot's rows came from.

#include "jet_engine/format/jet_layout.h"
#include "jet_engine/format/stored_text.h"
#include "jet_engine/platform/operating_system.h"
#include "jet_engine/tables/snapshot.h"
#include "jet_engine/watch/file_state.h"

#include <cstdint>
#include <memory>

namespace jet_engine {

class WorkerPool;

class FileColumnSource final : public ColumnSource {
public:
    // `jet3` (Jet 3 files only) is the model for the converter each load
    // makes for itself: loads of two columns may run at once. A large
    // column is read with a worker of `pool` when one is free.
    FileColumnSource(std::unique_ptr<ReadableFile> file, FileFormat format, TableLayout table,
                     std::unique_ptr<CodePageText> jet3, FileIdentity state, std::uint64_t pagesDigest,
                     std::uint32_t rows, std::shared_ptr<WorkerPool> pool);

    Outcome<ColumnValues> load(std::size_t column) const override;

private:
    std::unique_ptr<ReadableFile> m_file;
    FileFormat m_format;
    TableLayout m_table;
    std::unique_ptr<CodePageText> m_jet3;
    FileIdentity m_state;
    std::uint64_t m_pagesDigest;
    std::uint32_t m_rows;
    std::shared_ptr<WorkerPool> m_pool;
};

// The same for a snapshot patched to the state `state` of the file: a column
// is read whole, then kept only when the file still holds every page of
// that state.
class RecapturedColumnSource final : public ColumnSource {
public:
    RecapturedColumnSource(std::unique_ptr<ReadableFile> file, FileFormat format, TableLayout table,
                           std::unique_ptr<CodePageText> jet3, OperatingSystem &system, FileState state,
                           std::uint32_t rows);

    Outcome<ColumnValues> load(std::size_t column) const override;

private:
    std::unique_ptr<ReadableFile> m_file;
    FileFormat m_format;
    TableLayout m_table;
    std::unique_ptr<CodePageText> m_jet3;
    OperatingSystem &m_system;
    FileState m_state;
    std::uint32_t m_rows;
};

} // namespace jet_engine
