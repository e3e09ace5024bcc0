#pragma once
// A one-column grid with one fixed header row, set up from a design-time
// format string: an optional '^' that centres the column, then the header
// text, which also sets the column's width. Without the mark the column is
// left-aligned.

#include <QTableView>

#include <memory>
#include <string_view>

namespace search_window {

class GridModel;

class Grid : public QTableView {
    Q_OBJECT

public:
    explicit Grid(QWidget *parent = nullptr);

    void setFormatString(const QString &format);

    // Counts the header row, as the form's code expects: 1 means no data rows.
    int Rows() const;
    void setRows(int rows);

    // `text` must stay valid for as long as `keepAlive` does.
    void AddItem(std::string_view text, const std::shared_ptr<const void> &keepAlive);

    // Rows changed in between reach the view as one model reset.
    void beginUpdate();
    void endUpdate();

protected:
    void changeEvent(QEvent *event) override;

private:
    void fitToFont();

    GridModel *m_model;
    QString m_headerText;
};

} // namespace search_window
