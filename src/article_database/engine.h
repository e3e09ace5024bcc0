#pragma once
// The database engine the program asks for rows: a database object opened on a
// Jet .mdb file, result sets opened from a table name or from the search's
// query text, and a cursor over them. Every operation can fail; failures are
// values (Status), never exceptions.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

namespace article_database {

enum class Status {
    Ok,
    FileNotFound,      // no such file, or it is a directory
    NotADatabase,      // unreadable, damaged or not a Jet file
    NoSuchTable,
    NoSuchColumn,
    SyntaxError,       // query text we cannot parse
    InvalidPattern,    // LIKE pattern Jet rejects (unclosed '[', descending range)
    ReadFailed,        // the file changed or broke while rows were read
    NoCurrentRow,      // MoveFirst on an empty set, field read past the end
    OutOfMemory,       // the step could not get the memory it needed
};

std::string_view describe(Status status);

template <typename T>
class Outcome {
public:
    Outcome(T value) : m_value(std::move(value)) {}
    Outcome(Status failure) : m_value(failure) {}
    bool ok() const { return std::holds_alternative<T>(m_value); }
    Status status() const { return ok() ? Status::Ok : std::get<Status>(m_value); }
    T &value() { return std::get<T>(m_value); }
    const T &value() const { return std::get<T>(m_value); }

private:
    std::variant<T, Status> m_value;
};

// One field of the current row. The text is the value's display form (UTF-8:
// text as stored, integers as plain digits, ...); it stays valid as long as
// `storage` (or the result set it came from) is alive.
struct FieldValue {
    enum class Kind { Null, Text, Integer, Real, Boolean, Currency, DateTime };
    Kind kind = Kind::Null;
    std::string_view text;
    bool isNull() const { return kind == Kind::Null; }
};

class Recordset {
public:
    virtual ~Recordset() = default;
    virtual Status moveFirst() = 0;
    virtual Outcome<bool> eof() const = 0;
    virtual Status moveNext() = 0;
    // Fields.Item(index).Value of the current row.
    virtual Outcome<FieldValue> field(int index) const = 0;
    // Keeps the text of every FieldValue read from this set alive, so that a
    // consumer can hold views into it after the set itself is released.
    virtual std::shared_ptr<const void> storage() const = 0;
};

class Database {
public:
    virtual ~Database() = default;
    // A table name ("ARTICLE", "[Order Details]") or a query text
    // ("SELECT * FROM ARTICLE Where ARTICLE like '*VIS*'").
    virtual Outcome<std::shared_ptr<Recordset>> openRecordset(std::u16string_view nameOrQuery) = 0;
};

class Engine {
public:
    Engine();
    ~Engine();
    Engine(const Engine &) = delete;
    Engine &operator=(const Engine &) = delete;
    // exclusive/readOnly are the flags the caller asks for; the file is read
    // and never written whatever they say.
    Outcome<std::shared_ptr<Database>> openDatabase(const std::string &path, bool exclusive, bool readOnly);
};

} // namespace article_database
