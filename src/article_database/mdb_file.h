#pragma once
// A Jet/Access file opened for reading through libmdb. This header shows only
// our own types; libmdb stays inside mdb_file.cpp. Not thread-safe: libmdb
// keeps the current page in the handle, so callers serialise access.

#include "engine.h"
#include "snapshot.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace article_database {

struct TableRef {
    std::string name;      // as the catalog spells it
    std::uint32_t page = 0; // its definition page
};

class JetFile {
public:
    // Opens without write access and reads the catalog's list of tables.
    static Outcome<std::unique_ptr<JetFile>> open(const std::string &path);
    ~JetFile();
    JetFile(const JetFile &) = delete;
    JetFile &operator=(const JetFile &) = delete;

    // Names compare as Jet compares them: letter case ignored, accents kept.
    std::optional<TableRef> findTable(std::string_view name) const;

    Outcome<std::vector<std::string>> columnNames(const TableRef &table);

    // Reads every row, in stored order; kept apart from the rest so that a
    // cache of snapshots can sit in front of it. Gives up (ReadFailed) as
    // soon as it sees `cancelled` set.
    Outcome<std::shared_ptr<const Snapshot>> readTable(const TableRef &table, const std::atomic<bool> &cancelled);

private:
    struct State;
    explicit JetFile(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

} // namespace article_database
