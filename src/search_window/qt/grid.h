#pragma once
// A one-column grid with one fixed header row, set up from a design-time
// format string: an optional '^' that centres the column, then the header
// text, which also sets the column's width. Without the mark the column is
// left-aligned.

#include "search_window/article_grid.h"

#include <QTableView>

#include <memory>
#include <string_view>

namespace search_window {

class GridModel;

class Grid : public QTableView, public ArticleGrid {
    Q_OBJECT

public:
    explicit Grid(QWidget *parent = nullptr);

    void setFormatString(const QString &format);

    int Rows() const override;
    void setRows(int rows) override;
    void AddItem(const jet_engine::FieldValue &value, const std::shared_ptr<const void> &keepAlive) override;
    void AddItems(const jet_engine::FieldRun &run) override;

    // Rows changed in between reach the view as one model reset, shown from
    // the top: a new list is not scrolled where the old one was.
    void beginUpdate() override;
    void endUpdate() override;

protected:
    void changeEvent(QEvent *event) override;
    // Ctrl+C copies every selected row, one a line, as shown.
    void keyPressEvent(QKeyEvent *event) override;

private:
    void fitToFont();

    GridModel *m_model;
    QString m_headerText;
};

} // namespace search_window
