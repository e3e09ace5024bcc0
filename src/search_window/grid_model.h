#pragma once
// The grid's one column. Rows are UTF-8 views into the engine's result
// snapshots, kept alive by their owners, so a search of a million rows neither
// copies nor converts text; only the rows the view paints become QStrings.

#include <QAbstractTableModel>

#include <memory>
#include <string_view>
#include <vector>

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
    void appendRow(std::string_view text, const std::shared_ptr<const void> &owner);

private:
    QString m_header;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
    std::vector<std::string_view> m_rows;
    // Consecutive rows almost always share one owner, so only changes are kept.
    std::vector<std::shared_ptr<const void>> m_owners;
    int m_batchDepth = 0;
};

} // namespace search_window
