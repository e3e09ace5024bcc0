// article-query DATABASE QUERY: runs one query text through the program's
// engine and prints the first column of each row as the grid shows it.

#include "article_database/engine.h"

#include <QString>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr char usage[] = "usage: article-query [--] DATABASE QUERY\n"
                         "       article-query --help | --version\n";

constexpr char help[] =
    "Runs one query on a Jet/Access .mdb file, which it only reads, and prints\n"
    "the first column of each row, one a line, nulls left out.\n"
    "\n"
    "QUERY is a table name (ARTICLE, [Order Details]) or\n"
    "  SELECT * FROM table [WHERE column LIKE 'pattern']\n"
    "where the pattern takes * ? # [list] [!list] as Jet LIKE does.\n"
    "\n"
    "Exit status: 0 on success, 1 when the database or the query fails,\n"
    "2 on wrong arguments.\n";

int fail(const char *what, article_database::Status status)
{
    const auto reason = article_database::describe(status);
    std::fprintf(stderr, "article-query: %s: %.*s\n", what, static_cast<int>(reason.size()), reason.data());
    return 1;
}

int wrongArguments()
{
    std::fputs(usage, stderr);
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    using namespace article_database;
    std::vector<const char *> operands;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(argv[i]);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            std::fputs("\n", stdout);
            std::fputs(help, stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        } else if (arg == "--version") {
            std::fputs("article-query " FICHE_VERSION "\n", stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        } else {
            std::fprintf(stderr, "article-query: unknown option %s\n", argv[i]);
            return wrongArguments();
        }
    }
    if (operands.size() != 2)
        return wrongArguments();
    const std::u16string query = QString::fromLocal8Bit(operands[1]).toStdU16String();

    Engine engine;
    auto database = engine.openDatabase(operands[0], false, true);
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
