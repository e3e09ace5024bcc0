#include "jet_engine/status.h"

namespace jet_engine {

std::string_view describe(Status status)
{
    switch (status) {
    case Status::Ok: return "ok";
    case Status::FileNotFound: return "database file not found";
    case Status::NotADatabase: return "not a readable Jet database";
    case Status::NoSuchTable: return "no such table";
    case Status::NoSuchColumn: return "no such column";
    case Status::SyntaxError: return "query syntax error";
    case Status::UnsupportedQuery: return "unsupported query";
    case Status::InvalidPattern: return "invalid LIKE pattern";
    case Status::ReadFailed: return "reading the database failed";
    case Status::FileChanged: return "the database changed while it was read";
    case Status::NoCurrentRow: return "no current row";
    case Status::OutOfMemory: return "out of memory";
    }
    return "unknown status";
}

} // namespace jet_engine
