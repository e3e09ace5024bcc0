#include "jet_engine/tables/table_read.h"

#include "jet_engine/tables/lazy_columns.h"
#include "jet_engine/tables/table_reader.h"

#include <algorithm>

namespace jet_engine {

Outcome<std::shared_ptr<const Snapshot>> readTable(JetFile &file, const TableRef &table, const std::vector<std::string> &alsoRead,
                                                     const std::atomic<bool> *cancel, std::shared_ptr<WorkerPool> pool)
{
    const FileFormat &format = file.format();
    const auto before = file.identity();
    if (!before)
        return Status::ReadFailed;
    auto layout = file.definition(table, before->size);
    if (!layout.ok())
        return layout.status();
    const TableLayout &definition = layout.value();

    // The columns named are those searches will scan: their other folds are
    // found as they are read.
    std::vector<unsigned> wanted{0};
    std::vector<bool> fold{false};
    for (const std::string &name : alsoRead) {
        const int index = findColumn(definition, name);
        if (index < 0)
            continue;
        const auto at = std::find(wanted.begin(), wanted.end(), static_cast<unsigned>(index));
        if (at == wanted.end()) {
            wanted.push_back(static_cast<unsigned>(index));
            fold.push_back(true);
        } else {
            fold[static_cast<std::size_t>(at - wanted.begin())] = true;
        }
    }
    auto read =
        readColumns(file.handle(), before->size, format, definition, file.codePageText(), wanted, cancel, fold, pool.get());
    if (!read.ok())
        return read.status();
    ColumnsRead &rows = read.value();

    std::vector<std::string> names;
    for (const ColumnLayout &column : definition.columns)
        names.push_back(column.name);
    std::vector<std::optional<ColumnValues>> columns(names.size());
    std::vector<std::optional<OtherFolds>> others(names.size());
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        columns[wanted[i]] = std::move(rows.columns[i]);
        others[wanted[i]] = std::move(rows.others[i]);
    }

    // The other columns read through a handle of their own: this file may
    // be closed and reopened long before the snapshot is dropped.
    std::shared_ptr<const ColumnSource> source;
    std::unique_ptr<CodePageText> jet3;
    if (auto own = file.handle().duplicate(); own && (!format.jet3 || (jet3 = file.anotherCodePageText())))
        source = std::make_shared<FileColumnSource>(std::move(own), format, definition, std::move(jet3), *before,
                                                    rows.pagesDigest, rows.rows, std::move(pool));
    auto origin = std::make_shared<SnapshotOrigin>();
    origin->pages = std::move(rows.pages);
    origin->read = std::move(wanted);
    origin->fold = std::move(fold);
    origin->layout = std::move(layout.value());
    return std::shared_ptr<const Snapshot>(std::make_shared<Snapshot>(
        std::move(names), std::move(columns), std::move(others), rows.rows, std::move(source), std::move(origin)));
}

} // namespace jet_engine
