#include "jet_engine/tables/table_reader.h"

#include "jet_engine/platform/huge_pages.h"
#include "jet_engine/pool/worker_pool.h"
#include "jet_engine/format/table_rows.h"
#include "jet_engine/format/usage_map.h"
#include "jet_engine/format/value_decode.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <limits>
#include <mutex>
#include <new>

namespace jet_engine {

namespace {

constexpr std::uint64_t maxRows = std::numeric_limits<std::uint32_t>::max() - 1;
// How many rows between two looks at the cancel flag.
constexpr std::uint32_t cancelStride = 256;
// A table of fewer than twice this many pages is read on one thread.
constexpr std::size_t parallelPages = 256;

void reserveColumn(ColumnValues &values, const ColumnLayout &column, std::size_t rows, std::uint64_t fileSize)
{
    reserveHuge(values.offsets, rows + 1);
    reserveHuge(values.nulls, rows);
    // Room for every value at its longest display form and its separator,
    // within what the file could hold, so that the text is never copied to
    // grow.
    const std::uint64_t longest = column.type == static_cast<std::uint8_t>(JetType::Text)
        ? 2 * static_cast<std::uint64_t>(column.size)
        : (values.kind == FieldValue::Kind::Text ? 0 : 32);
    reserveHuge(values.text, static_cast<std::size_t>(std::min<std::uint64_t>(rows * (longest + 1), 2 * fileSize)));
}

// A read of the wanted columns with no rows yet, with room for
// `expectedRows` rows of a file of `fileSize` bytes (none when 0).
ColumnsRead startRead(const TableLayout &table, const std::vector<unsigned> &wanted, const std::vector<bool> &fold,
                      std::size_t expectedRows, std::uint64_t fileSize)
{
    ColumnsRead read;
    read.columns.resize(wanted.size());
    read.others.resize(wanted.size());
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        read.columns[i].kind = kindOf(table.columns[wanted[i]].type);
        if (expectedRows > 0)
            reserveColumn(read.columns[i], table.columns[wanted[i]], expectedRows, fileSize);
        if (i < fold.size() && fold[i])
            read.others[i].emplace();
    }
    return read;
}

// Empties `read` for the rows of other pages; its buffers keep their room.
void empty(ColumnsRead &read)
{
    for (ColumnValues &column : read.columns) {
        column.text.clear();
        column.offsets.assign(1, 0);
        column.nulls.clear();
    }
    for (std::optional<OtherFolds> &others : read.others) {
        if (others) {
            others->rows.clear();
            others->bytes.clear();
            others->starts.assign(1, 0);
        }
    }
    read.rows = 0;
    read.pagesDigest = 0;
    read.pages.pages.clear();
    read.pages.digests.clear();
    read.pages.firstRow.assign(1, 0);
    read.pages.borrowed.clear();
}

// Adds to the empty `read` the rows on `dataPages`, in order.
Status readPages(PageSource &pages, const FileFormat &format, const TableLayout &table, const CodePageText *jet3,
                 const std::vector<unsigned> &wanted, std::vector<std::uint32_t> dataPages,
                 const std::atomic<bool> *cancel, ColumnsRead &read)
{
    read.pages.pages = dataPages;
    std::vector<std::uint32_t> &firstRow = read.pages.firstRow;
    firstRow.assign(dataPages.size() + 1, 0);
    std::vector<BorrowedPage> borrowed;
    pages.logBorrowedTo(&borrowed);
    struct StopLogging {
        PageSource &pages;
        ~StopLogging() { pages.logBorrowedTo(nullptr); }
    } stopLogging{pages};

    TableRows walk(pages, format, table, jet3, wanted, std::move(dataPages));
    std::uint64_t rows = 0;
    for (;;) {
        const RowCursor::Step step = walk.next();
        if (step == RowCursor::Step::End)
            break;
        if (step == RowCursor::Step::Damaged || ++rows > maxRows)
            return Status::ReadFailed;
        const auto pageIndex = static_cast<std::uint32_t>(walk.cursor().pageIndex());
        ++firstRow[pageIndex + 1];
        if (cancel && rows % cancelStride == 0 && cancel->load(std::memory_order_relaxed))
            return Status::ReadFailed;
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            ColumnValues &out = read.columns[i];
            const bool isNull = walk.isNull(i);
            const std::size_t start = out.text.size();
            if (!isNull && !walk.append(i, out.text))
                return Status::ReadFailed;
            if (out.text.size() >= std::numeric_limits<std::uint32_t>::max())
                return Status::ReadFailed;
            if (read.others[i] && !isNull) {
                read.others[i]->note(static_cast<std::uint32_t>(rows - 1), std::string_view(out.text).substr(start));
                if (read.others[i]->bytes.size() > std::numeric_limits<std::uint32_t>::max())
                    return Status::ReadFailed;
            }
            out.endRow(isNull);
        }
        for (const BorrowedPage &page : borrowed)
            read.pages.borrowed.push_back({page.number, page.digest, pageIndex});
        borrowed.clear();
    }
    for (std::size_t i = 1; i < firstRow.size(); ++i)
        firstRow[i] += firstRow[i - 1];
    read.pages.digests = walk.cursor().dataPageDigests();
    read.rows = static_cast<std::uint32_t>(rows);
    read.pagesDigest = walk.pagesDigest();
    return Status::Ok;
}

// The rows on `dataPages`, in order, on this thread, with room made for
// `expectedRows` of them.
Outcome<ColumnsRead> readOnOneThread(PageSource &pages, const FileFormat &format, const TableLayout &table,
                                     const CodePageText *jet3, const std::vector<unsigned> &wanted,
                                     std::vector<std::uint32_t> dataPages, std::size_t expectedRows,
                                     const std::atomic<bool> *cancel, const std::vector<bool> &fold)
{
    const std::uint64_t fileSize = pages.pageCount() * pages.pageSize();
    ColumnsRead read = startRead(table, wanted, fold, expectedRows, fileSize);
    if (const Status status = readPages(pages, format, table, jet3, wanted, std::move(dataPages), cancel, read);
        status != Status::Ok)
        return status;
    return read;
}

// Appends the rows of `later` to `read`; false when the text would pass
// 32-bit offsets or the rows 32-bit numbers.
bool append(ColumnsRead &read, const ColumnsRead &later)
{
    if (static_cast<std::uint64_t>(read.rows) + later.rows > maxRows)
        return false;
    for (std::size_t i = 0; i < read.columns.size(); ++i) {
        ColumnValues &to = read.columns[i];
        const ColumnValues &from = later.columns[i];
        const std::uint64_t base = to.text.size();
        if (base + from.text.size() > std::numeric_limits<std::uint32_t>::max())
            return false;
        to.text.append(from.text);
        for (std::size_t k = 1; k < from.offsets.size(); ++k)
            to.offsets.push_back(static_cast<std::uint32_t>(base + from.offsets[k]));
        to.nulls.insert(to.nulls.end(), from.nulls.begin(), from.nulls.end());
        if (read.others[i] && later.others[i] && !read.others[i]->append(*later.others[i], read.rows))
            return false;
    }
    read.pages.append(later.pages);
    read.rows += later.rows;
    read.pagesDigest = read.pagesDigest * 0x9E3779B97F4A7C15u ^ later.pagesDigest;
    return true;
}

// A large table is read a block of pages at a time, by two threads at once:
// each decodes a block into small buffers, then appends it to the one
// result when the blocks before it are in. The result's text is written
// once, where it stays: no half read apart and copied after, and no fresh
// pages but the result's. A block done before its turn is parked and its
// thread goes on with the next; a thread waits only when the other has
// fallen `parkedAtMost` blocks behind.
class BlockRead {
public:
    BlockRead(const std::vector<std::uint32_t> &dataPages, ColumnsRead &result, const TableLayout &table,
              const std::vector<unsigned> &wanted, const std::vector<bool> &fold)
        : m_dataPages(dataPages)
        , m_result(result)
        , m_blocks((dataPages.size() + PageSource::blockPages - 1) / PageSource::blockPages)
        , m_table(table)
        , m_wanted(wanted)
        , m_fold(fold)
    {
    }

    // Takes blocks until none is left or the read has failed.
    void work(PageSource &pages, const FileFormat &format, const CodePageText *jet3, const std::atomic<bool> *cancel)
    {
        try {
            ColumnsRead block = startRead(m_table, m_wanted, m_fold, 0, 0);
            for (;;) {
                const std::size_t at = m_nextBlock.fetch_add(1);
                if (at >= m_blocks)
                    return;
                const std::size_t first = at * PageSource::blockPages;
                const std::size_t end = std::min(first + PageSource::blockPages, m_dataPages.size());
                empty(block);
                const Status read = readPages(pages, format, m_table, jet3, m_wanted,
                                              {m_dataPages.begin() + static_cast<std::ptrdiff_t>(first),
                                               m_dataPages.begin() + static_cast<std::ptrdiff_t>(end)},
                                              cancel, block);
                std::unique_lock lock(m_mutex);
                if (read != Status::Ok) {
                    failLocked(read);
                    return;
                }
                m_turn.wait(lock, [&] { return at < m_appended + parkedAtMost || m_status != Status::Ok; });
                if (m_status != Status::Ok)
                    return;
                if (at != m_appended) {
                    m_parked.emplace_back(at, std::move(block));
                    block = takeSpareLocked();
                    continue;
                }
                if (!appendInOrderLocked(block))
                    return;
            }
        } catch (const std::bad_alloc &) {
            std::lock_guard lock(m_mutex);
            failLocked(Status::OutOfMemory);
        }
    }

    Status status()
    {
        std::lock_guard lock(m_mutex);
        return m_status;
    }

private:
    static constexpr std::size_t parkedAtMost = 8;

    // Appends `block`, then the parked blocks that now follow in turn.
    bool appendInOrderLocked(const ColumnsRead &block)
    {
        const ColumnsRead *next = &block;
        while (next) {
            if (!append(m_result, *next)) {
                failLocked(Status::ReadFailed);
                return false;
            }
            ++m_appended;
            next = nullptr;
            for (auto parked = m_parked.begin(); parked != m_parked.end(); ++parked) {
                if (parked->first == m_appended) {
                    m_spare.push_back(std::move(parked->second));
                    m_parked.erase(parked);
                    next = &m_spare.back();
                    break;
                }
            }
        }
        m_turn.notify_all();
        return true;
    }

    ColumnsRead takeSpareLocked()
    {
        if (m_spare.empty())
            return startRead(m_table, m_wanted, m_fold, 0, 0);
        ColumnsRead spare = std::move(m_spare.back());
        m_spare.pop_back();
        return spare;
    }

    void failLocked(Status status)
    {
        if (m_status == Status::Ok)
            m_status = status;
        m_turn.notify_all();
    }

    const std::vector<std::uint32_t> &m_dataPages;
    ColumnsRead &m_result;
    const std::size_t m_blocks;
    const TableLayout &m_table;
    const std::vector<unsigned> &m_wanted;
    const std::vector<bool> &m_fold;
    std::atomic<std::size_t> m_nextBlock{0};
    std::mutex m_mutex;
    std::condition_variable m_turn;
    std::size_t m_appended = 0;
    std::vector<std::pair<std::size_t, ColumnsRead>> m_parked;
    std::deque<ColumnsRead> m_spare;
    Status m_status = Status::Ok;
};

Outcome<ColumnsRead> readWhole(const ReadableFile &file, std::uint64_t fileSize, const FileFormat &format,
                               const TableLayout &table, const CodePageText *jet3, const std::vector<unsigned> &wanted,
                               const std::atomic<bool> *cancel, const std::vector<bool> &fold, WorkerPool *pool)
{
    PageSource pages(file, format.pageSize, fileSize);
    auto dataPages = usageMapPages(table.usageMap, pages);
    if (!dataPages)
        return Status::ReadFailed;
    // A damaged definition could announce any number of rows; each row takes
    // several bytes of the file.
    const auto expectedRows = static_cast<std::size_t>(std::min<std::uint64_t>(table.rowCountHint, fileSize / 8));
    if (dataPages->size() < 2 * parallelPages)
        return readOnOneThread(pages, format, table, jet3, wanted, std::move(*dataPages), expectedRows, cancel, fold);
    ColumnsRead read = startRead(table, wanted, fold, expectedRows, fileSize);
    // The window waits for this read before its first search can answer.
    // Jet 3 text needs a converter a thread; without a second one, the
    // blocks are read on this thread alone, and the rows are the same.
    BlockRead blocks(*dataPages, read, table, wanted, fold);
    std::unique_ptr<CodePageText> laterJet3;
    if (format.jet3 && !(jet3 && (laterJet3 = jet3->another()))) {
        blocks.work(pages, format, jet3, cancel);
    } else {
        WorkerPool::atOnce(pool, [&] { blocks.work(pages, format, jet3, cancel); },
               [&] {
                   PageSource own(file, format.pageSize, fileSize);
                   blocks.work(own, format, laterJet3.get(), cancel);
               });
    }
    if (const Status status = blocks.status(); status != Status::Ok)
        return status;
    return read;
}

} // namespace

Outcome<ColumnsRead> readColumns(const ReadableFile &file, std::uint64_t fileSize, const FileFormat &format,
                                 const TableLayout &table, const CodePageText *jet3, const std::vector<unsigned> &wanted,
                                 const std::atomic<bool> *cancel, const std::vector<bool> &fold, WorkerPool *pool)
{
    return readWhole(file, fileSize, format, table, jet3, wanted, cancel, fold, pool);
}

Outcome<ColumnsRead> readColumnsOf(const ReadableFile &file, std::uint64_t fileSize, const FileFormat &format,
                                   const TableLayout &table, const CodePageText *jet3,
                                   const std::vector<unsigned> &wanted, std::vector<std::uint32_t> dataPages,
                                   const std::vector<bool> &fold)
{
    PageSource pages(file, format.pageSize, fileSize);
    const std::size_t expectedRows = dataPages.size() * 8;
    return readOnOneThread(pages, format, table, jet3, wanted, std::move(dataPages), expectedRows, nullptr, fold);
}

} // namespace jet_engine
