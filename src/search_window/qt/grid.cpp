#include "search_window/qt/grid.h"

#include "search_window/form_design.h"
#include "search_window/qt/grid_model.h"

#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace search_window {

Grid::Grid(QWidget *parent)
    : QTableView(parent)
    , m_model(new GridModel(this))
{
    setModel(m_model);
    setEditTriggers(NoEditTriggers);
    // Tab leaves the grid for the next control rather than walking its cells.
    setTabKeyNavigation(false);
    setWordWrap(false);

    verticalHeader()->hide();
    // Fixed, uniform rows let the view place any of a million rows without
    // measuring the others.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);

    QHeaderView *header = horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    fitToFont();
}

void Grid::setFormatString(const QString &format)
{
    const std::u16string_view units(reinterpret_cast<const char16_t *>(format.utf16()),
                                    static_cast<std::size_t>(format.size()));
    const GridFormat parsed = parseGridFormat(units);
    m_headerText = QString::fromUtf16(parsed.header.data(), static_cast<qsizetype>(parsed.header.size()));
    m_model->setHeader(m_headerText, (parsed.centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
    fitToFont();
}

int Grid::Rows() const
{
    return m_model->rowCount() + 1;
}

void Grid::setRows(int rows)
{
    m_model->setDataRowCount(rows - 1);
}

void Grid::AddItem(const jet_engine::FieldValue &value, const std::shared_ptr<const void> &keepAlive)
{
    m_model->appendRow(value, keepAlive);
}

void Grid::AddItems(const jet_engine::FieldRun &run)
{
    m_model->appendRows(run);
}

void Grid::beginUpdate()
{
    m_model->beginBatch();
}

void Grid::endUpdate()
{
    m_model->endBatch();
    scrollToTop();
}

void Grid::changeEvent(QEvent *event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitToFont();
}

void Grid::keyPressEvent(QKeyEvent *event)
{
    if (!event->matches(QKeySequence::Copy)) {
        QTableView::keyPressEvent(event);
        return;
    }
    QModelIndexList selected = selectionModel()->selectedIndexes();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QStringList rows;
    for (const QModelIndex &index : selected)
        rows << index.data().toString();
    QGuiApplication::clipboard()->setText(rows.join(u'\n'));
}

void Grid::fitToFont()
{
    // The header label is drawn inside this margin on each side; the column is
    // just wide enough for the whole header text, spaces included. Rounding the
    // advance down would cost the last character to an ellipsis.
    const int padding = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, horizontalHeader());
    const QFontMetricsF metrics(font());
    const int width = int(std::ceil(metrics.horizontalAdvance(m_headerText))) + 2 * padding;
    horizontalHeader()->setDefaultSectionSize(width);
    if (horizontalHeader()->count() > 0)
        horizontalHeader()->resizeSection(0, width);
    const int lineHeight = int(std::ceil(metrics.height()));
    verticalHeader()->setMinimumSectionSize(lineHeight);
    verticalHeader()->setDefaultSectionSize(lineHeight + padding);
}

} // namespace search_window
