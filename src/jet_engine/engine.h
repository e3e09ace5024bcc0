#pragma once
// The database engine the program asks for rows: a database object opened on a
// Jet .mdb file, result sets opened from a table name or from the search's
// query text, and a cursor over them. Every operation can fail; failures are
// values (Status), never exceptions.

#include "jet_engine/field_run.h"
#include "jet_engine/field_value.h"
#include "jet_engine/status.h"

#include <memory>
#include <string>
#include <string_view>

namespace jet_engine {

class OperatingSystem;
class StreamedDatabase;
class WorkerPool;

class Recordset {
public:
    virtual ~Recordset() = default;
    virtual Status moveFirst() = 0;
    virtual Outcome<bool> eof() const = 0;
    virtual Status moveNext() = 0;
    // Fields.Item(index).Value of the current row.
    virtual Outcome<FieldValue> field(int index) const = 0;
    // Field `index` of the current row and of every row after it, nulls
    // left out, in one step; the set is then past its last row. On failure
    // the set stays where it was.
    //
    // A set with no faster way walks itself with the calls above and copies
    // the values into a run of their own: a row whose field fails is left
    // out, and an end test or a move that fails ends the run with the rows
    // before it (and the set where the walk stopped). Running out of memory
    // in one of those calls is that call failing.
    virtual Outcome<FieldRun> restOfField(int index);
    // Keeps the text of every FieldValue read from this set alive, so that a
    // consumer can hold views into it after the set itself is released.
    virtual std::shared_ptr<const void> storage() const = 0;
};

class Database {
public:
    virtual ~Database() = default;
    // A table name ("Products", "[Order Details]") or a query text
    // ("SELECT * FROM Products Where Name like '*VIS*'").
    virtual Outcome<std::shared_ptr<Recordset>> openRecordset(std::u16string_view nameOrQuery) = 0;
    // The column the program will search `table` by: it is read, with the
    // table's first column, and indexed in the background from now on, and
    // again whenever the file has changed, so that searches find most of the
    // work done. Returns at once; a table or column the file lacks is for the
    // searches to report. A database that can do no work ahead ignores it.
    virtual void prepare(std::u16string_view table, std::u16string_view column);
};

class Engine {
public:
    // On this system's files, clock and code pages.
    Engine();
    // On those `system` gives; it must outlive the engine and everything the
    // engine returns.
    explicit Engine(OperatingSystem &system);
    // Cancels the engine's background work and waits for its workers; what
    // it returned goes on working without them.
    ~Engine();
    Engine(const Engine &) = delete;
    Engine &operator=(const Engine &) = delete;
    // exclusive/readOnly are the flags the caller asks for; the file is read
    // and never written whatever they say.
    Outcome<std::shared_ptr<Database>> openDatabase(const std::string &path, bool exclusive, bool readOnly);
    // The same file for queries read row by row and kept nowhere
    // (row_stream.h); it fails as openDatabase fails.
    Outcome<std::unique_ptr<StreamedDatabase>> openStreamed(const std::string &path);

private:
    OperatingSystem &m_system;
    std::shared_ptr<WorkerPool> m_pool;
};

} // namespace jet_engine
