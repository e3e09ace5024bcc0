#include "jet_engine/tables/snapshot.h"

#include "jet_engine/search/bigram_index.h"

#include <cstring>

namespace jet_engine {

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
                   std::shared_ptr<const ColumnSource> source)
    : m_columnNames(std::move(columnNames))
    , m_rowCount(rowCount)
    , m_columns(std::make_unique<PerColumn[]>(m_columnNames.size()))
    , m_source(std::move(source))
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

Snapshot::PerColumn::~PerColumn() = default;

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
            per.anyNull = std::memchr(values->nulls.data(), 1, values->nulls.size()) != nullptr;
    });
    return per.anyNull;
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
    PerColumn &per = m_columns[column];
    std::call_once(per.indexOnce, [&] {
        per.index = BigramIndex::build(searchText(column), work);
        per.indexReady.store(true, std::memory_order_release);
    });
    return per.index.get();
}

const BigramIndex *Snapshot::bigramsIfReady(std::size_t column) const
{
    const PerColumn &per = m_columns[column];
    return per.indexReady.load(std::memory_order_acquire) ? per.index.get() : nullptr;
}

} // namespace jet_engine
