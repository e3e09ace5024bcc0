#include "search_window/qt/grid.h"
#include "window_test_support.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLocale>
#include <QTest>

#include <string>

using search_window::Grid;
using Kind = jet_engine::FieldValue::Kind;

Q_DECLARE_METATYPE(Kind)

class WindowGrid : public QObject {
    Q_OBJECT

private slots:
    void headerFromFormat_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("header");
        QTest::addColumn<int>("alignment");
        QTest::newRow("centred") << "^ Nom " << " Nom " << int(Qt::AlignHCenter);
        QTest::newRow("no mark") << "Nom" << "Nom" << int(Qt::AlignLeft);
        QTest::newRow("mark only") << "^" << "" << int(Qt::AlignHCenter);
        QTest::newRow("empty") << "" << "" << int(Qt::AlignLeft);
        QTest::newRow("mark inside the text") << "N^om" << "N^om" << int(Qt::AlignLeft);
        QTest::newRow("second mark is text") << "^^Nom" << "^Nom" << int(Qt::AlignHCenter);
    }
    void headerFromFormat()
    {
        QFETCH(QString, format);
        QFETCH(QString, header);
        QFETCH(int, alignment);
        Grid grid;
        grid.setFormatString(format);
        addRows(grid, {"X"});
        const QAbstractItemModel *model = grid.model();
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), header);
        for (const QVariant &role : {model->headerData(0, Qt::Horizontal, Qt::TextAlignmentRole),
                                     model->index(0, 0).data(Qt::TextAlignmentRole)})
            QCOMPARE(int(role.value<Qt::Alignment>() & Qt::AlignHorizontal_Mask), alignment);
    }

    void columnFollowsHeaderTextAndFont()
    {
        Grid grid;
        const QString header = QStringLiteral("    Désignation    ");
        grid.setFormatString(u'^' + header);
        QHeaderView *columns = grid.horizontalHeader();
        const int small = columns->sectionSize(0);
        QVERIFY(small >= QFontMetricsF(grid.font()).horizontalAdvance(header));

        QFont larger = grid.font();
        larger.setPointSizeF(larger.pointSizeF() * 2);
        grid.setFont(larger);
        const int large = columns->sectionSize(0);
        QVERIFY(large >= QFontMetricsF(larger).horizontalAdvance(header));
        QVERIFY(large > small);

        grid.beginUpdate();
        grid.setRows(1);
        addRows(grid, {"A"});
        grid.endUpdate();
        QCOMPARE(columns->sectionSize(0), large);
    }

    void rowsCountTheHeader()
    {
        Grid grid;
        QAbstractItemModelTester tester(grid.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(grid.Rows(), 1);
        addRows(grid, {"Écrou", "Vis"});
        QCOMPARE(grid.Rows(), 3);
        QCOMPARE(gridRows(grid.model()), QStringList({"Écrou", "Vis"}));

        grid.setRows(1);
        QCOMPARE(grid.Rows(), 1);
        QCOMPARE(grid.model()->rowCount(), 0);

        addRows(grid, {"Clé"});
        QCOMPARE(gridRows(grid.model()), QStringList({"Clé"}));
    }

    // Dates and numbers once showed in the engine's invariant forms
    // ("1974-09-21", "444.555", "0.30000000000000004") whatever the user's
    // regional settings; a French user reads "21/09/1974" and "444,555".
    void valuesInTheUsersFormats_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("fr date") << "fr_FR" << Kind::DateTime << "1974-09-21" << "21/09/1974";
        QTest::newRow("fr date and time") << "fr_FR" << Kind::DateTime << "1974-09-21 12:30:00" << "21/09/1974 12:30:00";
        QTest::newRow("fr time alone") << "fr_FR" << Kind::DateTime << "1899-12-30 12:30:00" << "12:30:00";
        QTest::newRow("fr day 0 at midnight") << "fr_FR" << Kind::DateTime << "1899-12-30" << "00:00:00";
        QTest::newRow("fr date out of range") << "fr_FR" << Kind::DateTime << "-700000.5" << "-700000,5";
        QTest::newRow("fr double") << "fr_FR" << Kind::Double << "444.555" << "444,555";
        QTest::newRow("fr double 15 digits") << "fr_FR" << Kind::Double << "0.30000000000000004" << "0,3";
        QTest::newRow("fr double no grouping") << "fr_FR" << Kind::Double << "1234567.5" << "1234567,5";
        QTest::newRow("fr double large") << "fr_FR" << Kind::Double << "1e+15" << "1E+15";
        QTest::newRow("fr double small") << "fr_FR" << Kind::Double << "1e-07" << "1E-07";
        QTest::newRow("fr double negative zero") << "fr_FR" << Kind::Double << "-0" << "0";
        QTest::newRow("fr single 7 digits") << "fr_FR" << Kind::Single << "3.1415927" << "3,141593";
        QTest::newRow("fr currency") << "fr_FR" << Kind::Currency << "-12.5" << "-12,5";
        QTest::newRow("fr numeric beyond double") << "fr_FR" << Kind::Numeric << "12345678901234567.89"
                                                  << "12345678901234567,89";
        QTest::newRow("fr integer") << "fr_FR" << Kind::Integer << "-2147483648" << "-2147483648";
        QTest::newRow("fr boolean") << "fr_FR" << Kind::Boolean << "True" << "True";
        QTest::newRow("fr text with a dot") << "fr_FR" << Kind::Text << "VIS 4.5" << "VIS 4.5";
        QTest::newRow("C date") << "C" << Kind::DateTime << "1974-09-21 12:30:00" << "21 Sep 1974 12:30:00";
        QTest::newRow("C double") << "C" << Kind::Double << "444.555" << "444.555";
        QTest::newRow("de date") << "de_DE" << Kind::DateTime << "1974-09-21" << "21.09.74";
    }
    void valuesInTheUsersFormats()
    {
        QFETCH(QString, locale);
        QFETCH(Kind, kind);
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        const QLocale before;
        QLocale::setDefault(QLocale(locale));
        Grid grid;
        const auto owner = std::make_shared<const std::string>(stored.toStdString());
        grid.AddItem({kind, *owner}, owner);
        const QModelIndex cell = grid.model()->index(0, 0);
        const QString display = cell.data().toString();
        const QString tooltip = cell.data(Qt::ToolTipRole).toString();
        QLocale::setDefault(before);
        QCOMPARE(display, shown);
        QCOMPARE(tooltip, shown);
    }

    // Ctrl+C once copied the current cell alone.
    void copyTakesEverySelectedRow()
    {
        Grid grid;
        addRows(grid, {"VIS", "ÉCROU", "CLÉ", "RONDELLE"});
        grid.selectionModel()->select(grid.model()->index(2, 0), QItemSelectionModel::Select);
        grid.selectionModel()->select(grid.model()->index(0, 0), QItemSelectionModel::Select);
        grid.selectionModel()->select(grid.model()->index(3, 0), QItemSelectionModel::Select);
        QTest::keyClick(&grid, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("VIS\nCLÉ\nRONDELLE"));
    }

    void rowsKeepTheirTextAliveUntilDropped()
    {
        Grid grid;
        std::weak_ptr<const std::string> watched;
        std::weak_ptr<const void> watchedRun;
        {
            auto text = std::make_shared<const std::string>("RONDELLE PLATE");
            watched = text;
            grid.AddItem({Kind::Text, std::string_view(*text).substr(0, 8)}, text);
            grid.AddItem({Kind::Text, std::string_view(*text).substr(9)}, text);
            const auto run = runOver({"VIS"}, {0});
            watchedRun = run.keepAlive();
            grid.AddItems(run);
        }
        QVERIFY(!watched.expired());
        QVERIFY(!watchedRun.expired());
        QCOMPARE(gridRows(grid.model()), QStringList({"RONDELLE", "PLATE", "VIS"}));
        grid.setRows(1);
        QVERIFY(watched.expired());
        QVERIFY(watchedRun.expired());
    }

    // An answer arrives as one run of row numbers; rows added one by one,
    // runs of consecutive rows and the form's Rows setter mix with it.
    void runsAndSinglesListInOrder()
    {
        Grid grid;
        const QStringList column{"VIS", "ÉCROU", "CLÉ", "RONDELLE", "TIGE"};
        grid.AddItems(runOver(column, {3, 1, 4}));
        addRows(grid, {"BOULON"});
        grid.AddItems(runOver(column, {}, 2, 2));
        grid.AddItems(runOver(column, {}, 0, 0));
        QCOMPARE(gridRows(grid.model()), QStringList({"RONDELLE", "ÉCROU", "TIGE", "BOULON", "CLÉ", "RONDELLE"}));
        QCOMPARE(grid.Rows(), 7);

        grid.setRows(5);
        QCOMPARE(gridRows(grid.model()), QStringList({"RONDELLE", "ÉCROU", "TIGE", "BOULON"}));
        grid.setRows(3);
        QCOMPARE(gridRows(grid.model()), QStringList({"RONDELLE", "ÉCROU"}));
        grid.setRows(5);
        grid.AddItems(runOver(column, {0}));
        QCOMPARE(gridRows(grid.model()), QStringList({"RONDELLE", "ÉCROU", "", "", "VIS"}));
    }
};

QTEST_MAIN(WindowGrid)
#include "tst_window_grid.moc"
