#include "article_database/module1.h"
#include "mdb_writer.h"
#include "search_window/qt/form1.h"
#include "search_window/qt/grid.h"
#include "window_test_support.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLineEdit>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using search_window::Form1;
using search_window::Grid;

namespace {

const QStringList designations{
    "VIS TÊTE HEXAGONALE M6", "Vis à bois 4x40", "VILEBREQUIN",    "CLE D'ARRET 12",  "ÉCROU HEXAGONAL M8",
    "écrou borgne M6",        "RONDELLE PLATE",  "CLE D'ARRET 14", "TOURNEVIS PLAT",  "JOINT STRAßE",
    "JOINT STRASSE",          "ﬁlet M10",        "FILET M12",      "ǄEP 1",           "DŽEP 2",
};

mdb_writer::Table articleTable(std::vector<mdb_writer::Column> columns, std::vector<mdb_writer::Row> rows)
{
    mdb_writer::Table table;
    table.name = "ARTICLE";
    table.columns = std::move(columns);
    table.rows = std::move(rows);
    return table;
}

} // namespace

// A user typing into the window over real database files.
class WindowTyping : public QObject {
    Q_OBJECT

    QTemporaryDir m_articles;
    QTemporaryDir m_sparse;
    QTemporaryDir m_doubles;
    QTemporaryDir m_numerics;
    std::unique_ptr<article_database::Module1> m_module;
    std::unique_ptr<Form1> m_form;

    static QString writeDatabase(const QTemporaryDir &prefix, const mdb_writer::Table &table)
    {
        const QString folder = prefix.filePath(QStringLiteral("drive_c/VANTORELISK"));
        if (!QDir().mkpath(folder))
            return QStringLiteral("cannot create ") + folder;
        const std::string failure =
            mdb_writer::writeDatabase(QDir(folder).filePath(QStringLiteral("TABLEARTICLE.MDB")).toStdString(), {table});
        return QString::fromStdString(failure);
    }

    void openWindowOn(const QTemporaryDir &prefix)
    {
        qputenv("WINEPREFIX", prefix.path().toLocal8Bit());
        m_module = std::make_unique<article_database::Module1>();
        m_form = std::make_unique<Form1>(*m_module);
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }

    QLineEdit *searchBox() const { return m_form->findChild<QLineEdit *>(QStringLiteral("RechGeneral")); }
    QStringList listed() const { return gridRows(m_form->findChild<Grid *>(QStringLiteral("G"))->model()); }

private slots:
    void initTestCase()
    {
        std::vector<mdb_writer::Row> rows;
        std::int32_t code = 100;
        for (const QString &designation : designations)
            rows.push_back({designation.toStdString(), code++});
        QCOMPARE(writeDatabase(m_articles, articleTable({{"ARTICLE"}, {"CODE", mdb_writer::ColumnType::LongInteger}}, rows)),
                 QString());

        const mdb_writer::Null null;
        QCOMPARE(writeDatabase(m_sparse, articleTable({{"REF"}, {"ARTICLE"}},
                                                      {{null, "VIS A"}, {"R2", "VIS B"}, {null, "VIS C"}, {"R4", "VIS D"},
                                                       {"R5", "ECROU"}})),
                 QString());
        QCOMPARE(writeDatabase(m_doubles, articleTable({{"POIDS", mdb_writer::ColumnType::Double}, {"ARTICLE"}},
                                                       {{444.555, "VIS A"}, {0.1 + 0.2, "VIS B"}, {-1e15, "VIS C"}})),
                 QString());
        mdb_writer::Column price{"PRIX", mdb_writer::ColumnType::Numeric};
        price.precision = 20;
        price.scale = 2;
        QCOMPARE(writeDatabase(m_numerics, articleTable({price, {"ARTICLE"}},
                                                        {{mdb_writer::Decimal{"123456789012345678.91"}, "VIS A"},
                                                         {mdb_writer::Decimal{"-0.5"}, "VIS B"}})),
                 QString());
    }

    void cleanup()
    {
        m_form.reset();
        m_module.reset();
    }

    void typing_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("expected");
        const QStringList vi{"VIS TÊTE HEXAGONALE M6", "Vis à bois 4x40", "VILEBREQUIN", "TOURNEVIS PLAT"};
        const QStringList vis{"VIS TÊTE HEXAGONALE M6", "Vis à bois 4x40", "TOURNEVIS PLAT"};
        QTest::newRow("one letter changes nothing") << "v" << QStringList();
        QTest::newRow("second letter lists") << "vi" << vi;
        QTest::newRow("third letter narrows") << "vis" << vis;
        QTest::newRow("back to one letter keeps") << "vis\b\b" << vi;
        QTest::newRow("cleared keeps") << "vis\b\b\b" << vi;
        QTest::newRow("no match") << "zz" << QStringList();
        QTest::newRow("any letter case") << "m6" << QStringList{"VIS TÊTE HEXAGONALE M6", "écrou borgne M6"};
        QTest::newRow("accented") << "écr" << QStringList{"ÉCROU HEXAGONAL M8", "écrou borgne M6"};
        QTest::newRow("apostrophe") << "cle d'arret" << QStringList{"CLE D'ARRET 12", "CLE D'ARRET 14"};
        QTest::newRow("unclosed bracket") << "[a" << QStringList();
        // The search text was once upper-cased with full, locale-dependent
        // mapping: "ß" became "SS" and "ﬁ" became "FI", so each found the
        // spelled-out row and not the row holding the character typed.
        QTest::newRow("sharp s is one letter") << "aße" << QStringList{"JOINT STRAßE"};
        QTest::newRow("ligature is one letter") << "ﬁl" << QStringList{"ﬁlet M10"};
        QTest::newRow("digraph is one letter") << "ǆe" << QStringList{"ǄEP 1"};
    }
    void typing()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, expected);
        openWindowOn(m_articles);
        typeText(searchBox(), typed);
        QCOMPARE(listed(), expected);
    }

    // Under a Turkish locale "i" once upper-cased to a dotted capital, so
    // "vis" searched for "VİS" and found nothing.
    // A paste past 32,767 characters was once cut there: this one then
    // searched for stars alone and listed every row.
    void longPasteSearchesTheWholeText()
    {
        openWindowOn(m_articles);
        QApplication::clipboard()->setText(QString(99'997, u'*') + QStringLiteral("m10"));
        QTest::keyClick(searchBox(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(listed(), QStringList{"ﬁlet M10"});
        QCOMPARE(searchBox()->text().size(), 100'000);
    }

    void turkishLocaleFindsTheSameRows()
    {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
        openWindowOn(m_articles);
        typeText(searchBox(), QStringLiteral("vis"));
        QLocale::setDefault(before);
        QCOMPARE(listed(), QStringList({"VIS TÊTE HEXAGONALE M6", "Vis à bois 4x40", "TOURNEVIS PLAT"}));
    }

    void nullFirstFieldsSkipped()
    {
        openWindowOn(m_sparse);
        typeText(searchBox(), QStringLiteral("vis"));
        QCOMPARE(listed(), QStringList({"R2", "R4"}));
    }

    // A first column of numbers once showed in the engine's invariant form
    // whatever the user's regional settings.
    void numbersInTheUsersFormat_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<bool>("numeric");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("fr double") << "fr_FR" << false << QStringList{"444,555", "0,3", "-1E+15"};
        QTest::newRow("C double") << "C" << false << QStringList{"444.555", "0.3", "-1E+15"};
        QTest::newRow("fr numeric") << "fr_FR" << true << QStringList{"123456789012345678,91", "-0,50"};
    }
    void numbersInTheUsersFormat()
    {
        QFETCH(QString, locale);
        QFETCH(bool, numeric);
        QFETCH(QStringList, shown);
        const QLocale before;
        QLocale::setDefault(QLocale(locale));
        openWindowOn(numeric ? m_numerics : m_doubles);
        typeText(searchBox(), QStringLiteral("vis"));
        const QStringList rows = listed();
        QLocale::setDefault(before);
        QCOMPARE(rows, shown);
    }

    void pasteSearchesOnce()
    {
        openWindowOn(m_articles);
        QApplication::clipboard()->setText(QStringLiteral("vis"));
        QSignalSpy resets(m_form->findChild<Grid *>(QStringLiteral("G"))->model(), &QAbstractItemModel::modelReset);
        QTest::keyClick(searchBox(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(resets.count(), 1);
        QCOMPARE(listed(), QStringList({"VIS TÊTE HEXAGONALE M6", "Vis à bois 4x40", "TOURNEVIS PLAT"}));
    }
};

QTEST_MAIN(WindowTyping)
#include "tst_window_typing.moc"
