// article-query DATABASE QUERY: runs one query text through the program's
// engine and prints the first column of each row as the grid shows it.

#include "jet_engine/engine.h"
#include "jet_engine/row_stream.h"
#include "jet_engine/text/unicode_text.h"
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
    "Rows are printed as they are read. Exit status: 0 on success, 1 when the\n"
    "database or the query fails or the file changes while it is read (drop\n"
    "whatever was printed then), 2 on wrong arguments.\n";

int fail(std::string_view what, jet_engine::Status status)
{
    std::string message = "article-query: ";
    message.append(what).append(": ").append(jet_engine::describe(status)).append("\n");
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
    using namespace jet_engine;
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

    // Rows are read, matched and printed as they come, the table never held
    // whole: the memory taken stays the same whatever the table's size.
    Engine engine;
    auto database = engine.openStreamed(*operands[0]);
    if (!database.ok())
        return fail("cannot open the database", database.status());
    auto opened = database.value()->query(query);
    if (!opened.ok())
        return fail("the query failed", opened.status());
    RowStream &rows = *opened.value();

    // Written a large piece at a time: one write a row would cost more than
    // reading the row.
    constexpr std::size_t piece = std::size_t{1} << 20;
    std::string out;
    out.reserve(piece + 4096);
    for (;;) {
        const auto row = rows.next();
        if (!row.ok()) {
            if (row.status() == Status::FileChanged) {
                console_output::writeErr("article-query: the database changed while it was read; drop this output\n");
                return 1;
            }
            return fail("reading rows failed", row.status());
        }
        if (!row.value())
            break;
        const FieldValue value = rows.firstColumn();
        if (value.isNull())
            continue;
        out.append(value.text);
        out.push_back('\n');
        if (out.size() >= piece) {
            if (!console_output::writeOut(out))
                return 1;
            out.clear();
        }
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
        if (!jet_engine::utf16ToUtf8(units, args.emplace_back())) {
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
