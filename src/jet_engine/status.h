#pragma once
// What every step of the engine answers: a value, or the reason it has none.
// Failures are values, never exceptions, from the innermost page reader up to
// the facade.

#include <string_view>
#include <utility>
#include <variant>

namespace jet_engine {

enum class Status {
    Ok,
    FileNotFound,      // no such file, or it is a directory
    NotADatabase,      // unreadable, damaged or not a Jet file
    NoSuchTable,
    NoSuchColumn,
    SyntaxError,       // query text we cannot parse
    UnsupportedQuery,  // a statement other than the one SELECT form we answer
    InvalidPattern,    // LIKE pattern Jet rejects (unclosed '[', descending range)
    ReadFailed,        // the file changed or broke while rows were read
    FileChanged,       // rows already given came from a state of the file now gone
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

} // namespace jet_engine
