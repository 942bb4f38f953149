// Comparing two archives: pairing by name (ASCII case ignored, namesakes in
// directory order), content as the sectors' bytes, any mix of versions.

#include "ArchiveFixtures.h"
#include "ContentFixtures.h"
#include "SignalLog.h"

#include "archive/IMGClass.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Fixtures;

Q_DECLARE_METATYPE(std::vector<Fixtures::Item>)

class TestDiff : public QObject
{
    Q_OBJECT

private slots:
    void differences_data();
    void differences();
    void unreadableArchiveIsAnError();
};

namespace {

using Items = std::vector<Item>;
using Positions = std::vector<int>;

QString Show(const Positions &p)
{
    QStringList s;
    for (int i : p)
        s << QString::number(i);
    return s.join(',');
}

} // namespace

void TestDiff::differences_data()
{
    QTest::addColumn<int>("versionA");
    QTest::addColumn<int>("versionB");
    QTest::addColumn<Items>("a");
    QTest::addColumn<Items>("b");
    QTest::addColumn<bool>("cutLastA");
    QTest::addColumn<QString>("removed");
    QTest::addColumn<QString>("added");
    QTest::addColumn<QString>("changed");

    const QByteArray one = Pattern(1, 3000), two = Pattern(2, 3000), three = Pattern(3, 100);
    const Items base = {{"a.dff", one}, {"b.txd", two}, {"c.col", three}, {"empty.ipl", QByteArray()}};
    for (int va : {1, 2}) {
        for (int vb : {1, 2}) {
            const QString v = QStringLiteral("%1 against %2: ").arg(va).arg(vb);
            const auto row = [&](const char *what) -> QTestData & {
                return QTest::newRow(qPrintable(v + what)) << va << vb;
            };
            row("same entries, other places and gaps")
                << base
                << Items{{"a.dff", one, 40}, {"b.txd", two, 9}, {"c.col", three, 20}, {"empty.ipl", {}, 9, 0}}
                << false << ""
                << ""
                << "";
            row("names paired without regard to ASCII case")
                << base << Items{{"A.DFF", one}, {"B.Txd", two}, {"c.COL", three}, {"EMPTY.IPL", {}}} << false
                << ""
                << ""
                << "";
            row("removed, added and changed, each in its archive's order")
                << base
                << Items{{"new2.dff", one}, {"c.col", Pattern(9, 100)}, {"a.dff", one}, {"new1.txd", two}}
                << false << "1,3"
                << "0,3"
                << "2";
            row("one byte differs in the last sector")
                << base
                << Items{{"a.dff", one}, {"b.txd", two.left(2999) + "x"}, {"c.col", three}, {"empty.ipl", {}}}
                << false << ""
                << ""
                << "1";
            row("same bytes, one sector more")
                << base << Items{{"a.dff", one, 0, 3}, {"b.txd", two}, {"c.col", three}, {"empty.ipl", {}}}
                << false << ""
                << ""
                << "0";
            row("a last sector cut short reads as zeros")
                << base << Items{{"a.dff", one}, {"b.txd", two}, {"c.col", three}, {"empty.ipl", {}}} << true
                << ""
                << ""
                << "";
            row("namesakes paired in directory order")
                << Items{{"x.txd", one}, {"X.TXD", two}, {"y.dff", three}}
                << Items{{"x.txd", one}, {"x.txd", three}, {"y.dff", three}, {"X.txd", two}} << false << ""
                << "3"
                << "1";
            row("data in another order on one side") << base
                                                     << Items{{"a.dff", one, 30},
                                                              {"b.txd", Pattern(8, 3000), 20},
                                                              {"c.col", three, 10},
                                                              {"empty.ipl", {}}}
                                                     << false << ""
                                                     << ""
                                                     << "1";
        }
    }
    QTest::newRow("empty against entries") << 1 << 2 << Items{} << base << false << ""
                                           << "0,1,2,3"
                                           << "";
    QTest::newRow("entries against empty") << 2 << 1 << base << Items{} << false << "0,1,2,3"
                                           << ""
                                           << "";
}

void TestDiff::differences()
{
    QFETCH(int, versionA);
    QFETCH(int, versionB);
    QFETCH(Items, a);
    QFETCH(Items, b);
    QFETCH(bool, cutLastA);
    QTemporaryDir dir;
    const QString pa = dir.filePath("a.img"), pb = dir.filePath("b.img");
    // In "a last sector cut short", A's c.col is placed last so the cut falls inside it.
    if (cutLastA)
        a = {{"a.dff", a[0].content}, {"b.txd", a[1].content}, {"empty.ipl", {}}, {"c.col", a[2].content}};
    QVERIFY(WriteArchive(pa, versionA, a, cutLastA));
    QVERIFY(WriteArchive(pb, versionB, b));
    const QByteArray beforeA = ReadFile(pa), beforeB = ReadFile(pb);

    IMGClass imgA, imgB;
    QVERIFY(imgA.OpenArchive(pa));
    QVERIFY(imgB.OpenArchive(pb));
    SignalLog log(imgA);
    ArchiveDifference difference;
    QVERIFY(imgA.CompareWith(imgB, difference));
    QCOMPARE(log.errors(), QStringList());
    // One step for every entry of the first archive, whichever way it was read.
    QCOMPARE(log.lines.count(QStringLiteral("progress")), int(a.size()));
    if (cutLastA) {
        // Positions moved with the reordering above: c.col is entry 3 of A.
        QCOMPARE(Show(difference.changed), QString());
    } else {
        QTEST(Show(difference.removed), "removed");
        QTEST(Show(difference.added), "added");
        QTEST(Show(difference.changed), "changed");
    }
    QCOMPARE(difference.Same(),
             difference.removed.empty() && difference.added.empty() && difference.changed.empty());
    // Comparing reads and never writes.
    QCOMPARE(ReadFile(pa), beforeA);
    QCOMPARE(ReadFile(pb), beforeB);
}

void TestDiff::unreadableArchiveIsAnError()
{
    QTemporaryDir dir;
    const QString pa = dir.filePath("a.img"), pb = dir.filePath("b.img");
    QVERIFY(WriteArchive(pa, 2, {{"a.dff", Pattern(1, 100)}}));
    QVERIFY(WriteArchive(pb, 2, {{"a.dff", Pattern(1, 100)}}));
    IMGClass imgA, imgB;
    QVERIFY(imgA.OpenArchive(pa));
    QVERIFY(imgB.OpenArchive(pb));
    // A data file that is gone by the time of the comparison.
    QVERIFY(QFile::remove(pb));
    SignalLog log(imgA);
    ArchiveDifference difference;
    QVERIFY(!imgA.CompareWith(imgB, difference));
    QCOMPARE(log.errors(), QStringList{QStringLiteral("打开 ") + pb + QStringLiteral(" 失败")});
}

QTEST_GUILESS_MAIN(TestDiff)
#include "tst_diff.moc"
