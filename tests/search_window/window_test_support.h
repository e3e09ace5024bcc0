#pragma once

#include "search_window/qt/grid.h"

#include <QAbstractItemModel>
#include <QStringList>
#include <QTest>

#include <cstdint>
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
        grid.AddItem({jet_engine::FieldValue::Kind::Text, text}, owner);
}

// A run as the engine gives one: `rows` (or `count` rows from `first`) of a
// column packed into one text, a separator after each value; the run alone
// keeps the column alive.
inline jet_engine::FieldRun runOver(const QStringList &column, std::vector<std::uint32_t> rows,
                                          std::uint32_t first = 0, std::size_t count = 0)
{
    struct Column {
        std::string text;
        std::vector<std::uint32_t> offsets{0};
        std::vector<std::uint32_t> rows;
    };
    auto packed = std::make_shared<Column>();
    for (const QString &value : column) {
        packed->text += value.toStdString();
        packed->text += '\xFF';
        packed->offsets.push_back(static_cast<std::uint32_t>(packed->text.size()));
    }
    packed->rows = std::move(rows);
    const std::uint32_t *numbers = packed->rows.empty() ? nullptr : packed->rows.data();
    const std::size_t size = numbers ? packed->rows.size() : count;
    const char *text = packed->text.data();
    const std::uint32_t *offsets = packed->offsets.data();
    return {jet_engine::FieldValue::Kind::Text, text, offsets, numbers, first, size, std::move(packed)};
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
