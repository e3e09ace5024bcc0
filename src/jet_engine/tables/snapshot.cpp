#include "jet_engine/tables/snapshot.h"

#include "jet_engine/search/bigram_index.h"

#include <algorithm>
#include <cstring>

namespace jet_engine {

// A pieced column's rows, wherever each lies.
class Snapshot::PiecedText final : public RowTexts {
public:
    PiecedText(const RowPatch &patch, const ColumnValues &base, const ColumnValues &fresh)
        : m_patch(patch)
        , m_base(base)
        , m_fresh(fresh)
    {
    }

    std::string_view text(std::uint32_t row) const override { return at(row).text; }

    FieldValue at(std::uint32_t row) const
    {
        const std::size_t i = m_patch.pieceOf(row);
        const RowPatch::Piece &piece = m_patch.pieces[i];
        const std::uint32_t local = piece.first + (row - m_patch.starts[i]);
        return piece.fresh ? m_fresh.at(local) : m_base.at(local);
    }

private:
    const RowPatch &m_patch;
    const ColumnValues &m_base;
    const ColumnValues &m_fresh;
};

void RowPatch::add(bool fresh, std::uint32_t first, std::uint32_t count)
{
    if (count == 0)
        return;
    if (pieces.empty() || pieces.back().fresh != fresh || pieces.back().first + pieces.back().count != first) {
        pieces.push_back({fresh, first, 0});
        starts.push_back(starts.back());
    }
    pieces.back().count += count;
    starts.back() += count;
}

std::size_t RowPatch::pieceOf(std::uint32_t row) const
{
    return static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), row) - starts.begin()) - 1;
}

std::vector<std::uint32_t> RowPatch::merge(const std::vector<std::uint32_t> &baseRows,
                                           const std::vector<std::uint32_t> &freshRows) const
{
    std::vector<std::uint32_t> rows;
    rows.reserve(baseRows.size() + freshRows.size());
    auto base = baseRows.begin();
    auto fresh = freshRows.begin();
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const Piece &piece = pieces[i];
        const std::uint32_t end = piece.first + piece.count;
        auto &from = piece.fresh ? fresh : base;
        const auto &all = piece.fresh ? freshRows : baseRows;
        while (from != all.end() && *from < piece.first)
            ++from;
        for (; from != all.end() && *from < end; ++from)
            rows.push_back(starts[i] + (*from - piece.first));
    }
    return rows;
}

namespace {

// Finds the rows of a column not read with the table whose folding is not
// the one done as read.
void findOtherFolds(const ColumnValues &values, OtherFolds &out)
{
    for (std::uint32_t row = 0; row < values.rowCount(); ++row)
        if (!values.nulls[row])
            out.note(row, values.at(row).text);
}

} // namespace

FieldValue ColumnValues::at(std::uint32_t row) const
{
    if (nulls[row])
        return {};
    return {kind, std::string_view(text).substr(offsets[row], offsets[row + 1] - 1 - offsets[row])};
}

void ColumnValues::endRow(bool isNull)
{
    text.push_back(valueSeparator);
    nulls.push_back(isNull ? 1 : 0);
    offsets.push_back(static_cast<std::uint32_t>(text.size()));
}

Snapshot::Snapshot(std::vector<std::string> columnNames, std::vector<ColumnValues> columns, std::uint32_t rowCount)
    : m_columnNames(std::move(columnNames))
    , m_rowCount(rowCount)
    , m_columns(std::make_unique<PerColumn[]>(m_columnNames.size()))
{
    for (std::size_t i = 0; i < columns.size() && i < m_columnNames.size(); ++i)
        m_columns[i].values = std::move(columns[i]);
}

Snapshot::Snapshot(std::vector<std::string> columnNames, std::vector<std::optional<ColumnValues>> read,
                   std::vector<std::optional<OtherFolds>> others, std::uint32_t rowCount,
                   std::shared_ptr<const ColumnSource> source, std::shared_ptr<const SnapshotOrigin> origin)
    : m_columnNames(std::move(columnNames))
    , m_rowCount(rowCount)
    , m_columns(std::make_unique<PerColumn[]>(m_columnNames.size()))
    , m_source(std::move(source))
    , m_origin(std::move(origin))
{
    for (std::size_t i = 0; i < read.size() && i < m_columnNames.size(); ++i) {
        PerColumn &per = m_columns[i];
        per.values = std::move(read[i]);
        if (i < others.size() && others[i] && per.values) {
            per.others = std::move(*others[i]);
            std::call_once(per.foldOnce, [] {});
        }
    }
}

Snapshot::Snapshot(RowPatch patch, std::vector<std::optional<ColumnValues>> fresh,
                   std::vector<std::optional<OtherFolds>> others, std::shared_ptr<const ColumnSource> source)
    : Snapshot(patch.base->columnNames(), std::move(fresh), std::move(others), patch.starts.back(), std::move(source))
{
    m_patch = std::move(patch);
    const Snapshot &base = *m_patch->base;
    for (std::size_t i = 0; i < m_columnNames.size(); ++i) {
        PerColumn &per = m_columns[i];
        if (!per.values)
            continue;
        // Read with the base's rows, so never to be loaded here.
        std::call_once(per.loadOnce, [] {});
        if (const ColumnValues *kept = base.column(i))
            per.pieced = std::make_unique<const PiecedText>(*m_patch, *kept, *per.values);
        else
            per.values.reset();
    }
}

Snapshot::PerColumn::~PerColumn() = default;

bool Snapshot::pieced(std::size_t column) const { return m_columns[column].pieced != nullptr; }

const ColumnValues *Snapshot::column(std::size_t index) const
{
    PerColumn &per = m_columns[index];
    std::call_once(per.loadOnce, [&] {
        if (per.values || !m_source)
            return;
        auto loaded = m_source->load(index);
        if (loaded.ok() && loaded.value().rowCount() == m_rowCount)
            per.values = std::move(loaded.value());
    });
    return per.values ? &*per.values : nullptr;
}

bool Snapshot::anyNull(std::size_t index) const
{
    PerColumn &per = m_columns[index];
    std::call_once(per.nullsOnce, [&] {
        if (const ColumnValues *values = column(index))
            per.anyNull = std::memchr(values->nulls.data(), 1, values->nulls.size()) != nullptr
                || (per.pieced && m_patch->base->anyNull(index));
    });
    return per.anyNull;
}

bool Snapshot::isNull(std::size_t column, std::uint32_t row) const
{
    if (const PerColumn &per = m_columns[column]; per.pieced)
        return per.pieced->at(row).isNull();
    return this->column(column)->nulls[row] != 0;
}

FieldValue Snapshot::value(std::size_t column, std::uint32_t row) const
{
    if (const PerColumn &per = m_columns[column]; per.pieced)
        return per.pieced->at(row);
    return this->column(column)->at(row);
}

FieldRun Snapshot::run(std::size_t column, const std::uint32_t *rows, std::uint32_t first, std::size_t count,
                       std::shared_ptr<const void> keepAlive) const
{
    const ColumnValues &values = *this->column(column);
    if (const PerColumn &per = m_columns[column]; per.pieced)
        return FieldRun(values.kind, per.pieced.get(), rows, first, count, std::move(keepAlive));
    return FieldRun(values.kind, values.text.data(), values.offsets.data(), rows, first, count, std::move(keepAlive));
}

SearchText Snapshot::searchText(std::size_t column) const
{
    PerColumn &per = m_columns[column];
    const ColumnValues *values = this->column(column);
    std::call_once(per.foldOnce, [&] {
        if (values)
            findOtherFolds(*values, per.others);
    });
    return {values->text, values->offsets.data(), &values->nulls, &per.others};
}

const BigramIndex *Snapshot::bigrams(std::size_t column, const WorkToken *work) const
{
    if (pieced(column))
        return m_patch->base->bigrams(column, work);
    PerColumn &per = m_columns[column];
    std::call_once(per.indexOnce, [&] {
        per.index = BigramIndex::build(searchText(column), work);
        per.indexReady.store(true, std::memory_order_release);
    });
    return per.index.get();
}

const BigramIndex *Snapshot::bigramsIfReady(std::size_t column) const
{
    if (pieced(column))
        return m_patch->base->bigramsIfReady(column);
    const PerColumn &per = m_columns[column];
    return per.indexReady.load(std::memory_order_acquire) ? per.index.get() : nullptr;
}

} // namespace jet_engine
