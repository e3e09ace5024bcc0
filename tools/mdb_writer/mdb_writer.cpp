#include "mdb_writer.h"

#include "jet_text.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mdb_writer {
namespace {

constexpr std::uint32_t kMaxPageSize = 4096;
constexpr std::uint32_t kRowSlot = 2;
// Index entries address a row with one byte.
constexpr std::uint32_t kMaxRowsPerPage = 255;
// Row pointers keep the page number in 24 bits.
constexpr std::uint32_t kMaxPages = 0x00FFFFFF;

constexpr std::uint32_t kCatalogPage = 2;
constexpr std::uint32_t kMapHolderPage = 1;
constexpr std::uint32_t kContinuationHeader = 8;

constexpr std::uint32_t kMemoInline = 0x80000000u;
constexpr std::uint32_t kMemoSinglePage = 0x40000000u;
// Jet keeps short memo values in the row and never compresses long ones.
constexpr std::size_t kMemoInlineBytes = 64;
constexpr std::size_t kMemoCompressibleChars = 1024;
constexpr std::size_t kMemoMaxBytes = 0x00FFFFFF;

struct JetVersion {
    bool jet3;
    std::uint32_t pageSize;
    // Page type, a constant 1, free space, owner (or "LVAL"), in Jet 4 four
    // unknown bytes, then the row count.
    std::uint32_t rowPageHeader;
    // A usage map row: a type byte, then either a start page and a bitmap
    // (type 0) or pointers to bitmap pages (type 1).
    std::uint32_t mapRowBytes;
    std::uint32_t tableDefHeader;
    std::uint32_t columnEntry;

    std::uint32_t rowCountOffset() const { return rowPageHeader - 2; }
    std::uint32_t maxRowBytes() const { return pageSize - rowPageHeader - kRowSlot; }
    std::uint32_t longValuePiece() const { return maxRowBytes() - 4; }
    std::uint32_t inlineMapBits() const { return (mapRowBytes - 5) * 8; }
    std::uint32_t mapPageBits() const { return (pageSize - 4) * 8; }
    std::uint32_t mapPagePointers() const { return (mapRowBytes - 1) / 4; }
    std::uint32_t columnCountBytes() const { return jet3 ? 1 : 2; }
};

constexpr JetVersion kJet4{false, 4096, 14, 69, 63, 25};
constexpr JetVersion kJet3{true, 2048, 10, 133, 43, 18};

constexpr std::uint32_t kTablesContainerId = 0x0F000001;
constexpr std::uint32_t kRootContainerId = 0x0F000000;
constexpr std::uint32_t kSystemObjectFlags = 0x80000002u;
constexpr std::uint32_t kContainerFlags = 0x80000000u;
constexpr std::uint16_t kGeneralSortOrder = 0x0409;
constexpr std::uint16_t kWesternCodePage = 1252;
constexpr std::size_t kMaxNameChars = 64;
constexpr std::size_t kMaxColumns = 255;

enum JetType : std::uint8_t {
    JetBoolean = 0x01,
    JetInteger = 0x03,
    JetLong = 0x04,
    JetDouble = 0x07,
    JetText = 0x0A,
    JetOle = 0x0B,
    JetMemo = 0x0C,
};

struct WriteError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void put16(std::uint8_t *p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::uint8_t *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void append16(std::vector<std::uint8_t> &out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void append32(std::vector<std::uint8_t> &out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t pageRow(std::uint32_t page, std::uint32_t row)
{
    return (page << 8) | row;
}

std::string lowerAscii(std::string_view s)
{
    std::string out(s);
    for (char &c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// Pages go to disk as they are finished. Most are finished in page order, so
// consecutive ones are gathered into one large write. They go to a new file
// beside the target, which replaces the target only once it is complete: a
// write that fails leaves whatever was at the path untouched.
class PageFile {
public:
    PageFile(const std::string &path, std::uint32_t pageSize) : pageSize_(pageSize), path_(path)
    {
        std::string pattern = path + ".XXXXXX";
        fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd_ < 0)
            throw WriteError("cannot create " + path + ": " + std::strerror(errno));
        temporary_ = std::move(pattern);
        if (::fchmod(fd_, 0644) != 0)
            throw WriteError("cannot create " + path + ": " + std::strerror(errno));
    }
    PageFile(const PageFile &) = delete;
    PageFile &operator=(const PageFile &) = delete;
    ~PageFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (!temporary_.empty())
            ::unlink(temporary_.c_str());
    }

    std::uint32_t allocate()
    {
        if (allocated_ >= kMaxPages)
            throw WriteError("the database would exceed the page limit");
        return allocated_++;
    }

    void write(std::uint32_t page, const std::uint8_t *data)
    {
        const auto pendingPages = static_cast<std::uint32_t>(pending_.size() / pageSize_);
        if (pendingPages == 0 || page != pendingFirst_ + pendingPages) {
            flush();
            pendingFirst_ = page;
        }
        pending_.insert(pending_.end(), data, data + pageSize_);
        ++written_;
        if (pending_.size() >= kFlushBytes)
            flush();
    }

    void close()
    {
        flush();
        if (written_ != allocated_)
            throw WriteError("internal error: " + std::to_string(allocated_) + " pages allocated, "
                             + std::to_string(written_) + " written");
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0)
            throw WriteError(std::string("cannot finish writing the file: ") + std::strerror(errno));
        if (::rename(temporary_.c_str(), path_.c_str()) != 0)
            throw WriteError("cannot replace " + path_ + ": " + std::strerror(errno));
        temporary_.clear();
    }

private:
    static constexpr std::size_t kFlushBytes = std::size_t{1} << 20;

    void flush()
    {
        const std::uint8_t *data = pending_.data();
        std::size_t left = pending_.size();
        auto offset = static_cast<off_t>(pendingFirst_) * pageSize_;
        while (left > 0) {
            const ssize_t n = ::pwrite(fd_, data, left, offset);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                throw WriteError(std::string("cannot write the file: ") + std::strerror(errno));
            }
            data += n;
            left -= static_cast<std::size_t>(n);
            offset += n;
        }
        pending_.clear();
    }

    std::uint32_t pageSize_;
    std::string path_;
    std::string temporary_;
    int fd_ = -1;
    std::uint32_t allocated_ = 0;
    std::uint32_t written_ = 0;
    std::uint32_t pendingFirst_ = 0;
    std::vector<std::uint8_t> pending_;
};

// A page of rows (data, long values or usage maps): the row offsets grow from
// the header down the page, the rows from the end of the page up.
class RowPage {
public:
    explicit RowPage(const JetVersion &version) : version_(version) {}

    void start(std::uint32_t number, const std::uint8_t owner[4])
    {
        page_.fill(0);
        page_[0] = 0x01;
        page_[1] = 0x01;
        std::memcpy(&page_[4], owner, 4);
        number_ = number;
        rows_ = 0;
        top_ = version_.pageSize;
        open_ = true;
    }

    bool open() const { return open_; }
    std::uint32_t number() const { return number_; }

    bool fits(std::size_t bytes) const
    {
        return open_ && rows_ < kMaxRowsPerPage && bytes + kRowSlot <= top_ - slotsEnd();
    }

    // Returns the row's index on the page; the caller checked fits().
    std::uint32_t add(const std::uint8_t *data, std::size_t bytes)
    {
        top_ -= static_cast<std::uint32_t>(bytes);
        std::memcpy(&page_[top_], data, bytes);
        put16(&page_[version_.rowPageHeader + kRowSlot * rows_], top_);
        return rows_++;
    }

    // Fills in the header and hands the page to the file.
    void finish(PageFile &file)
    {
        put16(&page_[2], top_ - slotsEnd());
        put16(&page_[version_.rowCountOffset()], rows_);
        file.write(number_, page_.data());
        open_ = false;
    }

private:
    std::uint32_t slotsEnd() const { return version_.rowPageHeader + kRowSlot * rows_; }

    const JetVersion &version_;
    std::array<std::uint8_t, kMaxPageSize> page_{};
    std::uint32_t number_ = 0;
    std::uint32_t rows_ = 0;
    std::uint32_t top_ = 0;
    bool open_ = false;
};

constexpr std::uint8_t kLvalOwner[4] = {'L', 'V', 'A', 'L'};
constexpr std::uint8_t kNoOwner[4] = {0, 0, 0, 0};

struct ColumnLayout {
    std::string name;
    JetType type = JetText;
    int maxChars = 0;
    bool fixed = false;
    std::uint16_t number = 0;
    std::uint16_t varIndex = 0;
    std::uint16_t fixedOffset = 0;
    std::uint16_t storedSize = 0;
};

struct TableLayout {
    std::string name;
    bool system = false;
    std::vector<ColumnLayout> columns;
    std::uint16_t varCount = 0;
    std::uint16_t fixedBytes = 0;
    std::vector<std::uint32_t> definitionPages;
    std::vector<std::uint32_t> dataPages;
    std::uint32_t rowCount = 0;
    std::uint32_t usageMap = 0;
    std::uint32_t freeSpaceMap = 0;
};

JetType jetType(ColumnType type)
{
    switch (type) {
    case ColumnType::Text:
        return JetText;
    case ColumnType::Memo:
        return JetMemo;
    case ColumnType::LongInteger:
        return JetLong;
    case ColumnType::Double:
        return JetDouble;
    case ColumnType::Boolean:
        return JetBoolean;
    }
    throw WriteError("unknown column type");
}

std::size_t utf8Chars(std::string_view s)
{
    return static_cast<std::size_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

void checkName(const JetVersion &version, std::string_view what, const std::string &name)
{
    std::u16string units;
    std::vector<std::uint8_t> bytes;
    if (name.empty())
        throw WriteError(std::string(what) + " without a name");
    if (!jet_text::toUtf16(name, units))
        throw WriteError(std::string(what) + " name is not valid UTF-8");
    if (version.jet3 && !jet_text::appendCp1252(units, bytes))
        throw WriteError(std::string(what) + " name \"" + name + "\" has characters Windows-1252 lacks");
    if (utf8Chars(name) > kMaxNameChars)
        throw WriteError(std::string(what) + " name \"" + name + "\" is longer than 64 characters");
}

TableLayout layoutTable(const JetVersion &version, std::string name, bool system,
                        const std::vector<std::pair<std::string, std::pair<JetType, int>>> &columns)
{
    TableLayout t;
    t.name = std::move(name);
    t.system = system;
    if (columns.empty())
        throw WriteError("table \"" + t.name + "\" has no columns");
    if (columns.size() > kMaxColumns)
        throw WriteError("table \"" + t.name + "\" has more than 255 columns");
    std::vector<std::string> seen;
    for (const auto &[columnName, spec] : columns) {
        checkName(version, "column of table \"" + t.name + "\"", columnName);
        const std::string key = lowerAscii(columnName);
        if (std::find(seen.begin(), seen.end(), key) != seen.end())
            throw WriteError("table \"" + t.name + "\" has two columns named \"" + columnName + "\"");
        seen.push_back(key);

        ColumnLayout c;
        c.name = columnName;
        c.type = spec.first;
        c.number = static_cast<std::uint16_t>(t.columns.size());
        switch (c.type) {
        case JetText:
            if (spec.second < 1 || spec.second > 255)
                throw WriteError("text column \"" + columnName + "\" of table \"" + t.name
                                 + "\" must hold 1 to 255 characters");
            c.maxChars = spec.second;
            c.storedSize = static_cast<std::uint16_t>(version.jet3 ? spec.second : 2 * spec.second);
            break;
        case JetMemo:
        case JetOle:
            break;
        case JetBoolean:
            c.fixed = true;
            c.storedSize = 1;
            break;
        case JetInteger:
            c.fixed = true;
            c.storedSize = 2;
            break;
        case JetLong:
            c.fixed = true;
            c.storedSize = 4;
            break;
        case JetDouble:
            c.fixed = true;
            c.storedSize = 8;
            break;
        }
        if (c.fixed) {
            c.fixedOffset = t.fixedBytes;
            // A boolean lives in the null mask and takes no room in the row.
            if (c.type != JetBoolean)
                t.fixedBytes = static_cast<std::uint16_t>(t.fixedBytes + c.storedSize);
        } else {
            c.varIndex = t.varCount++;
        }
        t.columns.push_back(std::move(c));
    }
    return t;
}

std::vector<std::uint8_t> tableDefinition(const JetVersion &version, const TableLayout &t)
{
    // The first 8 bytes are the page header, filled in page by page.
    std::vector<std::uint8_t> def(version.tableDefHeader, 0);
    // From the table type on, Jet 4 keeps the Jet 3 fields 20 bytes further on.
    const std::uint32_t shift = version.jet3 ? 0 : 20;
    put32(&def[version.jet3 ? 12 : 16], t.rowCount);
    def[20 + shift] = t.system ? 0x53 : 0x4E;
    put16(&def[21 + shift], static_cast<std::uint32_t>(t.columns.size()));
    put16(&def[23 + shift], t.varCount);
    put16(&def[25 + shift], static_cast<std::uint32_t>(t.columns.size()));
    put32(&def[35 + shift], t.usageMap);
    put32(&def[39 + shift], t.freeSpaceMap);

    std::uint8_t e[kJet4.columnEntry];
    for (const ColumnLayout &c : t.columns) {
        std::fill(std::begin(e), std::end(e), 0);
        const bool text = c.type == JetText || c.type == JetMemo;
        const std::uint8_t flags = static_cast<std::uint8_t>(0x02 | (c.fixed ? 0x01 : 0x00));
        e[0] = c.type;
        if (version.jet3) {
            put16(&e[1], c.number);
            put16(&e[3], c.varIndex);
            put16(&e[5], c.number);
            if (text) {
                put16(&e[7], kGeneralSortOrder);
                put16(&e[9], kWesternCodePage);
            }
            e[13] = flags;
            put16(&e[14], c.fixedOffset);
            put16(&e[16], c.storedSize);
        } else {
            put16(&e[5], c.number);
            put16(&e[7], c.varIndex);
            put16(&e[9], c.number);
            if (text)
                put16(&e[11], kGeneralSortOrder);
            e[15] = flags;
            e[16] = text ? 0x01 : 0x00;
            put16(&e[21], c.fixedOffset);
            put16(&e[23], c.storedSize);
        }
        def.insert(def.end(), e, e + version.columnEntry);
    }
    std::u16string units;
    std::vector<std::uint8_t> name;
    for (const ColumnLayout &c : t.columns) {
        jet_text::toUtf16(c.name, units);
        name.clear();
        if (version.jet3) {
            jet_text::appendCp1252(units, name);
            def.push_back(static_cast<std::uint8_t>(name.size()));
        } else {
            jet_text::appendJet4(units, false, name);
            append16(def, static_cast<std::uint32_t>(name.size()));
        }
        def.insert(def.end(), name.begin(), name.end());
    }
    // No per-column usage maps follow.
    append16(def, 0xFFFF);
    put32(&def[8], static_cast<std::uint32_t>(def.size()));
    return def;
}

std::size_t definitionPageCount(const JetVersion &version, std::size_t bytes)
{
    if (bytes <= version.pageSize)
        return 1;
    const std::size_t perContinuation = version.pageSize - kContinuationHeader;
    return 1 + (bytes - version.pageSize + perContinuation - 1) / perContinuation;
}

// Page 0 keeps its settings under an RC4 mask with a fixed key; libmdb reads
// the database key from there and takes any non-zero key for encryption.
void writeHeaderPage(const JetVersion &version, PageFile &file)
{
    std::array<std::uint8_t, kMaxPageSize> page{};
    page[1] = 0x01;
    std::memcpy(&page[4], "Standard Jet DB", 15);
    put32(&page[0x14], version.jet3 ? 0 : 1);
    put16(&page[0x3C], kWesternCodePage);
    put16(&page[version.jet3 ? 0x3A : 0x6E], kGeneralSortOrder);
    // Creation date, as an OLE automation date: 2024-01-01.
    const double created = 45292.0;
    std::memcpy(&page[0x72], &created, sizeof created);

    const std::uint8_t key[4] = {0xC7, 0xDA, 0x39, 0x6B};
    std::array<std::uint8_t, 256> s{};
    for (int i = 0; i < 256; ++i)
        s[i] = static_cast<std::uint8_t>(i);
    std::uint8_t j = 0;
    for (int i = 0; i < 256; ++i) {
        j = static_cast<std::uint8_t>(j + s[i] + key[i % 4]);
        std::swap(s[i], s[j]);
    }
    std::uint8_t x = 0;
    std::uint8_t y = 0;
    const std::size_t masked = version.jet3 ? 126 : 128;
    for (std::size_t k = 0x18; k < 0x18 + masked; ++k) {
        x = static_cast<std::uint8_t>(x + 1);
        y = static_cast<std::uint8_t>(y + s[x]);
        std::swap(s[x], s[y]);
        page[k] ^= s[static_cast<std::uint8_t>(s[x] + s[y])];
    }
    file.write(0, page.data());
}

class DatabaseWriter {
public:
    DatabaseWriter(const std::string &path, const JetVersion &version)
        : version_(version), file_(path, version.pageSize), lval_(version)
    {
    }

    void write(const std::vector<Table> &tables)
    {
        // The header, the usage map holder and the catalog definition sit at
        // fixed pages but depend on everything after them: reserved now,
        // written last.
        file_.allocate();
        file_.allocate();
        file_.allocate();

        TableLayout catalog = layoutTable(version_, "MSysObjects", true,
                                          {{"Id", {JetLong, 0}},
                                           {"ParentId", {JetLong, 0}},
                                           {"Name", {JetText, 255}},
                                           {"Type", {JetInteger, 0}},
                                           {"Flags", {JetLong, 0}},
                                           {"LvProp", {JetOle, 0}}});
        if (definitionPageCount(version_, tableDefinition(version_, catalog).size()) != 1)
            throw WriteError("internal error: the catalog definition needs more than one page");
        catalog.definitionPages.push_back(kCatalogPage);

        std::vector<TableLayout> layouts;
        std::vector<std::string> seen{lowerAscii(catalog.name)};
        for (const Table &table : tables) {
            checkName(version_, "table", table.name);
            const std::string key = lowerAscii(table.name);
            if (std::find(seen.begin(), seen.end(), key) != seen.end())
                throw WriteError("two tables named \"" + table.name + "\"");
            seen.push_back(key);

            std::vector<std::pair<std::string, std::pair<JetType, int>>> columns;
            for (const Column &c : table.columns)
                columns.push_back({c.name, {jetType(c.type), c.textLength}});
            TableLayout shape = layoutTable(version_, table.name, false, columns);
            const std::size_t defPages = definitionPageCount(version_, tableDefinition(version_, shape).size());
            for (std::size_t i = 0; i < defPages; ++i)
                shape.definitionPages.push_back(file_.allocate());
            writeRows(shape, table);
            layouts.push_back(std::move(shape));
        }

        Table catalogRows;
        const auto objectRow = [](std::int32_t id, std::int32_t parent, const std::string &name, std::int32_t type,
                                  std::uint32_t flags) {
            return Row{id, parent, name, type, static_cast<std::int32_t>(flags), Null{}};
        };
        catalogRows.rows.push_back(objectRow(static_cast<std::int32_t>(kTablesContainerId),
                                             static_cast<std::int32_t>(kRootContainerId), "Tables", 3,
                                             kContainerFlags));
        catalogRows.rows.push_back(objectRow(static_cast<std::int32_t>(kCatalogPage),
                                             static_cast<std::int32_t>(kTablesContainerId), catalog.name, 1,
                                             kSystemObjectFlags));
        for (const TableLayout &t : layouts) {
            catalogRows.rows.push_back(objectRow(static_cast<std::int32_t>(t.definitionPages.front()),
                                                 static_cast<std::int32_t>(kTablesContainerId), t.name, 1, 0));
        }
        writeRows(catalog, catalogRows);
        if (lval_.open())
            lval_.finish(file_);

        layouts.insert(layouts.begin(), std::move(catalog));
        writeUsageMaps(layouts);
        for (const TableLayout &t : layouts)
            writeDefinition(t);
        writeHeaderPage(version_, file_);
        file_.close();
    }

private:
    [[noreturn]] void cellError(const TableLayout &t, std::size_t row, const ColumnLayout &c,
                                const std::string &what) const
    {
        throw WriteError("table \"" + t.name + "\", row " + std::to_string(row) + ", column \"" + c.name
                         + "\": " + what);
    }

    void writeRows(TableLayout &t, const Table &table)
    {
        const std::size_t count = table.generate ? table.rowCount : table.rows.size();
        if (count > 0x7FFFFFFF)
            throw WriteError("table \"" + t.name + "\" has too many rows");
        const std::uint32_t owner = t.definitionPages.front();
        const std::uint8_t ownerBytes[4] = {static_cast<std::uint8_t>(owner), static_cast<std::uint8_t>(owner >> 8),
                                            static_cast<std::uint8_t>(owner >> 16),
                                            static_cast<std::uint8_t>(owner >> 24)};
        RowPage page(version_);
        Row generated;
        for (std::size_t i = 0; i < count; ++i) {
            const Row *row = &generated;
            if (table.generate) {
                generated.assign(t.columns.size(), Null{});
                table.generate(i, generated);
            } else {
                row = &table.rows[i];
            }
            if (row->size() != t.columns.size()) {
                throw WriteError("table \"" + t.name + "\", row " + std::to_string(i) + ": "
                                 + std::to_string(row->size()) + " cells for " + std::to_string(t.columns.size())
                                 + " columns");
            }
            encodeRow(t, *row, i);
            if (rowBytes_.size() > version_.maxRowBytes()) {
                throw WriteError("table \"" + t.name + "\", row " + std::to_string(i) + " takes "
                                 + std::to_string(rowBytes_.size()) + " bytes; a row holds at most "
                                 + std::to_string(version_.maxRowBytes()));
            }
            if (!page.fits(rowBytes_.size())) {
                if (page.open())
                    page.finish(file_);
                page.start(file_.allocate(), ownerBytes);
                t.dataPages.push_back(page.number());
            }
            page.add(rowBytes_.data(), rowBytes_.size());
        }
        if (page.open())
            page.finish(file_);
        t.rowCount = static_cast<std::uint32_t>(count);
    }

    void encodeRow(const TableLayout &t, const Row &row, std::size_t index)
    {
        std::vector<std::uint8_t> &out = rowBytes_;
        const std::uint32_t countBytes = version_.columnCountBytes();
        out.assign(countBytes + t.fixedBytes, 0);
        out[0] = static_cast<std::uint8_t>(t.columns.size());
        if (countBytes == 2)
            out[1] = static_cast<std::uint8_t>(t.columns.size() >> 8);
        nullMask_.assign((t.columns.size() + 7) / 8, 0);
        varOffsets_.assign(t.varCount, 0);
        const auto present = [this](const ColumnLayout &c) { nullMask_[c.number / 8] |= 1u << (c.number % 8); };

        for (const ColumnLayout &c : t.columns) {
            const Cell &cell = row[c.number];
            if (std::holds_alternative<Null>(cell)) {
                if (!c.fixed)
                    varOffsets_[c.varIndex] = static_cast<std::uint16_t>(out.size());
                continue;
            }
            std::uint8_t *fixed = out.data() + countBytes + c.fixedOffset;
            switch (c.type) {
            case JetBoolean:
                if (!std::holds_alternative<bool>(cell))
                    cellError(t, index, c, "expected a boolean");
                if (std::get<bool>(cell))
                    present(c);
                break;
            case JetInteger: {
                if (!std::holds_alternative<std::int32_t>(cell))
                    cellError(t, index, c, "expected an integer");
                const std::int32_t v = std::get<std::int32_t>(cell);
                if (v < -32768 || v > 32767)
                    cellError(t, index, c, "out of the 16-bit range");
                put16(fixed, static_cast<std::uint32_t>(v));
                present(c);
                break;
            }
            case JetLong:
                if (!std::holds_alternative<std::int32_t>(cell))
                    cellError(t, index, c, "expected an integer");
                put32(fixed, static_cast<std::uint32_t>(std::get<std::int32_t>(cell)));
                present(c);
                break;
            case JetDouble: {
                if (!std::holds_alternative<double>(cell))
                    cellError(t, index, c, "expected a double");
                std::uint64_t bits;
                const double v = std::get<double>(cell);
                std::memcpy(&bits, &v, sizeof bits);
                put32(fixed, static_cast<std::uint32_t>(bits));
                put32(fixed + 4, static_cast<std::uint32_t>(bits >> 32));
                present(c);
                break;
            }
            case JetText:
            case JetMemo: {
                if (!std::holds_alternative<std::string>(cell))
                    cellError(t, index, c, "expected text");
                if (!jet_text::toUtf16(std::get<std::string>(cell), utf16_))
                    cellError(t, index, c, "text is not valid UTF-8");
                varOffsets_[c.varIndex] = static_cast<std::uint16_t>(out.size());
                if (c.type == JetText) {
                    // Jet 3 text has one byte per character, so the two counts agree.
                    if (utf16_.size() > static_cast<std::size_t>(c.maxChars)) {
                        cellError(t, index, c,
                                  std::to_string(utf16_.size()) + " UTF-16 units in a column of "
                                      + std::to_string(c.maxChars) + " characters");
                    }
                    appendText(t, index, c, true, out);
                } else {
                    appendMemo(t, index, c);
                }
                present(c);
                break;
            }
            case JetOle:
                cellError(t, index, c, "binary values are not supported");
            }
        }

        if (t.varCount > 0 && version_.jet3) {
            appendJet3Offsets(t, index);
        } else if (t.varCount > 0) {
            append16(out, static_cast<std::uint32_t>(out.size()));
            for (std::size_t i = t.varCount; i-- > 0;)
                append16(out, varOffsets_[i]);
            append16(out, t.varCount);
        }
        out.insert(out.end(), nullMask_.begin(), nullMask_.end());
    }

    // Jet 3 keeps only the low byte of each offset (the end of the variable
    // data last in memory order, first column nearest the count byte). A jump
    // table names, for each 256-byte boundary, the first offset past it. The
    // reader sizes that table from the row length, so when the row's own tail
    // carries it past one more boundary than its data, a 0xFF filler stands in.
    void appendJet3Offsets(const TableLayout &t, std::size_t index)
    {
        std::vector<std::uint8_t> &out = rowBytes_;
        const auto end = static_cast<std::uint32_t>(out.size());
        varOffsets_.push_back(static_cast<std::uint16_t>(end));
        const std::uint32_t jumps = end / 256;
        const std::uint32_t tail = t.varCount + 1 + jumps + 1 + static_cast<std::uint32_t>(nullMask_.size());
        std::uint32_t length = end + tail;
        const bool filler = (length - 1) / 256 != jumps;
        if (filler)
            ++length;
        if ((length - 1) / 256 != jumps + (filler ? 1 : 0))
            throw WriteError("table \"" + t.name + "\", row " + std::to_string(index)
                             + ": too many variable columns to lay out in Jet 3");

        for (std::size_t i = varOffsets_.size(); i-- > 0;)
            out.push_back(static_cast<std::uint8_t>(varOffsets_[i]));
        if (filler)
            out.push_back(0xFF);
        for (std::uint32_t j = jumps; j-- > 0;) {
            std::uint32_t first = 0;
            while (varOffsets_[first] < 256 * (j + 1))
                ++first;
            out.push_back(static_cast<std::uint8_t>(first));
        }
        out.push_back(static_cast<std::uint8_t>(t.varCount));
    }

    void appendText(const TableLayout &t, std::size_t index, const ColumnLayout &c, bool compress,
                    std::vector<std::uint8_t> &out)
    {
        if (!version_.jet3) {
            jet_text::appendJet4(utf16_, compress, out);
            return;
        }
        if (!jet_text::appendCp1252(utf16_, out))
            cellError(t, index, c, "text has characters Windows-1252 lacks");
    }

    void appendMemo(const TableLayout &t, std::size_t index, const ColumnLayout &c)
    {
        valueBytes_.clear();
        appendText(t, index, c, utf16_.size() <= kMemoCompressibleChars, valueBytes_);
        const std::size_t length = valueBytes_.size();
        if (length > kMemoMaxBytes)
            cellError(t, index, c, "memo longer than 16 MiB once stored");

        std::vector<std::uint8_t> &out = rowBytes_;
        const auto len = static_cast<std::uint32_t>(length);
        if (length <= kMemoInlineBytes) {
            append32(out, len | kMemoInline);
            append32(out, 0);
            append32(out, 0);
            out.insert(out.end(), valueBytes_.begin(), valueBytes_.end());
        } else if (length <= version_.maxRowBytes()) {
            const std::uint32_t where = storeLongValue(valueBytes_.data(), length);
            append32(out, len | kMemoSinglePage);
            append32(out, where);
            append32(out, 0);
        } else {
            append32(out, len);
            append32(out, storeLongValueChain());
            append32(out, 0);
        }
    }

    // Small long values share pages; returns the row pointer of the stored one.
    std::uint32_t storeLongValue(const std::uint8_t *data, std::size_t bytes)
    {
        if (!lval_.fits(bytes)) {
            if (lval_.open())
                lval_.finish(file_);
            lval_.start(file_.allocate(), kLvalOwner);
        }
        return pageRow(lval_.number(), lval_.add(data, bytes));
    }

    // Splits valueBytes_ into pieces, each one behind the pointer to the next.
    // Every piece but the last fills a page of its own.
    std::uint32_t storeLongValueChain()
    {
        const std::size_t length = valueBytes_.size();
        const std::size_t pieceBytes = version_.longValuePiece();
        const std::size_t pieces = (length + pieceBytes - 1) / pieceBytes;
        const std::size_t lastStart = (pieces - 1) * pieceBytes;

        std::vector<std::uint8_t> &piece = pieceBytes_;
        piece.assign(4, 0);
        piece.insert(piece.end(), valueBytes_.begin() + static_cast<std::ptrdiff_t>(lastStart), valueBytes_.end());
        const std::uint32_t last = storeLongValue(piece.data(), piece.size());

        const std::uint32_t first = file_.allocate();
        for (std::size_t i = 1; i + 1 < pieces; ++i)
            file_.allocate();
        RowPage page(version_);
        for (std::size_t i = 0; i + 1 < pieces; ++i) {
            const auto number = first + static_cast<std::uint32_t>(i);
            piece.resize(4);
            put32(piece.data(), i + 2 < pieces ? pageRow(number + 1, 0) : last);
            const auto begin = valueBytes_.begin() + static_cast<std::ptrdiff_t>(i * pieceBytes);
            piece.insert(piece.end(), begin, begin + static_cast<std::ptrdiff_t>(pieceBytes));
            page.start(number, kLvalOwner);
            page.add(piece.data(), piece.size());
            page.finish(file_);
        }
        return pageRow(first, 0);
    }

    // Usage maps are rows on holder pages: page 1 first, more after the
    // tables when there are many tables.
    void writeUsageMaps(std::vector<TableLayout> &layouts)
    {
        RowPage holder(version_);
        holder.start(kMapHolderPage, kNoOwner);
        std::vector<std::uint8_t> row;
        const auto place = [&](const std::vector<std::uint8_t> &bytes) {
            if (!holder.fits(bytes.size())) {
                holder.finish(file_);
                holder.start(file_.allocate(), kNoOwner);
            }
            return pageRow(holder.number(), holder.add(bytes.data(), bytes.size()));
        };
        for (TableLayout &t : layouts) {
            usageMap(t.dataPages, row);
            t.usageMap = place(row);
            usageMap({}, row);
            t.freeSpaceMap = place(row);
        }
        holder.finish(file_);
    }

    // An inline map while the pages fit in one window of its bitmap, else a
    // map of pointers to bitmap pages.
    void usageMap(const std::vector<std::uint32_t> &pages, std::vector<std::uint8_t> &row)
    {
        row.assign(version_.mapRowBytes, 0);
        if (pages.empty() || pages.back() - pages.front() < version_.inlineMapBits()) {
            const std::uint32_t start = pages.empty() ? 0 : pages.front();
            put32(&row[1], start);
            for (std::uint32_t p : pages)
                row[5 + (p - start) / 8] |= static_cast<std::uint8_t>(1u << ((p - start) % 8));
            return;
        }
        row[0] = 0x01;
        const std::uint32_t bits = version_.mapPageBits();
        if (pages.back() / bits >= version_.mapPagePointers())
            throw WriteError("a table reaches beyond the pages a usage map can address");
        std::array<std::uint8_t, kMaxPageSize> bitmap{};
        std::size_t i = 0;
        while (i < pages.size()) {
            const std::uint32_t window = pages[i] / bits;
            bitmap.fill(0);
            bitmap[0] = 0x05;
            bitmap[1] = 0x01;
            for (; i < pages.size() && pages[i] / bits == window; ++i) {
                const std::uint32_t bit = pages[i] % bits;
                bitmap[4 + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
            }
            const std::uint32_t number = file_.allocate();
            file_.write(number, bitmap.data());
            put32(&row[1 + 4 * window], number);
        }
    }

    void writeDefinition(const TableLayout &t)
    {
        const std::vector<std::uint8_t> def = tableDefinition(version_, t);
        const std::uint32_t pageSize = version_.pageSize;
        std::array<std::uint8_t, kMaxPageSize> page{};
        std::size_t from = 0;
        for (std::size_t i = 0; i < t.definitionPages.size(); ++i) {
            page.fill(0);
            const std::size_t header = i == 0 ? 0 : kContinuationHeader;
            const std::size_t take = std::min(def.size() - from, pageSize - header);
            std::memcpy(page.data() + header, def.data() + from, take);
            from += take;
            page[0] = 0x02;
            page[1] = 0x01;
            // Jet 3 marks its definitions with "VC" where Jet 4 keeps the free space.
            if (version_.jet3) {
                page[2] = 'V';
                page[3] = 'C';
            } else {
                put16(&page[2], static_cast<std::uint32_t>(pageSize - header - take));
            }
            put32(&page[4], i + 1 < t.definitionPages.size() ? t.definitionPages[i + 1] : 0);
            file_.write(t.definitionPages[i], page.data());
        }
    }

    const JetVersion &version_;
    PageFile file_;
    RowPage lval_;
    std::vector<std::uint8_t> rowBytes_;
    std::vector<std::uint8_t> valueBytes_;
    std::vector<std::uint8_t> pieceBytes_;
    std::vector<std::uint8_t> nullMask_;
    std::vector<std::uint16_t> varOffsets_;
    std::u16string utf16_;
};

} // namespace

std::string writeDatabase(const std::string &path, const std::vector<Table> &tables)
{
    return writeDatabase(path, tables, Format::Jet4);
}

std::string writeDatabase(const std::string &path, const std::vector<Table> &tables, Format format)
{
    try {
        DatabaseWriter writer(path, format == Format::Jet3 ? kJet3 : kJet4);
        writer.write(tables);
        return {};
    } catch (const std::exception &e) {
        return e.what();
    }
}

} // namespace mdb_writer
