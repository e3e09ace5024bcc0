#pragma once
// A Jet/Access file opened for reading: its catalog, its tables'
// definitions and where their rows lie, read from the pages through a handle
// of our own. Not thread-safe: callers serialise access.

#include "jet_engine/status.h"
#include "jet_engine/format/jet_layout.h"
#include "jet_engine/format/page_source.h"
#include "jet_engine/format/stored_text.h"
#include "jet_engine/platform/operating_system.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace jet_engine {

struct TableRef {
    std::string name;      // as the catalog spells it
    std::uint32_t page = 0; // its definition page
};

// Where a table's rows lie in the file as it is now: its data pages, in
// order. Walks over consecutive runs of those pages, each on a thread of its
// own, give the table's rows in order, run after run. Reads through the
// handle of the JetFile that gave it, which must outlive it.
struct TablePages {
    const ReadableFile *file = nullptr;
    std::uint64_t fileSize = 0;
    FileFormat format;
    TableLayout table;
    std::vector<std::uint32_t> dataPages;
};

// The index of the column named `name` (compared as Jet compares names), or
// -1 when the table has none.
int findColumn(const TableLayout &table, std::string_view name);

class JetFile {
public:
    // Opens without write access and reads the catalog's list of tables.
    static Outcome<std::unique_ptr<JetFile>> open(OperatingSystem &system, const std::string &path);
    ~JetFile();
    JetFile(const JetFile &) = delete;
    JetFile &operator=(const JetFile &) = delete;

    // Names compare as Jet compares them: letter case ignored, accents kept.
    std::optional<TableRef> findTable(std::string_view name) const;

    // The table's definition as the file holds it now: its columns in the
    // order the table shows them, their types, sizes, precision and scale.
    Outcome<TableLayout> definition(const TableRef &table);
    Outcome<std::vector<std::string>> columnNames(const TableRef &table);

    // The definition as a file of `fileSize` bytes holds it.
    Outcome<TableLayout> definition(const TableRef &table, std::uint64_t fileSize);

    // What the open handle is now: the program keeps its database open for
    // a whole session while another program adds rows to it.
    std::optional<FileIdentity> identity() const;
    const FileFormat &format() const;
    const ReadableFile &handle() const;

    // Where the rows of `table`, a definition this file gave, lie now.
    Outcome<TablePages> tablePages(const TableLayout &table);
    // Jet 3 text decoding for the thread that uses this file; null for Jet 4.
    const CodePageText *codePageText() const;
    // Jet 3 text decoding for one more thread; null when the system has no
    // other converter, or for a Jet 4 file, whose text needs none.
    std::unique_ptr<CodePageText> anotherCodePageText() const;

private:
    struct State;
    explicit JetFile(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

} // namespace jet_engine
