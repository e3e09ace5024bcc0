#include "mdb_file.h"

#include "huge_pages.h"
#include "text_fold.h"
#include "value_text.h"

#include <mdbtools.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include <sys/stat.h>

namespace article_database {

namespace {

// Row offsets on a data page carry flags (deleted, moved) in their top bits.
constexpr int rowOffsetMask = 0x1FFF;
constexpr std::size_t longValueHeaderSize = 12;
constexpr unsigned catalogPage = 2;
constexpr unsigned maxColumns = 255;
constexpr unsigned maxIndexes = 255;
constexpr std::uint64_t maxRows = std::numeric_limits<std::uint32_t>::max() - 1;

std::uint16_t le16(const unsigned char *p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t le32(const unsigned char *p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8)
        | (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint64_t le64(const unsigned char *p)
{
    return static_cast<std::uint64_t>(le32(p)) | (static_cast<std::uint64_t>(le32(p + 4)) << 32);
}
double leDouble(const unsigned char *p)
{
    const std::uint64_t bits = le64(p);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
float leFloat(const unsigned char *p)
{
    const std::uint32_t bits = le32(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

struct HandleCloser {
    void operator()(MdbHandle *mdb) const { mdb_close(mdb); }
};
struct TableFreer {
    void operator()(MdbTableDef *table) const { mdb_free_tabledef(table); }
};
using HandlePtr = std::unique_ptr<MdbHandle, HandleCloser>;
using TablePtr = std::unique_ptr<MdbTableDef, TableFreer>;

class Iconv {
public:
    explicit Iconv(iconv_t cd) : m_cd(cd) {}
    ~Iconv() { iconv_close(m_cd); }
    Iconv(const Iconv &) = delete;
    Iconv &operator=(const Iconv &) = delete;
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

// The code page a Jet 3 file declares in its header, as iconv names it.
const char *jet3Charset(unsigned codePage)
{
    switch (codePage) {
    case 874: return "WINDOWS-874";
    case 932: return "SHIFT_JIS";
    case 936: return "GBK";
    case 949: return "CP949";
    case 950: return "BIG5";
    case 1250: return "WINDOWS-1250";
    case 1251: return "WINDOWS-1251";
    case 1253: return "WINDOWS-1253";
    case 1254: return "WINDOWS-1254";
    case 1255: return "WINDOWS-1255";
    case 1256: return "WINDOWS-1256";
    case 1257: return "WINDOWS-1257";
    case 1258: return "WINDOWS-1258";
    default: return "WINDOWS-1252";
    }
}

struct FileFacts {
    std::uint64_t size = 0;
    std::uint64_t pageCount = 0;
};

// Rejects what is plainly not a Jet file before libmdb sees it, so that
// libmdb's own complaints about such files never reach the terminal.
Outcome<FileFacts> inspectFile(const std::string &path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode))
        return Status::FileNotFound;
    if (!S_ISREG(info.st_mode))
        return Status::NotADatabase;
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return Status::NotADatabase;
    unsigned char header[0x20] = {};
    const std::size_t got = std::fread(header, 1, sizeof header, file);
    std::fclose(file);
    static constexpr unsigned char magic[4] = {0x00, 0x01, 0x00, 0x00};
    if (got < sizeof header || std::memcmp(header, magic, 4) != 0
        || (std::memcmp(header + 4, "Standard Jet DB", 16) != 0 && std::memcmp(header + 4, "Standard ACE DB", 16) != 0))
        return Status::NotADatabase;
    const unsigned version = header[0x14];
    if (version > MDB_VER_ACCDB_2019)
        return Status::NotADatabase;
    const std::uint64_t pageSize = version == MDB_VER_JET3 ? 2048 : 4096;
    FileFacts facts;
    facts.size = static_cast<std::uint64_t>(info.st_size);
    facts.pageCount = facts.size / pageSize;
    if (facts.pageCount <= catalogPage)
        return Status::NotADatabase;
    return facts;
}

// Writes UTF-16 code units as UTF-8 into space the caller has reserved:
// at most 3 bytes per unit, 4 per surrogate pair.
struct Utf16ToUtf8 {
    char *out;
    char32_t pendingHigh = 0;

    void put(char32_t cp)
    {
        if (cp < 0x80) {
            *out++ = static_cast<char>(cp);
        } else if (cp < 0x800) {
            *out++ = static_cast<char>(0xC0 | (cp >> 6));
            *out++ = static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            *out++ = static_cast<char>(0xE0 | (cp >> 12));
            *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            *out++ = static_cast<char>(0xF0 | (cp >> 18));
            *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    void unit(std::uint16_t u)
    {
        if (pendingHigh) {
            if (u >= 0xDC00 && u <= 0xDFFF) {
                put(0x10000 + ((pendingHigh - 0xD800) << 10) + (u - 0xDC00));
                pendingHigh = 0;
                return;
            }
            put(0xFFFD);
            pendingHigh = 0;
        }
        if (u >= 0xD800 && u <= 0xDBFF)
            pendingHigh = u;
        else if (u >= 0xDC00 && u <= 0xDFFF)
            put(0xFFFD);
        else
            put(u);
    }

    void finish()
    {
        if (pendingHigh)
            put(0xFFFD);
        pendingHigh = 0;
    }
};

// Table definitions live in libmdb structures that point back at a catalog
// entry; the entry is ours so that libmdb never parses property blobs.
struct OpenTable {
    std::unique_ptr<MdbCatalogEntry> entry;
    TablePtr table;

    MdbColumn &column(unsigned i) const { return *static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i)); }
    unsigned columnCount() const { return table->num_cols; }
};

bool usageMapIsSound(const MdbTableDef &table, std::uint64_t pageCount)
{
    const unsigned char *map = table.usage_map;
    const std::size_t size = table.map_sz;
    if (!map || size < 1)
        return false;
    if (map[0] == 0) {
        if (size < 5)
            return false;
        const std::uint64_t base = le32(map + 1);
        for (std::size_t byte = 5; byte < size; ++byte)
            for (unsigned bit = 0; bit < 8; ++bit)
                if ((map[byte] >> bit) & 1)
                    if (base + (byte - 5) * 8 + bit >= pageCount)
                        return false;
        return true;
    }
    if (map[0] == 1) {
        for (std::size_t at = 1; at + 4 <= size; at += 4) {
            const std::uint32_t mapPage = le32(map + at);
            if (mapPage != 0 && mapPage >= pageCount)
                return false;
        }
        return true;
    }
    return false;
}

bool rowPointerIsSound(MdbHandle *mdb, std::uint32_t pgRow)
{
    void *buf = nullptr;
    int offset = 0;
    std::size_t length = 0;
    return mdb_find_pg_row(mdb, static_cast<int>(pgRow), &buf, &offset, &length) == 0 && length > 0;
}

Outcome<OpenTable> openTable(MdbHandle *mdb, std::uint64_t pageCount, std::uint32_t page, const std::string &name)
{
    if (page == 0 || page >= pageCount)
        return Status::ReadFailed;
    // libmdb skips reading the page it read last; the file may have changed
    // since, so make it read again.
    mdb->cur_pg = 0;
    // libmdb 1.0.0 trusts the usage map pointers of a table definition, and
    // takes an empty map for a valid one; check them first.
    if (mdb_read_pg(mdb, page) != mdb->fmt->pg_size || mdb->pg_buf[0] != MDB_PAGE_TABLE)
        return Status::ReadFailed;
    const std::uint32_t usageMap = le32(mdb->pg_buf + mdb->fmt->tab_usage_map_offset);
    const std::uint32_t freeMap = le32(mdb->pg_buf + mdb->fmt->tab_free_map_offset);
    if (!rowPointerIsSound(mdb, usageMap) || !rowPointerIsSound(mdb, freeMap))
        return Status::ReadFailed;

    OpenTable open;
    open.entry = std::make_unique<MdbCatalogEntry>();
    open.entry->mdb = mdb;
    open.entry->object_type = MDB_TABLE;
    open.entry->table_pg = page;
    std::snprintf(open.entry->object_name, sizeof open.entry->object_name, "%s", name.c_str());

    open.table.reset(mdb_read_table(open.entry.get()));
    if (!open.table)
        return Status::ReadFailed;
    const MdbTableDef &table = *open.table;
    if (table.num_cols < 1 || table.num_cols > maxColumns || table.num_var_cols > table.num_cols
        || table.num_real_idxs > maxIndexes || table.num_idxs > maxIndexes)
        return Status::ReadFailed;
    if (!mdb_read_columns(open.table.get()) || open.table->columns->len != table.num_cols)
        return Status::ReadFailed;
    if (!usageMapIsSound(table, pageCount))
        return Status::ReadFailed;
    return open;
}

// Walks rows the way libmdb's own tools do, then cracks the current row a
// second time for ourselves: the cracked fields say exactly which values are
// null and where each value's bytes are, which bound buffers do not.
class RowCursor {
public:
    explicit RowCursor(const OpenTable &open)
        : m_table(open.table.get())
        , m_mdb(open.entry->mdb)
        , m_fields(open.columnCount())
    {
        mdb_rewind_table(m_table);
    }

    // 1: a row is current, 0: no more rows, -1: the row cannot be read.
    int next()
    {
        if (!mdb_fetch_row(m_table))
            return 0;
        int start = 0;
        std::size_t size = 0;
        if (m_table->cur_row == 0 || mdb_find_row(m_mdb, static_cast<int>(m_table->cur_row - 1), &start, &size) != 0)
            return -1;
        if (mdb_crack_row(m_table, start & rowOffsetMask, size, m_fields.data()) < 0)
            return -1;
        return 1;
    }

    const MdbField &field(unsigned column) const { return m_fields[column]; }

private:
    MdbTableDef *m_table;
    MdbHandle *m_mdb;
    std::vector<MdbField> m_fields;
};

FieldValue::Kind kindOf(int columnType)
{
    switch (columnType) {
    case MDB_BOOL: return FieldValue::Kind::Boolean;
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
    case MDB_COMPLEX: return FieldValue::Kind::Integer;
    case MDB_MONEY: return FieldValue::Kind::Currency;
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_NUMERIC: return FieldValue::Kind::Real;
    case MDB_DATETIME: return FieldValue::Kind::DateTime;
    default: return FieldValue::Kind::Text;
    }
}

template <typename Integer>
void appendNumber(std::string &out, Integer value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

// Turns the bytes of one value into its display text.
class ValueReader {
public:
    ValueReader(MdbHandle *mdb, const Iconv *jet3, std::uint64_t fileSize)
        : m_mdb(mdb)
        , m_jet3(jet3)
        , m_fileSize(fileSize)
    {
    }

    // False when the value's bytes are not all there; nothing is cut short.
    bool append(const MdbColumn &column, const MdbField &field, std::string &out)
    {
        const int type = column.col_type;
        if (type == MDB_BOOL) {
            // Jet keeps a boolean in the row's null mask: bit set means true.
            out.append(field.is_null ? "False" : "True");
            return true;
        }
        const std::size_t size = field.siz < 0 ? 0 : static_cast<std::size_t>(field.siz);
        if (field.start < 0 || static_cast<std::size_t>(field.start) + size > static_cast<std::size_t>(m_mdb->fmt->pg_size))
            return false;
        const unsigned char *p = m_mdb->pg_buf + field.start;
        switch (type) {
        case MDB_BYTE:
            if (size < 1)
                return false;
            appendNumber(out, static_cast<unsigned>(p[0]));
            return true;
        case MDB_INT:
            if (size < 2)
                return false;
            appendNumber(out, static_cast<std::int16_t>(le16(p)));
            return true;
        case MDB_LONGINT:
        case MDB_COMPLEX:
            if (size < 4)
                return false;
            appendNumber(out, static_cast<std::int32_t>(le32(p)));
            return true;
        case MDB_MONEY:
            if (size < 8)
                return false;
            appendCurrency(out, static_cast<std::int64_t>(le64(p)));
            return true;
        case MDB_FLOAT:
            if (size < 4)
                return false;
            appendReal(out, leFloat(p));
            return true;
        case MDB_DOUBLE:
            if (size < 8)
                return false;
            appendReal(out, leDouble(p));
            return true;
        case MDB_DATETIME:
            if (size < 8)
                return false;
            appendDate(out, leDouble(p));
            return true;
        case MDB_REPID:
            if (size < 16)
                return false;
            appendGuid(out, p);
            return true;
        case MDB_NUMERIC: {
            if (size < 17)
                return false;
            char *text = mdb_numeric_to_string(m_mdb, field.start, column.col_scale, column.col_prec);
            if (!text)
                return false;
            out.append(text);
            g_free(text);
            return true;
        }
        case MDB_TEXT:
            appendText(p, size, out);
            return true;
        case MDB_MEMO:
            if (!readLongValue(p, size))
                return false;
            appendText(reinterpret_cast<const unsigned char *>(m_longValue.data()), m_longValue.size(), out);
            return true;
        case MDB_OLE:
            if (!readLongValue(p, size))
                return false;
            appendHex(out, reinterpret_cast<const unsigned char *>(m_longValue.data()), m_longValue.size());
            return true;
        default:
            appendHex(out, p, size);
            return true;
        }
    }

    void appendText(const unsigned char *p, std::size_t n, std::string &out)
    {
        if (m_jet3)
            appendCodePageText(p, n, out);
        else
            appendUnicodeText(p, n, out);
    }

private:
    // Jet 4 text is UCS-2 little endian, or "compressed": after an FF FE
    // marker, runs of one byte per character (U+0001..U+00FF) and runs of two
    // bytes per character, each 00 byte switching between the two.
    static void appendUnicodeText(const unsigned char *p, std::size_t n, std::string &out)
    {
        // One stored byte never takes more than two UTF-8 bytes (a compressed
        // character), two stored bytes never more than three.
        const std::size_t base = out.size();
        out.resize(base + 2 * n);
        Utf16ToUtf8 sink{out.data() + base};
        if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
            bool compressed = true;
            std::size_t i = 2;
            while (i < n) {
                if (p[i] == 0) {
                    compressed = !compressed;
                    ++i;
                } else if (compressed) {
                    sink.unit(p[i]);
                    ++i;
                } else if (i + 1 < n) {
                    sink.unit(le16(p + i));
                    i += 2;
                } else {
                    break;
                }
            }
        } else {
            for (std::size_t i = 0; i + 1 < n; i += 2)
                sink.unit(le16(p + i));
        }
        sink.finish();
        out.resize(static_cast<std::size_t>(sink.out - out.data()));
    }

    void appendCodePageText(const unsigned char *p, std::size_t n, std::string &out)
    {
        if (std::all_of(p, p + n, [](unsigned char c) { return c < 0x80; })) {
            out.append(reinterpret_cast<const char *>(p), n);
            return;
        }
        iconv_t cd = m_jet3->get();
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const std::size_t base = out.size();
        out.resize(base + n * 4 + 4);
        char *in = const_cast<char *>(reinterpret_cast<const char *>(p));
        std::size_t inLeft = n;
        char *outPtr = out.data() + base;
        std::size_t outLeft = n * 4 + 4;
        while (inLeft > 0) {
            if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) || outLeft < 3)
                break;
            // A byte the code page does not map shows as U+FFFD.
            ++in;
            --inLeft;
            *outPtr++ = static_cast<char>(0xEF);
            *outPtr++ = static_cast<char>(0xBF);
            *outPtr++ = static_cast<char>(0xBD);
            outLeft -= 3;
        }
        out.resize(static_cast<std::size_t>(outPtr - out.data()));
    }

    // Memo and OLE values: a 12-byte header in the row, then the data inline
    // or in LVAL rows on other pages, one row or a chain of them.
    bool readLongValue(const unsigned char *p, std::size_t size)
    {
        m_longValue.clear();
        if (size < longValueHeaderSize)
            return false;
        const std::uint32_t header = le32(p);
        const std::size_t length = header & 0x3FFFFFFF;
        if (length > m_fileSize)
            return false;
        if (header & 0x80000000) {
            m_longValue.assign(reinterpret_cast<const char *>(p + longValueHeaderSize), size - longValueHeaderSize);
            return true;
        }
        std::uint32_t pgRow = le32(p + 4);
        if (header & 0x40000000) {
            const unsigned char *data = nullptr;
            std::size_t rowLength = 0;
            if (!findLongValueRow(pgRow, data, rowLength) || rowLength < length)
                return false;
            m_longValue.assign(reinterpret_cast<const char *>(data), length);
            return true;
        }
        while (m_longValue.size() < length) {
            const unsigned char *data = nullptr;
            std::size_t rowLength = 0;
            if (pgRow == 0 || !findLongValueRow(pgRow, data, rowLength) || rowLength <= 4)
                return false;
            pgRow = le32(data);
            m_longValue.append(reinterpret_cast<const char *>(data + 4),
                               std::min(rowLength - 4, length - m_longValue.size()));
        }
        return true;
    }

    bool findLongValueRow(std::uint32_t pgRow, const unsigned char *&data, std::size_t &length)
    {
        void *buf = nullptr;
        int offset = 0;
        if (mdb_find_pg_row(m_mdb, static_cast<int>(pgRow), &buf, &offset, &length) != 0)
            return false;
        offset &= rowOffsetMask;
        if (static_cast<std::size_t>(offset) + length > static_cast<std::size_t>(m_mdb->fmt->pg_size))
            return false;
        data = static_cast<const unsigned char *>(buf) + offset;
        return true;
    }

    MdbHandle *m_mdb;
    const Iconv *m_jet3;
    std::uint64_t m_fileSize;
    std::string m_longValue;
};

// The file's size now: the program keeps its database open for a whole
// session while the application that owns the file adds rows to it.
FileFacts currentFacts(MdbHandle *mdb)
{
    FileFacts facts;
    struct stat info {};
    if (mdb->f->stream && ::fstat(fileno(mdb->f->stream), &info) == 0 && info.st_size > 0) {
        facts.size = static_cast<std::uint64_t>(info.st_size);
        facts.pageCount = facts.size / static_cast<std::uint64_t>(mdb->fmt->pg_size);
    }
    return facts;
}

int findColumn(const OpenTable &open, const char *name)
{
    for (unsigned i = 0; i < open.columnCount(); ++i)
        if (g_ascii_strcasecmp(open.column(i).name, name) == 0)
            return static_cast<int>(i);
    return -1;
}

} // namespace

struct JetFile::State {
    HandlePtr mdb;
    std::unique_ptr<Iconv> jet3;
    std::vector<TableRef> tables;
};

JetFile::JetFile(std::unique_ptr<State> state) : m_state(std::move(state)) {}
JetFile::~JetFile() = default;

Outcome<std::unique_ptr<JetFile>> JetFile::open(const std::string &path)
{
    const auto inspected = inspectFile(path);
    if (!inspected.ok())
        return inspected.status();
    const FileFacts &facts = inspected.value();

    auto state = std::make_unique<State>();
    // MDB_NOFLAGS: libmdb opens the file read-only and never writes to it.
    state->mdb.reset(mdb_open(path.c_str(), MDB_NOFLAGS));
    if (!state->mdb || !state->mdb->f || !state->mdb->fmt)
        return Status::NotADatabase;
    MdbHandle *mdb = state->mdb.get();
    if (mdb->fmt->pg_size <= 0 || facts.size / static_cast<std::uint64_t>(mdb->fmt->pg_size) != facts.pageCount)
        return Status::NotADatabase;
    if (IS_JET3(mdb)) {
        iconv_t cd = iconv_open("UTF-8", jet3Charset(mdb->f->code_page));
        if (cd == reinterpret_cast<iconv_t>(-1))
            cd = iconv_open("UTF-8", "WINDOWS-1252");
        if (cd == reinterpret_cast<iconv_t>(-1))
            return Status::NotADatabase;
        state->jet3 = std::make_unique<Iconv>(cd);
    }

    // The catalog, MSysObjects, read for names, types and definition pages
    // only. mdb_read_catalog would also parse every table's property blob,
    // which on a damaged file can send libmdb into an endless loop.
    auto catalog = openTable(mdb, facts.pageCount, catalogPage, "MSysObjects");
    if (!catalog.ok())
        return Status::NotADatabase;
    const OpenTable &objects = catalog.value();
    const int idColumn = findColumn(objects, "Id");
    const int nameColumn = findColumn(objects, "Name");
    const int typeColumn = findColumn(objects, "Type");
    if (idColumn < 0 || nameColumn < 0 || typeColumn < 0)
        return Status::NotADatabase;
    const MdbColumn &idInfo = objects.column(static_cast<unsigned>(idColumn));
    const MdbColumn &nameInfo = objects.column(static_cast<unsigned>(nameColumn));
    const MdbColumn &typeInfo = objects.column(static_cast<unsigned>(typeColumn));
    if (idInfo.col_type != MDB_LONGINT || nameInfo.col_type != MDB_TEXT || typeInfo.col_type != MDB_INT)
        return Status::NotADatabase;

    ValueReader reader(mdb, state->jet3.get(), facts.size);
    RowCursor cursor(objects);
    int step;
    while ((step = cursor.next()) == 1) {
        const MdbField &type = cursor.field(static_cast<unsigned>(typeColumn));
        const MdbField &id = cursor.field(static_cast<unsigned>(idColumn));
        const MdbField &name = cursor.field(static_cast<unsigned>(nameColumn));
        if (type.is_null || id.is_null || name.is_null || type.siz < 2 || id.siz < 4)
            continue;
        if ((le16(mdb->pg_buf + type.start) & 0x7F) != MDB_TABLE)
            continue;
        TableRef table;
        table.page = le32(mdb->pg_buf + id.start) & 0x00FFFFFF;
        if (!reader.append(nameInfo, name, table.name))
            return Status::NotADatabase;
        state->tables.push_back(std::move(table));
    }
    if (step < 0)
        return Status::NotADatabase;
    return std::unique_ptr<JetFile>(new JetFile(std::move(state)));
}

std::optional<TableRef> JetFile::findTable(std::string_view name) const
{
    for (const TableRef &table : m_state->tables)
        if (sameName(table.name, name))
            return table;
    return std::nullopt;
}

Outcome<std::vector<std::string>> JetFile::columnNames(const TableRef &table)
{
    MdbHandle *mdb = m_state->mdb.get();
    auto open = openTable(mdb, currentFacts(mdb).pageCount, table.page, table.name);
    if (!open.ok())
        return open.status();
    std::vector<std::string> names;
    for (unsigned i = 0; i < open.value().columnCount(); ++i)
        names.emplace_back(open.value().column(i).name);
    return names;
}

Outcome<std::shared_ptr<const Snapshot>> JetFile::readTable(const TableRef &table, const std::atomic<bool> &cancelled)
{
    MdbHandle *mdb = m_state->mdb.get();
    const FileFacts facts = currentFacts(mdb);
    auto opened = openTable(mdb, facts.pageCount, table.page, table.name);
    if (!opened.ok())
        return opened.status();
    const OpenTable &open = opened.value();
    const unsigned columnCount = open.columnCount();

    std::vector<std::string> names;
    std::vector<ColumnValues> columns(columnCount);
    // A damaged definition could announce any number of rows; each row takes
    // several bytes of the file.
    const auto expectedRows = static_cast<std::size_t>(
        std::min<std::uint64_t>(open.table->num_rows, facts.size / 8));
    for (unsigned i = 0; i < columnCount; ++i) {
        names.emplace_back(open.column(i).name);
        columns[i].kind = kindOf(open.column(i).col_type);
        reserveHuge(columns[i].offsets, expectedRows + 1);
        reserveHuge(columns[i].nulls, expectedRows);
        // Room for every value at its longest display form, within what the
        // file could hold, so that the text is never copied to grow.
        const std::uint64_t longest = open.column(i).col_type == MDB_TEXT
            ? 2 * static_cast<std::uint64_t>(std::max(open.column(i).col_size, 0))
            : (kindOf(open.column(i).col_type) == FieldValue::Kind::Text ? 0 : 32);
        reserveHuge(columns[i].text, static_cast<std::size_t>(std::min<std::uint64_t>(
                                         expectedRows * longest, 2 * facts.size)));
    }

    ValueReader reader(mdb, m_state->jet3.get(), facts.size);
    RowCursor cursor(open);
    std::uint64_t rows = 0;
    int step;
    while ((step = cursor.next()) == 1) {
        if (++rows > maxRows || cancelled.load(std::memory_order_relaxed))
            return Status::ReadFailed;
        for (unsigned i = 0; i < columnCount; ++i) {
            const MdbColumn &column = open.column(i);
            const MdbField &field = cursor.field(i);
            ColumnValues &values = columns[i];
            const bool isNull = field.is_null && column.col_type != MDB_BOOL;
            if (!isNull && !reader.append(column, field, values.text))
                return Status::ReadFailed;
            if (values.text.size() > std::numeric_limits<std::uint32_t>::max())
                return Status::ReadFailed;
            values.nulls.push_back(isNull ? 1 : 0);
            values.offsets.push_back(static_cast<std::uint32_t>(values.text.size()));
        }
    }
    if (step < 0)
        return Status::ReadFailed;
    return std::shared_ptr<const Snapshot>(
        std::make_shared<Snapshot>(std::move(names), std::move(columns), static_cast<std::uint32_t>(rows)));
}

} // namespace article_database
