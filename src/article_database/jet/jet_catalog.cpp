#include "article_database/jet/jet_catalog.h"

#include "article_database/jet/little_endian.h"

#include <mdbtools.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <string>

#include <unistd.h>

namespace article_database {

namespace {

constexpr unsigned maxColumns = 255;
constexpr unsigned maxIndexes = 255;

thread_local bool t_libmdbRunning = false;

ssize_t writeUnlessLibmdb(void *, const char *data, std::size_t size)
{
    if (t_libmdbRunning)
        return static_cast<ssize_t>(size);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t wrote = ::write(STDERR_FILENO, data + done, size - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return done > 0 ? static_cast<ssize_t>(done) : -1;
        done += static_cast<std::size_t>(wrote);
    }
    return static_cast<ssize_t>(size);
}

// libmdb writes its complaints with fprintf(stderr): stderr becomes a stream
// that passes everything on to file descriptor 2, unbuffered, except what a
// thread writes while inside libmdb.
void filterStderr()
{
    static std::once_flag once;
    std::call_once(once, [] {
        cookie_io_functions_t io{};
        io.write = writeUnlessLibmdb;
        if (FILE *filtered = fopencookie(nullptr, "w", io)) {
            std::setvbuf(filtered, nullptr, _IONBF, 0);
            std::fflush(stderr);
            stderr = filtered;
        }
    });
}

class InsideLibmdb {
public:
    InsideLibmdb()
    {
        filterStderr();
        t_libmdbRunning = true;
    }
    ~InsideLibmdb() { t_libmdbRunning = false; }
    InsideLibmdb(const InsideLibmdb &) = delete;
    InsideLibmdb &operator=(const InsideLibmdb &) = delete;
};

struct TableFreer {
    void operator()(MdbTableDef *table) const { mdb_free_tabledef(table); }
};

bool rowPointerIsSound(MdbHandle *mdb, std::uint32_t pgRow)
{
    void *buf = nullptr;
    int offset = 0;
    std::size_t length = 0;
    return mdb_find_pg_row(mdb, static_cast<int>(pgRow), &buf, &offset, &length) == 0 && length > 0;
}

ColumnLayout layoutOf(const MdbColumn &column)
{
    ColumnLayout out;
    out.name = column.name;
    out.type = static_cast<std::uint8_t>(column.col_type);
    out.number = static_cast<std::uint16_t>(column.col_num);
    out.varIndex = static_cast<std::uint16_t>(column.var_col_num);
    out.fixedOffset = static_cast<std::uint16_t>(column.fixed_offset);
    out.size = static_cast<std::uint16_t>(column.col_size < 0 ? 0 : column.col_size);
    out.fixed = column.is_fixed != 0;
    out.scale = static_cast<std::uint8_t>(column.col_scale);
    out.precision = static_cast<std::uint8_t>(column.col_prec);
    return out;
}

} // namespace

struct JetCatalog::Handle {
    MdbHandle *mdb = nullptr;
    ~Handle()
    {
        if (mdb) {
            InsideLibmdb quiet;
            mdb_close(mdb);
        }
    }
};

JetCatalog::JetCatalog(std::unique_ptr<Handle> handle, FileFormat format)
    : m_handle(std::move(handle))
    , m_format(format)
{
}

JetCatalog::~JetCatalog() = default;

Outcome<std::unique_ptr<JetCatalog>> JetCatalog::open(int fd)
{
    InsideLibmdb quiet;
    auto handle = std::make_unique<Handle>();
    // Through our own descriptor, so that libmdb reads the very file we
    // checked, whatever the path names by now. MDB_NOFLAGS: read-only.
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    handle->mdb = mdb_open(path.c_str(), MDB_NOFLAGS);
    MdbHandle *mdb = handle->mdb;
    if (!mdb || !mdb->f || !mdb->fmt || mdb->fmt->pg_size <= 0)
        return Status::NotADatabase;
    FileFormat format;
    format.jet3 = IS_JET3(mdb);
    format.pageSize = static_cast<std::uint32_t>(mdb->fmt->pg_size);
    format.codePage = mdb->f->code_page;
    return std::unique_ptr<JetCatalog>(new JetCatalog(std::move(handle), format));
}

Outcome<TableLayout> JetCatalog::table(std::uint32_t page, const std::string &name, std::uint64_t pageCount)
{
    InsideLibmdb quiet;
    MdbHandle *mdb = m_handle->mdb;
    if (page == 0 || page >= pageCount)
        return Status::ReadFailed;
    // libmdb skips reading the page it read last; the file may have changed
    // since, so make it read again.
    mdb->cur_pg = 0;
    // libmdb 1.0.0 trusts the usage map pointers of a table definition, and
    // takes an empty map for a valid one; check them first.
    if (mdb_read_pg(mdb, page) != mdb->fmt->pg_size || mdb->pg_buf[0] != MDB_PAGE_TABLE)
        return Status::ReadFailed;
    const std::uint32_t usageMap = le32(static_cast<const unsigned char *>(mdb->pg_buf) + mdb->fmt->tab_usage_map_offset);
    const std::uint32_t freeMap = le32(static_cast<const unsigned char *>(mdb->pg_buf) + mdb->fmt->tab_free_map_offset);
    if (!rowPointerIsSound(mdb, usageMap) || !rowPointerIsSound(mdb, freeMap))
        return Status::ReadFailed;

    // Our own catalog entry, so that libmdb never parses property blobs,
    // which on a damaged file can send it into an endless loop.
    MdbCatalogEntry entry{};
    entry.mdb = mdb;
    entry.object_type = MDB_TABLE;
    entry.table_pg = page;
    std::snprintf(entry.object_name, sizeof entry.object_name, "%s", name.c_str());
    std::unique_ptr<MdbTableDef, TableFreer> table(mdb_read_table(&entry));
    if (!table)
        return Status::ReadFailed;
    if (table->num_cols < 1 || table->num_cols > maxColumns || table->num_var_cols > table->num_cols
        || table->num_real_idxs > maxIndexes || table->num_idxs > maxIndexes)
        return Status::ReadFailed;
    if (!mdb_read_columns(table.get()) || table->columns->len != table->num_cols)
        return Status::ReadFailed;
    if (!table->usage_map || table->map_sz < 1)
        return Status::ReadFailed;

    TableLayout layout;
    layout.name = name;
    layout.definitionPage = page;
    layout.hasVariableColumns = table->num_var_cols > 0;
    layout.rowCountHint = table->num_rows;
    layout.usageMap.assign(table->usage_map, table->usage_map + table->map_sz);
    for (unsigned i = 0; i < table->num_cols; ++i)
        layout.columns.push_back(layoutOf(*static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i))));
    return layout;
}

} // namespace article_database
