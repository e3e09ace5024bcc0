#include "article_database/module1.h"
#include "fake_database.h"
#include "search_window/qt/form1.h"
#include "search_window/qt/grid.h"
#include "window_test_support.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using search_window::Form1;
using search_window::Grid;

Q_DECLARE_METATYPE(fake::Script)

namespace {

QString query(const QString &pattern)
{
    return QStringLiteral("SELECT * FROM ARTICLE Where ARTICLE like '*") + pattern + QStringLiteral("*'");
}

} // namespace

// The search's steps against a scripted engine, driven by keystrokes.
class WindowSearch : public QObject {
    Q_OBJECT

    QTemporaryDir m_emptyPrefix;
    std::unique_ptr<article_database::Module1> m_module;
    std::shared_ptr<fake::Database> m_database;
    std::unique_ptr<Form1> m_form;
    std::unique_ptr<QAbstractItemModelTester> m_tester;

    QLineEdit *searchBox() const { return m_form->findChild<QLineEdit *>(QStringLiteral("RechGeneral")); }
    Grid *grid() const { return m_form->findChild<Grid *>(QStringLiteral("G")); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_emptyPrefix.isValid());
        qputenv("WINEPREFIX", m_emptyPrefix.path().toLocal8Bit());
    }

    void init()
    {
        m_module = std::make_unique<article_database::Module1>();
        m_form = std::make_unique<Form1>(*m_module);
        m_database = std::make_shared<fake::Database>();
        m_module->BaseArticle = m_database;
        m_tester = std::make_unique<QAbstractItemModelTester>(grid()->model(),
                                                              QAbstractItemModelTester::FailureReportingMode::QtTest);
    }

    void cleanup()
    {
        m_tester.reset();
        m_form.reset();
        m_module.reset();
    }

    void queryTexts_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("queries");
        QTest::newRow("one letter") << "v" << QStringList();
        QTest::newRow("two letters") << "vi" << QStringList{query("VI")};
        QTest::newRow("typing on") << "vis" << QStringList{query("VI"), query("VIS")};
        QTest::newRow("back to one letter") << "vis\b\b" << QStringList{query("VI"), query("VIS"), query("VI")};
        QTest::newRow("apostrophe doubled") << "d'a" << QStringList{query("D''"), query("D''A")};
        QTest::newRow("wildcards kept") << "*?#[" << QStringList{query("*?"), query("*?#"), query("*?#[")};
        QTest::newRow("accent upper-cased") << "éc" << QStringList{query("ÉC")};
        // Upper-casing once followed the locale's full mapping, which turns
        // one character into two ("ß" into "SS", "ﬁ" into "FI") while the
        // engine compares one character with one.
        QTest::newRow("sharp s kept") << "aß" << QStringList{query("Aß")};
        QTest::newRow("ligature kept whole") << "ﬁl" << QStringList{query("ﬁL")};
        QTest::newRow("digraph by simple mapping") << "ǆa" << QStringList{query("ǄA")};
    }
    void queryTexts()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, queries);
        typeText(searchBox(), typed);
        QCOMPARE(m_database->queries, queries);
    }

    void steps_data()
    {
        QTest::addColumn<fake::Script>("script");
        QTest::addColumn<QStringList>("listed");
        const fake::Cells abc{"A", "B", "C"};
        QTest::newRow("every row") << fake::Script{abc} << QStringList{"A", "B", "C"};
        QTest::newRow("nulls skipped") << fake::Script{{std::nullopt, "B", std::nullopt, "D"}} << QStringList{"B", "D"};
        QTest::newRow("empty text listed") << fake::Script{{"A", "", "CD"}} << QStringList{"A", "", "CD"};
        QTest::newRow("unreadable field skipped") << fake::Script{abc, false, 1} << QStringList{"A", "C"};
        QTest::newRow("failed move ends") << fake::Script{abc, false, SIZE_MAX, 1} << QStringList{"A", "B"};
        QTest::newRow("failed end test ends") << fake::Script{abc, false, SIZE_MAX, SIZE_MAX, 2} << QStringList{"A", "B"};
        QTest::newRow("no rows") << fake::Script{} << QStringList();
        QTest::newRow("open fails") << fake::Script{abc, true} << QStringList();
        // Running out of memory once left the slot as an exception and ended
        // the program; a failed step is skipped and the next one runs.
        QTest::newRow("open out of memory") << fake::Script{.rows = abc, .openThrows = true} << QStringList();
        QTest::newRow("field out of memory skips the row")
            << fake::Script{.rows = abc, .fieldThrowsAt = 1} << QStringList{"A", "C"};
        QTest::newRow("move out of memory ends")
            << fake::Script{.rows = abc, .moveNextThrowsAt = 1} << QStringList{"A", "B"};
        QTest::newRow("end test out of memory ends")
            << fake::Script{.rows = abc, .eofThrowsAt = 2} << QStringList{"A", "B"};
    }
    void steps()
    {
        QFETCH(fake::Script, script);
        QFETCH(QStringList, listed);
        m_database->script = fake::Script{{"EARLIER"}};
        typeText(searchBox(), QStringLiteral("ea"));
        QCOMPARE(gridRows(grid()->model()), QStringList{"EARLIER"});

        // As Form_Load leaves it: the whole table current.
        m_module->RsArticle = std::make_shared<fake::Recordset>(fake::Script{{"WHOLE TABLE"}});
        m_database->script = script;
        QSignalSpy resets(grid()->model(), &QAbstractItemModel::modelReset);
        typeText(searchBox(), QStringLiteral("r"));
        QCOMPARE(gridRows(grid()->model()), listed);
        QCOMPARE(resets.count(), 1);
        QVERIFY(!m_module->RsArticle);
    }

    void pastingSearchesOnceForTheWholeText_data()
    {
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("apostrophe") << "cle d'arret" << "cle d'arret" << "CLE D''ARRET";
        QTest::newRow("surrogate pair upper-cased whole")
            << QStringLiteral("a\U00010428") << QStringLiteral("a\U00010428") << QStringLiteral("A\U00010400");
        // The box once cut a paste at 32,767 characters without a word, and
        // the search ran on text the user never gave.
        QTest::newRow("100000 characters") << QString(99'997, u'a') + QStringLiteral("b'c")
                                           << QString(99'997, u'a') + QStringLiteral("b'c")
                                           << QString(99'997, u'A') + QStringLiteral("B''C");
        QTest::newRow("lone surrogate kept") << QStringLiteral("a") + QChar(0xDC28) + u'b'
                                             << QStringLiteral("a") + QChar(0xDC28) + u'b'
                                             << QStringLiteral("A") + QChar(0xDC28) + u'B';
        // A cell copied from a spreadsheet ends in a line break, which the box
        // once kept: the search looked for it and listed nothing.
        QTest::newRow("spreadsheet cell") << "vis\n" << "vis" << "VIS";
        QTest::newRow("first line only") << "vis\r\nécrou\n" << "vis" << "VIS";
        QTest::newRow("line break first") << "\nvis" << "" << "";
    }
    void pastingSearchesOnceForTheWholeText()
    {
        QFETCH(QString, pasted);
        QFETCH(QString, kept);
        QFETCH(QString, pattern);
        QApplication::clipboard()->setText(pasted);
        searchBox()->setFocus();
        QTest::keyClick(searchBox(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(searchBox()->text(), kept);
        QCOMPARE(m_database->queries, pattern.isEmpty() ? QStringList() : QStringList{query(pattern)});
    }

    // A paste goes where the cursor is: what follows the cursor stays, and
    // only the pasted text is cut at its line break.
    void pasteIntoTextCutsOnlyThePaste()
    {
        typeText(searchBox(), QStringLiteral("m6"));
        QTest::keyClick(searchBox(), Qt::Key_Home);
        QApplication::clipboard()->setText(QStringLiteral("vis \nécrou "));
        QTest::keyClick(searchBox(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(searchBox()->text(), QStringLiteral("vis m6"));
        QCOMPARE(searchBox()->cursorPosition(), 4);
        QCOMPARE(m_database->queries.last(), query("VIS M6"));
    }

    // After a refill the list once stayed scrolled where the old one was:
    // the first rows of the new list were hidden above the view.
    void newListStartsAtTheTop()
    {
        fake::Cells many;
        for (int i = 0; i < 500; ++i)
            many.push_back("ROW " + std::to_string(i));
        m_database->script = fake::Script{many};
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        typeText(searchBox(), QStringLiteral("ro"));
        grid()->scrollToBottom();
        QVERIFY(grid()->verticalScrollBar()->value() > 0);
        typeText(searchBox(), QStringLiteral("w"));
        QCOMPARE(grid()->verticalScrollBar()->value(), 0);
        QCOMPARE(grid()->rowAt(0), 0);
    }

    void clearingAtOnceKeepsTheList()
    {
        m_database->script = fake::Script{{"VIS"}};
        typeText(searchBox(), QStringLiteral("vis"));
        QTest::keyClick(searchBox(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(searchBox(), Qt::Key_Delete);
        QVERIFY(searchBox()->text().isEmpty());
        QCOMPARE(m_database->queries.size(), 2);
        QCOMPARE(gridRows(grid()->model()), QStringList{"VIS"});
    }
};

QTEST_MAIN(WindowSearch)
#include "tst_window_search.moc"
