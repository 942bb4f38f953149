#include "ArchiveFixtures.h"

#include "archive/ArchiveChecker.h"
#include "archive/IMGClass.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Fixtures;
using Records = std::vector<Record>;
Q_DECLARE_METATYPE(Records)

namespace {

QString Describe(const ArchiveProblem &p)
{
    static const char *const kinds[] = {"past-end", "overlap",      "dir-into-data", "duplicate",
                                        "empty",    "unterminated", "utf8",          "unreadable"};
    QString s = QStringLiteral("%1 %2").arg(QLatin1String(kinds[int(p.kind)])).arg(p.entry);
    if (p.other >= 0)
        s += QStringLiteral(" %1").arg(p.other);
    return s;
}

QStringList Describe(const std::vector<ArchiveProblem> &problems)
{
    QStringList out;
    for (const ArchiveProblem &p : problems)
        out << Describe(p);
    return out;
}

// Writes an archive that may be broken, as the records say: entries placed
// absurdly far away get no data, their records only, and a version 2 header
// lies over any data placed under it.
bool WriteBrokenArchive(const QString &path, int version, const Records &records)
{
    Records placeable = records;
    for (Record &r : placeable) {
        if (r.offset > 4096)
            r = {0, 0, r.name};
    }
    if (version == 1)
        return WriteVer1(path, placeable) && WriteFile(DirPathFor(path), DirectoryBytes(records));
    if (!WriteVer2HeaderOverData(path, placeable))
        return false;
    QByteArray img = ReadFile(path);
    img.replace(0, Ver2Header(records).size(), Ver2Header(records));
    return WriteFile(path, img);
}

} // namespace

class TestArchiveChecker : public QObject
{
    Q_OBJECT

private slots:
    void problems_data();
    void problems();
    void readsEveryEntryOnce();
    void dataThatShrinksWhileReadIsUnreadable();
    void space_data();
    void space();

private:
    QString path(const QString &name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

void TestArchiveChecker::problems_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<Records>("records");
    QTest::addColumn<qint64>("dataFileBytes"); // -1: as the fixture writes it
    QTest::addColumn<QStringList>("expected");

    const Records clean = {
        {1, 2, "gang01.DFF"}, {3, 1, "Generic.txd"}, {4, 0, "empty.col"}, {4, 3, "树木.dff"}};
    for (int v : {1, 2}) {
        const QByteArray tag = "v" + QByteArray::number(v) + ": ";
        QTest::newRow(tag + "clean") << v << clean << qint64(-1) << QStringList();
        // Import leaves the data file ending inside the last entry's last sector.
        QTest::newRow(tag + "last entry ends inside its last sector")
            << v << clean << qint64(6 * SECTOR_SIZE + 1) << QStringList();
        QTest::newRow(tag + "last sector not begun")
            << v << clean << qint64(6 * SECTOR_SIZE) << QStringList{"past-end 3"};
        QTest::newRow(tag + "size-0 entry far past the end")
            << v << Records{{1, 1, "a"}, {0xFFFFFFFFu, 0, "b"}} << qint64(-1) << QStringList{"past-end 1"};
        QTest::newRow(tag + "last possible sector") << v << Records{{1, 1, "a"}, {0xFFFFFFFFu, 65535, "b"}}
                                                    << qint64(2 * SECTOR_SIZE) << QStringList{"past-end 1"};
        QTest::newRow(tag + "overlap")
            << v << Records{{1, 3, "a"}, {3, 2, "b"}} << qint64(-1) << QStringList{"overlap 1 0"};
        QTest::newRow(tag + "overlap listed in directory order")
            << v << Records{{3, 2, "b"}, {1, 3, "a"}} << qint64(-1) << QStringList{"overlap 0 1"};
        QTest::newRow(tag + "two entries inside a third")
            << v << Records{{1, 10, "big"}, {3, 1, "x"}, {6, 2, "y"}, {11, 1, "after"}} << qint64(-1)
            << QStringList{"overlap 1 0", "overlap 2 0"};
        QTest::newRow(tag + "same data twice")
            << v << Records{{2, 2, "a"}, {2, 2, "b"}} << qint64(-1) << QStringList{"overlap 1 0"};
        QTest::newRow(tag + "size-0 entries share offsets")
            << v << Records{{2, 0, "a"}, {2, 0, "b"}, {2, 1, "c"}} << qint64(-1) << QStringList();
        QTest::newRow(tag + "duplicate names, ASCII case ignored")
            << v << Records{{1, 1, "Tree.TXD"}, {2, 1, "other"}, {3, 1, "tree.txd"}, {4, 1, "TREE.txd"}}
            << qint64(-1) << QStringList{"duplicate 2 0", "duplicate 3 0"};
        QTest::newRow(tag + "only ASCII letters fold")
            << v << Records{{1, 1, "\xc3\xa9"}, {2, 1, "\xc3\x89"}} << qint64(-1) << QStringList();
        QTest::newRow(tag + "unterminated name") << v << Records{{1, 1, "abcdefghijklmnopqrstuvwx"}}
                                                 << qint64(-1) << QStringList{"unterminated 0"};
        QTest::newRow(tag + "invalid UTF-8") << v << Records{{1, 1, "a\xff"}, {2, 1, "\xe6\xa0"}}
                                             << qint64(-1) << QStringList{"utf8 0", "utf8 1"};
        QTest::newRow(tag + "empty name") << v << Records{{1, 1, ""}} << qint64(-1) << QStringList{"empty 0"};
    }
    QTest::newRow("v2: entry under the directory")
        << 2 << Records{{0, 1, "inside"}, {1, 1, "fine"}} << qint64(-1) << QStringList{"dir-into-data 0"};
    // 64 records end at byte 2056, one sector is not enough.
    Records crowded;
    for (int i = 0; i < 64; ++i)
        crowded.push_back({1, 0, QByteArray::number(i)});
    crowded.push_back({1, 1, "data"});
    QTest::newRow("v2: directory grown past the first data")
        << 2 << crowded << qint64(-1) << QStringList{"dir-into-data 64"};
    QTest::newRow("v1: data may begin at sector 0")
        << 1 << Records{{0, 1, "first"}, {1, 1, "second"}} << qint64(-1) << QStringList();
}

void TestArchiveChecker::problems()
{
    QFETCH(int, version);
    QFETCH(Records, records);
    QFETCH(qint64, dataFileBytes);
    QFETCH(QStringList, expected);

    const QString p = path(QStringLiteral("check%1.img").arg(version));
    QVERIFY(WriteBrokenArchive(p, version, records));
    if (dataFileBytes >= 0)
        QVERIFY(QFile::resize(p, dataFileBytes));
    const QByteArray before = ReadFile(p);

    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    ArchiveChecker checker(img);
    QCOMPARE(Describe(checker.Check()), expected);
    img.CloseArchive();
    QCOMPARE(ReadFile(p), before);
}

void TestArchiveChecker::readsEveryEntryOnce()
{
    const QString p = path("names.img");
    QVERIFY(WriteVer2(p, {{1, 1, "a.dff"}, {2, 0, "b.txd"}, {2, 1, "c.col"}}));
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    QStringList seen;
    ArchiveChecker checker(img);
    checker.onEntry = [&](int entry, const QString &name) {
        seen << QStringLiteral("%1 %2").arg(entry).arg(name);
    };
    QVERIFY(checker.Check().empty());
    QCOMPARE(seen, (QStringList{"0 a.dff", "1 b.txd", "2 c.col"}));
}

void TestArchiveChecker::dataThatShrinksWhileReadIsUnreadable()
{
    const QString p = path("shrinking.img");
    QVERIFY(WriteVer1(p, {{0, 1, "a"}, {1, 600, "big"}}));
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    ArchiveChecker checker(img);
    checker.onEntry = [&](int entry, const QString &) {
        if (entry == 1)
            QFile::resize(p, 3 * SECTOR_SIZE);
    };
    QCOMPARE(Describe(checker.Check()), QStringList{"unreadable 1"});
}

void TestArchiveChecker::space_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<Records>("records");
    QTest::addColumn<qint64>("dataFileBytes");
    QTest::addColumn<qint64>("directoryBytes");
    QTest::addColumn<qint64>("referenced");
    QTest::addColumn<qint64>("unreferenced");

    const qint64 S = SECTOR_SIZE;
    QTest::newRow("v1 without gaps") << 1 << Records{{0, 2, "a"}, {2, 1, "b"}} << 3 * S << 64LL << 3 * S
                                     << 0LL;
    QTest::newRow("v1 with gaps") << 1 << Records{{1, 2, "a"}, {5, 1, "b"}} << 6 * S << 64LL << 3 * S
                                  << 3 * S;
    QTest::newRow("v1 overlapping entries counted once")
        << 1 << Records{{0, 3, "a"}, {1, 1, "b"}, {2, 2, "c"}} << 4 * S << 96LL << 4 * S << 0LL;
    QTest::newRow("v1 last entry cut short by the file end")
        << 1 << Records{{0, 1, "a"}, {1, 2, "b"}} << 2 * S + 100 << 64LL << 2 * S + 100 << 0LL;
    QTest::newRow("v1 entry past the end adds nothing")
        << 1 << Records{{0, 1, "a"}, {90, 2, "b"}} << S << 64LL << S << 0LL;
    // The header sector holds 8 + 64 bytes of directory; the rest of it is unused.
    QTest::newRow("v2 with a gap") << 2 << Records{{1, 1, "a"}, {3, 2, "b"}} << 5 * S << 72LL << 3 * S
                                   << (S - 72) + S;
}

void TestArchiveChecker::space()
{
    QFETCH(int, version);
    QFETCH(Records, records);
    QFETCH(qint64, dataFileBytes);
    QFETCH(qint64, directoryBytes);
    QFETCH(qint64, referenced);
    QFETCH(qint64, unreferenced);

    const QString p = path("space.img");
    QVERIFY(version == 1 ? WriteVer1(p, records) : WriteVer2(p, records));
    QVERIFY(QFile::resize(p, dataFileBytes));
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    const ArchiveSpace space = ArchiveChecker(img).MeasureSpace();
    QCOMPARE(space.dataFileBytes, dataFileBytes);
    QCOMPARE(space.directoryBytes, directoryBytes);
    QCOMPARE(space.referencedBytes, referenced);
    QCOMPARE(space.unreferencedBytes, unreferenced);
}

QTEST_GUILESS_MAIN(TestArchiveChecker)
#include "tst_archivechecker.moc"
