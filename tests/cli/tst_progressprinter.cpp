#include "cli/ProgressPrinter.h"

#include <QtTest>

class TestProgressPrinter : public QObject
{
    Q_OBJECT

private slots:
    void render_data();
    void render();
};

void TestProgressPrinter::render_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("total");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QString>("line");

    QTest::newRow("start") << 0 << 4 << "" << 80 << "[........................] 0/4";
    QTest::newRow("half") << 2 << 4 << "a.dff" << 80 << "[############............] 2/4 a.dff";
    QTest::newRow("nothing to do") << 0 << 0 << "" << 80 << "[########################] 0/0";
    // 31 columns of bar and count, a space, and the line's last column stays free.
    QTest::newRow("long path keeps its end") << 1 << 9 << "/home/user/mods/vehicles/infernus.dff" << 50
                                             << "[##......................] 1/9 ...es/infernus.dff";
    QTest::newRow("wide characters take two columns")
        << 9 << 9 << "树木树木树木树木.dff" << 44 << "[########################] 9/9 ...树木.dff";
    QTest::newRow("no room for a label") << 1 << 1 << "x.dff" << 33 << "[########################] 1/1";
}

void TestProgressPrinter::render()
{
    QFETCH(int, count);
    QFETCH(int, total);
    QFETCH(QString, label);
    QFETCH(int, columns);
    QFETCH(QString, line);
    QCOMPARE(ProgressPrinter::Render(count, total, label, columns), line);
}

QTEST_GUILESS_MAIN(TestProgressPrinter)
#include "tst_progressprinter.moc"
