// article-query DATABASE QUERY: runs one query text through the program's
// engine and prints the first column of each row as the grid shows it.

#include "article_database/engine.h"

#include <QString>

#include <cstdio>
#include <string>

namespace {

int fail(const char *what, article_database::Status status)
{
    const auto reason = article_database::describe(status);
    std::fprintf(stderr, "article-query: %s: %.*s\n", what, static_cast<int>(reason.size()), reason.data());
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    using namespace article_database;
    if (argc != 3) {
        std::fputs("usage: article-query DATABASE QUERY\n", stderr);
        return 2;
    }
    const std::u16string query = QString::fromLocal8Bit(argv[2]).toStdU16String();

    Engine engine;
    auto database = engine.openDatabase(argv[1], false, true);
    if (!database.ok())
        return fail("cannot open the database", database.status());
    auto opened = database.value()->openRecordset(query);
    if (!opened.ok())
        return fail("the query failed", opened.status());
    Recordset &rows = *opened.value();

    std::string out;
    for (;;) {
        const auto atEnd = rows.eof();
        if (!atEnd.ok())
            return fail("reading rows failed", atEnd.status());
        if (atEnd.value())
            break;
        const auto value = rows.field(0);
        if (!value.ok())
            return fail("reading rows failed", value.status());
        if (!value.value().isNull()) {
            out.append(value.value().text);
            out.push_back('\n');
        }
        if (const Status moved = rows.moveNext(); moved != Status::Ok)
            return fail("reading rows failed", moved);
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
