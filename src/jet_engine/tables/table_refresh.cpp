#include "jet_engine/tables/table_refresh.h"

#include "jet_engine/tables/lazy_columns.h"
#include "jet_engine/tables/table_reader.h"

#include <algorithm>
#include <unordered_map>

namespace jet_engine {

namespace {

// Past this share of the table's pages (and a few pages), reading again
// costs about what reading whole does, and the kept index would cover ever
// fewer rows.
constexpr std::size_t wholeShare = 16;
constexpr std::size_t fewPages = 64;

bool sameColumn(const ColumnLayout &a, const ColumnLayout &b)
{
    return a.name == b.name && a.type == b.type && a.number == b.number && a.varIndex == b.varIndex
        && a.fixedOffset == b.fixedOffset && a.size == b.size && a.fixed == b.fixed && a.scale == b.scale
        && a.precision == b.precision;
}

bool sameColumns(const TableLayout &a, const TableLayout &b)
{
    return a.hasVariableColumns == b.hasVariableColumns
        && std::equal(a.columns.begin(), a.columns.end(), b.columns.begin(), b.columns.end(), sameColumn);
}

bool holds(const FileState &now, std::uint32_t page, std::uint64_t digest)
{
    const auto held = now.digestOf(page);
    return held && *held == digest;
}

} // namespace

bool wholeTable(const TableLayout &layout, std::uint32_t rows, const FileState &state)
{
    return state.settled() || rows == layout.rowCountHint;
}

Outcome<std::shared_ptr<const Snapshot>> refreshTable(JetFile &file, const TableRef &table,
                                                      const std::shared_ptr<const Snapshot> &kept,
                                                      const FileState &now, OperatingSystem &system,
                                                      const ReadableFile *through)
{
    // Always against the table read whole: its rows are the ones kept.
    const std::shared_ptr<const Snapshot> &base = kept->patch() ? kept->patch()->base : kept;
    const SnapshotOrigin *origin = base->origin();
    const FileFormat &format = file.format();
    if (!origin || now.pageSize() != format.pageSize)
        return std::shared_ptr<const Snapshot>();
    const std::uint64_t fileSize = now.identity().size;
    auto layout = file.definition(table, fileSize);
    if (!layout.ok())
        return layout.status();
    if (!sameColumns(layout.value(), origin->layout))
        return std::shared_ptr<const Snapshot>();
    auto where = file.tablePages(layout.value());
    if (!where.ok())
        return where.status();
    const std::vector<std::uint32_t> &pages = where.value().dataPages;

    const PageMap &was = origin->pages;
    std::vector<bool> changed(was.pages.size());
    for (std::size_t i = 0; i < was.pages.size(); ++i)
        changed[i] = i >= was.digests.size() || !holds(now, was.pages[i], was.digests[i]);
    // A moved row's data or a long value changes without its row's page.
    for (const PageMap::Borrowed &page : was.borrowed)
        if (!holds(now, page.number, page.digest))
            changed[page.byPage] = true;
    std::unordered_map<std::uint32_t, std::uint32_t> keptAt;
    keptAt.reserve(was.pages.size());
    for (std::size_t i = 0; i < was.pages.size(); ++i)
        if (!changed[i])
            keptAt.emplace(was.pages[i], static_cast<std::uint32_t>(i));

    std::vector<std::uint32_t> reread;
    for (std::uint32_t page : pages)
        if (!keptAt.count(page))
            reread.push_back(page);
    if (reread.empty() && pages == was.pages)
        return wholeTable(layout.value(), base->rowCount(), now) ? Outcome<std::shared_ptr<const Snapshot>>(base)
                                                                 : Status::ReadFailed;
    if (reread.size() > std::max(fewPages, pages.size() / wholeShare))
        return std::shared_ptr<const Snapshot>();

    auto fresh = readColumnsOf(through ? *through : file.handle(), fileSize, format, layout.value(), file.codePageText(), origin->read,
                               reread, origin->fold);
    if (!fresh.ok())
        return fresh.status();
    ColumnsRead &rows = fresh.value();
    // Each page read again is taken only as the capture read it too: a page
    // caught halfway through a write reads differently the second time.
    if (rows.pages.digests.size() != reread.size())
        return Status::ReadFailed;
    for (std::size_t i = 0; i < reread.size(); ++i)
        if (!holds(now, reread[i], rows.pages.digests[i]))
            return Status::ReadFailed;
    for (const PageMap::Borrowed &page : rows.pages.borrowed)
        if (!holds(now, page.number, page.digest))
            return Status::ReadFailed;

    RowPatch patch;
    patch.base = base;
    std::size_t next = 0;
    for (std::uint32_t page : pages) {
        if (const auto at = keptAt.find(page); at != keptAt.end()) {
            const std::uint32_t first = was.firstRow[at->second];
            patch.add(false, first, was.firstRow[at->second + 1] - first);
        } else {
            const std::uint32_t first = rows.pages.firstRow[next];
            patch.add(true, first, rows.pages.firstRow[next + 1] - first);
            ++next;
        }
    }

    if (!wholeTable(layout.value(), patch.starts.back(), now))
        return Status::ReadFailed;

    const std::size_t columnCount = base->columnCount();
    std::vector<std::optional<ColumnValues>> columns(columnCount);
    std::vector<std::optional<OtherFolds>> others(columnCount);
    for (std::size_t i = 0; i < origin->read.size(); ++i) {
        columns[origin->read[i]] = std::move(rows.columns[i]);
        others[origin->read[i]] = std::move(rows.others[i]);
    }
    std::shared_ptr<const ColumnSource> source;
    std::unique_ptr<CodePageText> jet3;
    if (auto own = file.handle().duplicate(); own && (!format.jet3 || (jet3 = file.anotherCodePageText())))
        source = std::make_shared<RecapturedColumnSource>(std::move(own), format, layout.value(), std::move(jet3),
                                                          system, now, patch.starts.back());
    return std::shared_ptr<const Snapshot>(
        std::make_shared<Snapshot>(std::move(patch), std::move(columns), std::move(others), std::move(source)));
}

} // namespace jet_engine
