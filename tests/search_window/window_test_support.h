#pragma once

#include "search_window/qt/grid.h"

#include <QAbstractItemModel>
#include <QStringList>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

// What the grid shows below its header, top to bottom.
inline QStringList gridRows(const QAbstractItemModel *model)
{
    QStringList rows;
    for (int row = 0; row < model->rowCount(); ++row)
        rows << model->index(row, 0).data().toString();
    return rows;
}

// Adds rows as the window does: views into text one shared owner keeps alive.
inline void addRows(search_window::Grid &grid, const QStringList &rows)
{
    auto owner = std::make_shared<std::vector<std::string>>();
    for (const QString &row : rows)
        owner->push_back(row.toStdString());
    for (const std::string &text : *owner)
        grid.AddItem({article_database::FieldValue::Kind::Text, text}, owner);
}

// QTest::keyClicks knows only ASCII keys: other letters arrive as a key event
// carrying their text, as a keyboard layout or input method delivers them.
inline void typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(widget, char(c.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}
