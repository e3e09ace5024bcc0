#include "read_back.h"

#include "article_database/unicode_text.h"
#include "jet_text.h"

// mdbtools.h opens an extern "C" block around its glib include, which C++
// templates in glib reject unless glib.h came first.
#include <glib.h>
#include <mdbtools.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace writer_test {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "mdb-writer-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

Output run(const std::vector<std::string> &argv, int timeLimitSeconds)
{
    int out[2];
    int err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    Output result;
    if (spawned != 0) {
        ::close(out[0]);
        ::close(err[0]);
        result.err = "cannot start " + argv[0];
        return result;
    }
    // Both pipes are drained together so a chatty stderr cannot stall stdout.
    std::array<pollfd, 2> fds = {{{out[0], POLLIN, 0}, {err[0], POLLIN, 0}}};
    std::string *sinks[2] = {&result.out, &result.err};
    int open = 2;
    char buffer[65536];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeLimitSeconds);
    while (open > 0) {
        int wait = -1;
        if (timeLimitSeconds > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                ::kill(pid, SIGKILL);
                result.timedOut = true;
                break;
            }
            wait = static_cast<int>(left.count());
        }
        const int ready = ::poll(fds.data(), fds.size(), wait);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (const pollfd &fd : fds)
        if (fd.fd >= 0)
            ::close(fd.fd);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

namespace {

const std::string kNullMarker = "NULL";

void checkRun(const Output &o, const std::vector<std::string> &argv)
{
    if (o.status != 0 || !o.err.empty())
        throw std::runtime_error(argv[0] + " failed (" + std::to_string(o.status) + "): " + o.err);
}

// Text fields are quoted, so an unquoted marker can only be a null.
std::vector<PrintedRow> parseCsv(const std::string &s)
{
    std::vector<PrintedRow> rows;
    PrintedRow row;
    std::size_t i = 0;
    while (i < s.size()) {
        std::string field;
        bool quoted = false;
        if (s[i] == '"') {
            quoted = true;
            ++i;
            for (;;) {
                if (i >= s.size())
                    throw std::runtime_error("unterminated quote in CSV");
                if (s[i] == '"') {
                    if (i + 1 < s.size() && s[i + 1] == '"') {
                        field.push_back('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field.push_back(s[i++]);
            }
        } else {
            while (i < s.size() && s[i] != ',' && s[i] != '\n')
                field.push_back(s[i++]);
        }
        if (!quoted && field == kNullMarker)
            row.emplace_back(std::nullopt);
        else
            row.emplace_back(std::move(field));
        if (i < s.size() && s[i] == ',') {
            ++i;
            continue;
        }
        ++i;
        rows.push_back(std::move(row));
        row.clear();
    }
    return rows;
}


// mdb-json writes one flat object per line: string keys, string or number values.
class JsonLine {
public:
    explicit JsonLine(std::string_view s) : s_(s) {}

    std::map<std::string, std::string> object()
    {
        std::map<std::string, std::string> values;
        expect('{');
        if (peek() == '}')
            return values;
        for (;;) {
            std::string key = string();
            expect(':');
            values[key] = peek() == '"' ? string() : number();
            if (peek() == '}')
                return values;
            expect(',');
        }
    }

private:
    char peek() const
    {
        if (i_ >= s_.size())
            throw std::runtime_error("truncated JSON");
        return s_[i_];
    }
    void expect(char c)
    {
        if (peek() != c)
            throw std::runtime_error(std::string("JSON: expected ") + c);
        ++i_;
    }
    std::string number()
    {
        const std::size_t start = i_;
        while (i_ < s_.size() && s_[i_] != ',' && s_[i_] != '}')
            ++i_;
        return std::string(s_.substr(start, i_ - start));
    }
    unsigned hex4()
    {
        const std::string digits(s_.substr(i_, 4));
        i_ += 4;
        return static_cast<unsigned>(std::stoul(digits, nullptr, 16));
    }
    std::string string()
    {
        expect('"');
        std::string out;
        for (;;) {
            const char c = s_.at(i_++);
            if (c == '"')
                return out;
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            // mdb-json escapes quotes and backslashes, and writes every other
            // character it escapes as \u00XX.
            const char e = s_.at(i_++);
            if (e == 'u')
                article_database::appendUtf8(out, hex4());
            else
                out.push_back(e);
        }
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

// libmdb 1.0.0 converts with UCS-2, which has no surrogates: a character
// beyond the BMP comes out as one '?' per UTF-16 unit.
std::string asUcs2Prints(const std::string &s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        if ((static_cast<unsigned char>(s[i]) & 0xF8) == 0xF0) {
            out += "??";
            i += 4;
        } else {
            out.push_back(s[i++]);
        }
    }
    return out;
}

} // namespace

std::vector<PrintedRow> exportCsv(const std::string &path, const std::string &table)
{
    const std::vector<std::string> argv = {"mdb-export", "-0", kNullMarker, path, table};
    const Output o = run(argv);
    checkRun(o, argv);
    return parseCsv(o.out);
}

std::vector<PrintedRow> exportJson(const std::string &path, const std::string &table,
                                   const std::vector<std::string> &columns)
{
    const std::vector<std::string> argv = {"mdb-json", path, table};
    const Output o = run(argv);
    checkRun(o, argv);
    std::vector<PrintedRow> rows;
    std::size_t start = 0;
    while (start < o.out.size()) {
        std::size_t end = o.out.find('\n', start);
        if (end == std::string::npos)
            end = o.out.size();
        auto values = JsonLine(std::string_view(o.out).substr(start, end - start)).object();
        PrintedRow row;
        for (const std::string &c : columns) {
            auto it = values.find(c);
            row.push_back(it == values.end() ? Printed{} : Printed{it->second});
        }
        rows.push_back(std::move(row));
        start = end + 1;
    }
    return rows;
}

std::string mismatch(mdb_writer::ColumnType type, const mdb_writer::Cell &cell, const Printed &printed)
{
    using mdb_writer::ColumnType;
    const std::string shown = printed ? "\"" + printed->substr(0, 80) + "\"" : "null";
    if (type == ColumnType::Boolean) {
        // A boolean lives in the null mask: there is no null boolean.
        const bool value = std::holds_alternative<bool>(cell) && std::get<bool>(cell);
        return printed == (value ? "1" : "0") ? "" : "expected " + std::string(value ? "1" : "0") + ", got " + shown;
    }
    if (std::holds_alternative<mdb_writer::Null>(cell))
        return printed ? "expected null, got " + shown : "";
    if (const auto *text = std::get_if<std::string>(&cell)) {
        // libmdb hands a zero-length text over exactly as it hands a null.
        if (text->empty())
            return printed ? "expected the empty text to print as null, got " + shown : "";
        if (printed && (*printed == *text || *printed == asUcs2Prints(*text)))
            return "";
        return "expected \"" + text->substr(0, 80) + "\" (" + std::to_string(text->size()) + " bytes), got " + shown
               + (printed ? " (" + std::to_string(printed->size()) + " bytes)" : "");
    }
    if (!printed)
        return "expected a value, got null";
    if (const auto *i = std::get_if<std::int32_t>(&cell))
        return *printed == std::to_string(*i) ? "" : "expected " + std::to_string(*i) + ", got " + shown;
    const double expected = std::get<double>(cell);
    char *end = nullptr;
    const double got = std::strtod(printed->c_str(), &end);
    // The tools print 16 significant digits, a few units short of round-tripping.
    if (*end == '\0' && std::fabs(got - expected) <= 1e-15 * std::fabs(expected))
        return "";
    return "expected about " + std::to_string(expected) + ", got " + shown;
}

namespace {

std::vector<std::string> columnNames(const mdb_writer::Table &table)
{
    std::vector<std::string> names;
    for (const mdb_writer::Column &c : table.columns)
        names.push_back(c.name);
    return names;
}

} // namespace

void expectToolsShow(const std::string &path, const mdb_writer::Table &table)
{
    const std::size_t count = table.generate ? table.rowCount : table.rows.size();
    const std::vector<PrintedRow> csv = exportCsv(path, table.name);
    const std::vector<PrintedRow> json = exportJson(path, table.name, columnNames(table));
    ASSERT_EQ(csv.size(), count + 1) << "mdb-export rows of " << table.name;
    ASSERT_EQ(json.size(), count) << "mdb-json rows of " << table.name;
    for (std::size_t c = 0; c < table.columns.size(); ++c)
        EXPECT_EQ(csv[0].at(c), table.columns[c].name);

    int reports = 0;
    mdb_writer::Row row;
    for (std::size_t i = 0; i < count && reports < 10; ++i) {
        if (table.generate) {
            row.assign(table.columns.size(), mdb_writer::Null{});
            table.generate(i, row);
        } else {
            row = table.rows[i];
        }
        ASSERT_EQ(csv[i + 1].size(), table.columns.size()) << "mdb-export row " << i;
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            const std::pair<const char *, const Printed *> seen[] = {{"mdb-export", &csv[i + 1][c]},
                                                                     {"mdb-json", &json[i][c]}};
            for (const auto &[tool, printed] : seen) {
                const std::string m = mismatch(table.columns[c].type, row[c], *printed);
                if (!m.empty() && reports++ < 10) {
                    ADD_FAILURE() << tool << ", " << table.name << " row " << i << " column "
                                  << table.columns[c].name << ": " << m;
                }
            }
        }
    }
}

std::string toolLine(const std::vector<std::string> &argv)
{
    const Output o = run(argv);
    EXPECT_EQ(o.status, 0) << argv[0] << ": " << o.err;
    EXPECT_EQ(o.err, "") << argv[0];
    std::string s = o.out;
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}

Schema schema(const std::string &path)
{
    Schema tables;
    std::string current;
    std::size_t start = 0;
    const std::string text = toolLine({"mdb-schema", path});
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.rfind("CREATE TABLE [", 0) == 0) {
            current = line.substr(14, line.find(']') - 14);
            tables[current];
        } else if (line.rfind("\t[", 0) == 0) {
            const std::size_t close = line.find(']');
            std::string type = line.substr(line.find_first_not_of('\t', close + 1));
            type = type.substr(0, type.find_last_not_of(", ") + 1);
            tables[current].push_back({line.substr(2, close - 2), type});
        }
    }
    return tables;
}

std::optional<LibmdbTable> readWithLibmdb(const std::string &path, const std::string &tableName,
                                          std::size_t bindSize)
{
    MdbHandle *mdb = mdb_open(path.c_str(), MDB_NOFLAGS);
    if (!mdb)
        return std::nullopt;
    mdb_set_bind_size(mdb, bindSize);
    std::string name = tableName;
    MdbTableDef *table = mdb_read_table_by_name(mdb, name.data(), MDB_TABLE);
    if (!table || !mdb_read_columns(table)) {
        mdb_close(mdb);
        return std::nullopt;
    }
    LibmdbTable result;
    result.declaredRows = table->num_rows;
    result.usageMapType = table->map_sz > 0 ? table->usage_map[0] : -1;
    const unsigned columns = table->num_cols;
    std::vector<std::vector<char>> buffers(columns, std::vector<char>(mdb->bind_size));
    for (unsigned i = 0; i < columns; ++i) {
        auto *col = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i));
        result.columns.emplace_back(col->name);
        result.types.push_back(col->col_type);
        mdb_bind_column(table, static_cast<int>(i + 1), buffers[i].data(), nullptr);
    }
    mdb_rewind_table(table);
    std::vector<MdbField> fields(columns);
    while (mdb_fetch_row(table)) {
        std::vector<std::string> bound;
        for (const auto &b : buffers)
            bound.emplace_back(b.data());
        result.bound.push_back(std::move(bound));

        // The fetch leaves the row's page in pg_buf and cur_row one past it.
        int start = 0;
        std::size_t size = 0;
        std::vector<StoredField> stored(columns);
        if (mdb_find_row(mdb, static_cast<int>(table->cur_row) - 1, &start, &size) == 0
            && mdb_crack_row(table, start & 0x1FFF, size, fields.data()) >= 0) {
            for (unsigned i = 0; i < columns; ++i) {
                stored[i].null = fields[i].is_null != 0;
                const auto *p = static_cast<const std::uint8_t *>(fields[i].value);
                if (p && !stored[i].null)
                    stored[i].bytes.assign(p, p + fields[i].siz);
            }
        }
        result.stored.push_back(std::move(stored));
    }
    mdb_free_tabledef(table);
    mdb_close(mdb);
    return result;
}

std::vector<CatalogEntry> readCatalog(const std::string &path)
{
    std::vector<CatalogEntry> entries;
    MdbHandle *mdb = mdb_open(path.c_str(), MDB_NOFLAGS);
    if (!mdb)
        return entries;
    if (mdb_read_catalog(mdb, MDB_ANY)) {
        for (unsigned i = 0; i < mdb->num_catalog; ++i) {
            auto *e = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
            entries.push_back({e->object_name, e->object_type, mdb_is_user_table(e) != 0,
                               mdb_is_system_table(e) != 0});
        }
    }
    mdb_close(mdb);
    return entries;
}

} // namespace writer_test
