#include "search_window/qt/grid_model.h"

#include "search_window/qt/cell_text.h"

namespace search_window {

int GridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int GridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant GridModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    switch (role) {
    // The whole text as the tooltip too: the column's width cuts long
    // designations short.
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return cellText(QLocale(), m_rows.kind(), m_rows[static_cast<std::size_t>(index.row())]);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(m_alignment);
    default:
        return {};
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section != 0)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return m_header;
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(m_alignment);
    default:
        return {};
    }
}

void GridModel::setHeader(const QString &text, Qt::Alignment alignment)
{
    m_header = text;
    m_alignment = alignment;
    emit headerDataChanged(Qt::Horizontal, 0, 0);
    if (m_rows.size() != 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::TextAlignmentRole});
}

void GridModel::beginBatch()
{
    if (m_batchDepth++ == 0)
        beginResetModel();
}

void GridModel::endBatch()
{
    if (--m_batchDepth == 0)
        endResetModel();
}

void GridModel::setDataRowCount(int count)
{
    const int current = rowCount();
    count = std::max(count, 0);
    if (count == current)
        return;
    const bool signalled = m_batchDepth == 0;
    if (signalled) {
        if (count < current)
            beginRemoveRows({}, count, current - 1);
        else
            beginInsertRows({}, current, count - 1);
    }
    m_rows.resize(static_cast<std::size_t>(count));
    if (signalled) {
        if (count < current)
            endRemoveRows();
        else
            endInsertRows();
    }
}

void GridModel::appendRow(const jet_engine::FieldValue &value, const std::shared_ptr<const void> &owner)
{
    const bool signalled = m_batchDepth == 0;
    if (signalled)
        beginInsertRows({}, rowCount(), rowCount());
    m_rows.append(value, owner);
    if (signalled)
        endInsertRows();
}

void GridModel::appendRows(const jet_engine::FieldRun &run)
{
    const bool signalled = m_batchDepth == 0 && run.size() != 0;
    if (signalled)
        beginInsertRows({}, rowCount(), rowCount() + static_cast<int>(run.size()) - 1);
    m_rows.append(run);
    if (signalled)
        endInsertRows();
}

} // namespace search_window
