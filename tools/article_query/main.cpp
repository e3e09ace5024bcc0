// article-query DATABASE QUERY: runs one query text through the program's
// engine and prints the first column of each row as the grid shows it.

#include "article_database/engine.h"
#include "article_database/query/unicode_text.h"
#include "console_output.h"

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

int fail(std::string_view what, article_database::Status status)
{
    std::string message = "article-query: ";
    message.append(what).append(": ").append(article_database::describe(status)).append("\n");
    console_output::writeErr(message);
    return 1;
}

int wrongArguments()
{
    console_output::writeErr(usage);
    return 2;
}

// The arguments as UTF-8, the program's name left out.
int run(const std::vector<std::string> &args)
{
    using namespace article_database;
    std::vector<const std::string *> operands;
    bool optionsEnded = false;
    for (const std::string &arg : args) {
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(&arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            return console_output::writeOut(std::string(usage) + "\n" + help) ? 0 : 1;
        } else if (arg == "--version") {
            return console_output::writeOut("article-query " FICHE_VERSION "\n") ? 0 : 1;
        } else {
            console_output::writeErr("article-query: unknown option " + arg + "\n");
            return wrongArguments();
        }
    }
    if (operands.size() != 2)
        return wrongArguments();
    // Decoding the query leniently would search for U+FFFD in place of what
    // was typed, and find nothing without saying why.
    std::u16string query;
    if (!utf8ToUtf16(*operands[1], query)) {
        console_output::writeErr("article-query: the query is not valid UTF-8\n");
        return 2;
    }

    Engine engine;
    auto database = engine.openDatabase(*operands[0], false, true);
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
    return console_output::writeOut(out) ? 0 : 1;
}

} // namespace

#ifdef _WIN32
// Windows hands the arguments over as UTF-16 only through wmain: main would
// get them in the system's ANSI code page, which cannot hold every designation.
int wmain(int argc, wchar_t *argv[])
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::u16string units(argv[i], argv[i] + std::char_traits<wchar_t>::length(argv[i]));
        if (!article_database::utf16ToUtf8(units, args.emplace_back())) {
            console_output::writeErr("article-query: an argument is not valid UTF-16\n");
            return 2;
        }
    }
    return run(args);
}
#else
// The arguments' bytes are taken as UTF-8 whatever the locale says; the
// database path goes to the system as it came.
int main(int argc, char *argv[])
{
    return run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
