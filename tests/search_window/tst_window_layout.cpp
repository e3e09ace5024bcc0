#include "article_database/module1.h"
#include "search_window/qt/form1.h"
#include "search_window/qt/grid.h"
#include "window_test_support.h"

#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStyleOptionHeader>
#include <QTemporaryDir>
#include <QFontDatabase>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <memory>

using search_window::Form1;
using search_window::Grid;

class WindowLayout : public QObject {
    Q_OBJECT

    QTemporaryDir m_emptyPrefix;
    article_database::Module1 m_module;
    std::unique_ptr<Form1> m_form;

    QWidget *control(const QString &name) const { return m_form->findChild<QWidget *>(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_emptyPrefix.isValid());
        qputenv("WINEPREFIX", m_emptyPrefix.path().toLocal8Bit());
        m_form = std::make_unique<Form1>(m_module);
        m_form->show();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }

    void focusStartsInTheSearchBox()
    {
        QCOMPARE(QApplication::focusWidget(), control("RechGeneral"));
    }

    void titleSizeAndPlace()
    {
        QCOMPARE(m_form->windowTitle(), QStringLiteral("Fiche d'article : "));
        QCOMPARE(m_form->size(), QSize(13815 / 15, 9330 / 15));
        // Centred up to the window frame, whose size is the window manager's.
        const QPoint offCentre = m_form->geometry().center() - m_form->screen()->availableGeometry().center();
        const QSize frame = m_form->frameGeometry().size() - m_form->size();
        QVERIFY2(std::abs(offCentre.x()) <= frame.width() + 1 && std::abs(offCentre.y()) <= frame.height() + 1,
                 "window not centred on the screen");
    }

    void controlGeometry_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("twips");
        QTest::newRow("search box") << "RechGeneral" << QRect(4680, 240, 3495, 495);
        QTest::newRow("grid") << "G" << QRect(240, 960, 13335, 7095);
        QTest::newRow("prompt") << "Label1" << QRect(1800, 360, 2415, 375);
        QTest::newRow("close button") << "Command1" << QRect(12240, 8400, 1335, 495);
        QTest::newRow("warning") << "Label2" << QRect(8280, 240, 5415, 495);
    }
    void controlGeometry()
    {
        QFETCH(QString, name);
        QFETCH(QRect, twips);
        QWidget *widget = control(name);
        QVERIFY(widget);
        QCOMPARE(widget->geometry(), QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
    }

    void captionsAndFonts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<qreal>("points");
        QTest::addColumn<int>("weight");
        QTest::addColumn<QStringList>("faces");
        // Both faces once fell back to "Segoe UI" first; where "MS Sans Serif"
        // is missing, Windows itself shows "Microsoft Sans Serif".
        const QStringList semibold{"Segoe UI Semibold", "Segoe UI", "Liberation Sans"};
        const QStringList sansSerif{"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans"};
        QTest::newRow("search box") << "RechGeneral" << "" << 12.0 << int(QFont::DemiBold) << semibold;
        QTest::newRow("grid") << "G" << QString() << 11.25 << int(QFont::DemiBold) << semibold;
        QTest::newRow("prompt") << "Label1" << "Rechercher d'aricle : " << 12.0 << int(QFont::Normal) << sansSerif;
        QTest::newRow("close button") << "Command1" << "&Fermer" << 9.75 << int(QFont::DemiBold) << semibold;
        QTest::newRow("warning") << "Label2" << "Problème avec caractère ( ' )" << 18.0 << int(QFont::Normal)
                                 << sansSerif;
    }
    void captionsAndFonts()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(qreal, points);
        QFETCH(int, weight);
        QFETCH(QStringList, faces);
        QWidget *widget = control(name);
        QVERIFY(widget);
        if (!text.isNull())
            QCOMPARE(widget->property("text").toString(), text);
        QCOMPARE(widget->font().pointSizeF(), points);
        QCOMPARE(int(widget->font().weight()), weight);
        faces << QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
        QCOMPARE(widget->font().families(), faces);
    }

    // A screen reader once found no name on the search box nor on the grid.
    void accessibleNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("spoken");
        QTest::newRow("search box") << "RechGeneral" << "Rechercher d'aricle : ";
        QTest::newRow("grid") << "G" << "Désignation d'article";
        QTest::newRow("close button") << "Command1" << "Fermer";
    }
    void accessibleNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, spoken);
        QWidget *widget = control(name);
        QVERIFY(widget);
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), spoken);
    }

    void colours()
    {
        const QImage image = m_form->grab().toImage();
        const QColor background = QApplication::palette().color(QPalette::Light);
        QCOMPARE(image.pixelColor(2, 2), background);
        const QPoint promptCorner = control("Label1")->geometry().topRight() + QPoint(-1, 1);
        QCOMPARE(image.pixelColor(promptCorner), background);

        const QRect warning = control("Label2")->geometry();
        QCOMPARE(image.pixelColor(warning.topLeft() + QPoint(1, 1)), QColor(Qt::black));
        bool yellowText = false;
        for (int y = warning.top(); y <= warning.bottom() && !yellowText; ++y)
            for (int x = warning.left(); x <= warning.right() && !yellowText; ++x)
                yellowText = image.pixelColor(x, y) == QColor(255, 255, 0);
        QVERIFY2(yellowText, "no yellow text on the warning");
    }

    void gridHeaderShowsTheWholeTextCentred()
    {
        auto *grid = m_form->findChild<Grid *>(QStringLiteral("G"));
        QVERIFY(grid);
        const QString expected = QString(40, u' ') + QStringLiteral("Désignation d'article") + QString(116, u' ');
        QCOMPARE(grid->model()->columnCount(), 1);
        QCOMPARE(grid->model()->headerData(0, Qt::Horizontal).toString(), expected);
        const auto alignment = grid->model()->headerData(0, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>();
        QCOMPARE(alignment & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        QVERIFY(grid->verticalHeader()->isHidden());

        QHeaderView *header = grid->horizontalHeader();
        QStyleOptionHeader option;
        option.initFrom(header);
        option.rect = QRect(0, 0, header->sectionSize(0), header->height());
        const QRect label = header->style()->subElementRect(QStyle::SE_HeaderLabel, &option, header);
        QCOMPARE(header->fontMetrics().elidedText(expected, Qt::ElideRight, label.width()), expected);
    }

    void startsQuietlyWithoutDatabase()
    {
        auto *grid = m_form->findChild<Grid *>(QStringLiteral("G"));
        QCOMPARE(grid->Rows(), 1);
        QTest::keyClicks(control("RechGeneral"), QStringLiteral("vis"));
        QCOMPARE(grid->Rows(), 1);
        QCOMPARE(QApplication::topLevelWidgets(), QWidgetList{m_form.get()});
    }

    void tabCycle_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("to");
        QTest::newRow("search box to grid") << "RechGeneral" << int(Qt::Key_Tab) << "G";
        QTest::newRow("grid to button") << "G" << int(Qt::Key_Tab) << "Command1";
        QTest::newRow("button back round") << "Command1" << int(Qt::Key_Tab) << "RechGeneral";
        QTest::newRow("backwards from search box") << "RechGeneral" << int(Qt::Key_Backtab) << "Command1";
    }
    void tabCycle()
    {
        QFETCH(QString, from);
        QFETCH(int, key);
        QFETCH(QString, to);
        // With rows and a current cell, a grid could keep Tab to walk its cells.
        auto *grid = m_form->findChild<Grid *>(QStringLiteral("G"));
        grid->setRows(1);
        addRows(*grid, {"A", "B"});
        grid->setCurrentIndex(grid->model()->index(0, 0));
        control(from)->setFocus(Qt::OtherFocusReason);
        QCOMPARE(QApplication::focusWidget(), control(from));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QCOMPARE(QApplication::focusWidget(), control(to));
    }

    // Enter presses the button only while it has the focus: elsewhere it must
    // not end the program.
    void enterElsewhereLeavesTheButton_data()
    {
        QTest::addColumn<QString>("focused");
        QTest::newRow("search box") << "RechGeneral";
        QTest::newRow("grid") << "G";
    }
    void enterElsewhereLeavesTheButton()
    {
        QFETCH(QString, focused);
        m_form->show();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        control(focused)->setFocus(Qt::OtherFocusReason);
        QSignalSpy clicked(m_form->findChild<QPushButton *>(QStringLiteral("Command1")), &QPushButton::clicked);
        QTest::keyClick(control(focused), Qt::Key_Return);
        QTest::keyClick(control(focused), Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(clicked.count(), 0);
        QCOMPARE(QApplication::focusWidget(), control(focused));
    }

    // The button once ended the program by mouse, Space and Alt+F only: a
    // push button outside a dialog lets Enter and Return pass through, so
    // pressing Enter on the focused "Fermer" did nothing at all.
    void closeButtonEndsTheProgram_data()
    {
        QTest::addColumn<QString>("focused");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("modifiers");
        const QList<int> tabTwice{Qt::Key_Tab, Qt::Key_Tab};
        QTest::newRow("Alt+F from the search box") << "RechGeneral" << QList<int>{Qt::Key_F} << int(Qt::AltModifier);
        QTest::newRow("Alt+F from the grid") << "G" << QList<int>{Qt::Key_F} << int(Qt::AltModifier);
        QTest::newRow("tab to it then Return") << "RechGeneral" << tabTwice + QList<int>{Qt::Key_Return}
                                                << int(Qt::NoModifier);
        QTest::newRow("tab to it then keypad Enter") << "RechGeneral" << tabTwice + QList<int>{Qt::Key_Enter}
                                                     << int(Qt::KeypadModifier);
        QTest::newRow("tab to it then Space") << "RechGeneral" << tabTwice + QList<int>{Qt::Key_Space}
                                              << int(Qt::NoModifier);
        QTest::newRow("mouse click") << "RechGeneral" << QList<int>() << int(Qt::NoModifier);
    }
    void closeButtonEndsTheProgram()
    {
        QFETCH(QString, focused);
        QFETCH(QList<int>, keys);
        QFETCH(int, modifiers);
        QWidget *start = control(focused);
        auto *button = m_form->findChild<QPushButton *>(QStringLiteral("Command1"));
        m_form->show();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        start->setFocus(Qt::OtherFocusReason);
        QCOMPARE(QApplication::focusWidget(), start);
        QSignalSpy clicked(button, &QPushButton::clicked);
        QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
        QTimer::singleShot(0, this, [&] {
            if (keys.isEmpty()) {
                QTest::mouseClick(button, Qt::LeftButton);
                return;
            }
            // Tabs move the focus; the last key goes to wherever it landed.
            for (qsizetype i = 0; i + 1 < keys.size(); ++i)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key(keys[i]));
            if (keys.size() > 1 && QApplication::focusWidget() != button)
                QCoreApplication::exit(2);
            else
                QTest::keyClick(QApplication::focusWidget(), Qt::Key(keys.last()),
                                Qt::KeyboardModifiers(modifiers));
        });
        // Only there so that a missing quit fails the test instead of hanging it.
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, this, [] { QCoreApplication::exit(1); });
        watchdog.start(10000);
        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(quitting.count(), 1);
        QVERIFY(!m_form->isVisible());
    }
};

QTEST_MAIN(WindowLayout)
#include "tst_window_layout.moc"
