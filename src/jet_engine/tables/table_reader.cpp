#include "jet_engine/tables/table_reader.h"

#include "jet_engine/platform/huge_pages.h"
#include "jet_engine/pool/worker_pool.h"
#include "jet_engine/format/table_rows.h"
#include "jet_engine/format/usage_map.h"
#include "jet_engine/format/value_decode.h"

#include <algorithm>
#include <limits>
#include <new>

namespace jet_engine {

namespace {

constexpr std::uint64_t maxRows = std::numeric_limits<std::uint32_t>::max() - 1;
// How many rows between two looks at the cancel flag.
constexpr std::uint32_t cancelStride = 256;
// Fewer pages than this in each half are read on one thread.
constexpr std::size_t parallelPages = 256;

void reserveColumn(ColumnValues &values, const ColumnLayout &column, std::size_t rows, std::uint64_t fileSize)
{
    values.kind = kindOf(column.type);
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

// The rows on `dataPages`, in order.
Outcome<ColumnsRead> readPages(PageSource &pages, const FileFormat &format, const TableLayout &table,
                               const CodePageText *jet3, const std::vector<unsigned> &wanted,
                               std::vector<std::uint32_t> dataPages, std::size_t expectedRows,
                               const std::atomic<bool> *cancel, const std::vector<bool> &fold)
{
    const std::uint64_t fileSize = pages.pageCount() * pages.pageSize();
    ColumnsRead read;
    read.columns.resize(wanted.size());
    read.others.resize(wanted.size());
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        reserveColumn(read.columns[i], table.columns[wanted[i]], expectedRows, fileSize);
        if (i < fold.size() && fold[i])
            read.others[i].emplace();
    }

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
    return read;
}

// Appends the rows of `later` to `read`; false when the text would pass
// 32-bit offsets or the rows 32-bit numbers.
bool append(ColumnsRead &read, ColumnsRead &later)
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

// Reads a large table's two halves at once.
Outcome<ColumnsRead> readHalves(const ReadableFile &file, std::uint64_t fileSize, const FileFormat &format,
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

    // A large table is read in two halves at once: the
    // window waits for this read before its first search can answer.
    const std::size_t half = dataPages->size() / 2;
    std::unique_ptr<CodePageText> laterJet3;
    if (half < parallelPages || (format.jet3 && !(jet3 && (laterJet3 = jet3->another()))))
        return readPages(pages, format, table, jet3, wanted, std::move(*dataPages), expectedRows, cancel, fold);
    std::vector<std::uint32_t> laterPages(dataPages->begin() + static_cast<std::ptrdiff_t>(half), dataPages->end());
    dataPages->resize(half);
    Outcome<ColumnsRead> first = Status::ReadFailed;
    Outcome<ColumnsRead> later = Status::ReadFailed;
    WorkerPool::atOnce(pool, [&] { first = readPages(pages, format, table, jet3, wanted, std::move(*dataPages), expectedRows, cancel, fold); },
           [&] {
               try {
                   PageSource own(file, format.pageSize, fileSize);
                   later = readPages(own, format, table, laterJet3.get(), wanted, std::move(laterPages),
                                     expectedRows / 2, cancel, fold);
               } catch (const std::bad_alloc &) {
                   later = Status::OutOfMemory;
               }
           });
    if (!first.ok())
        return first.status();
    if (!later.ok())
        return later.status();
    if (!append(first.value(), later.value()))
        return Status::ReadFailed;
    return first;
}

} // namespace

Outcome<ColumnsRead> readColumns(const ReadableFile &file, std::uint64_t fileSize, const FileFormat &format,
                                 const TableLayout &table, const CodePageText *jet3, const std::vector<unsigned> &wanted,
                                 const std::atomic<bool> *cancel, const std::vector<bool> &fold, WorkerPool *pool)
{
    return readHalves(file, fileSize, format, table, jet3, wanted, cancel, fold, pool);
}

Outcome<ColumnsRead> readColumnsOf(const ReadableFile &file, std::uint64_t fileSize, const FileFormat &format,
                                   const TableLayout &table, const CodePageText *jet3,
                                   const std::vector<unsigned> &wanted, std::vector<std::uint32_t> dataPages,
                                   const std::vector<bool> &fold)
{
    PageSource pages(file, format.pageSize, fileSize);
    const std::size_t expectedRows = dataPages.size() * 8;
    return readPages(pages, format, table, jet3, wanted, std::move(dataPages), expectedRows, nullptr, fold);
}

} // namespace jet_engine
