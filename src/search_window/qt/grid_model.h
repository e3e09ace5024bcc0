#pragma once
// The grid's one column over its rows; only the rows the view paints become
// QStrings.

#include "search_window/grid_rows.h"

#include <QAbstractTableModel>

#include <memory>
#include <string_view>

namespace search_window {

class GridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void setHeader(const QString &text, Qt::Alignment alignment);

    // Between these, changes are published once, as one model reset.
    void beginBatch();
    void endBatch();

    void setDataRowCount(int count);
    void appendRow(const jet_engine::FieldValue &value, const std::shared_ptr<const void> &owner);
    void appendRows(const jet_engine::FieldRun &run);

private:
    QString m_header;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
    GridRows m_rows;
    int m_batchDepth = 0;
};

} // namespace search_window
