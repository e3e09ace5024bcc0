#include "search_window/qt/grid.h"
#include "window_test_support.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QTest>

using search_window::Grid;

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

    void rowsKeepTheirTextAliveUntilDropped()
    {
        Grid grid;
        std::weak_ptr<const std::string> watched;
        {
            auto text = std::make_shared<const std::string>("RONDELLE PLATE");
            watched = text;
            grid.AddItem(std::string_view(*text).substr(0, 8), text);
            grid.AddItem(std::string_view(*text).substr(9), text);
        }
        QVERIFY(!watched.expired());
        QCOMPARE(gridRows(grid.model()), QStringList({"RONDELLE", "PLATE"}));
        grid.setRows(1);
        QVERIFY(watched.expired());
    }
};

QTEST_MAIN(WindowGrid)
#include "tst_window_grid.moc"
