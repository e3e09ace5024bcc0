#pragma once

#include <QAbstractItemModel>
#include <QStringList>
#include <QTest>

// What the grid shows below its header, top to bottom.
inline QStringList gridRows(const QAbstractItemModel *model)
{
    QStringList rows;
    for (int row = 0; row < model->rowCount(); ++row)
        rows << model->index(row, 0).data().toString();
    return rows;
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
