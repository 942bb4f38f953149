// Copying entries from another archive: the same result as importing files of
// the entries' bytes, the source never changed, names checked before anything changes.

#include "ArchiveCheck.h"
#include "ArchiveFixtures.h"
#include "ContentFixtures.h"
#include "SignalLog.h"
#include "TestFolder.h"

#include "archive/ArchiveChecker.h"
#include "archive/IMGClass.h"

#include <QDir>
#include <QtTest>

#include <numeric>

using namespace Fixtures;

class TestImportFrom : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void sameAsImportingTheFiles_data();
    void sameAsImportingTheFiles();
    void hostileNamesChangeNothing_data();
    void hostileNamesChangeNothing();
    void sourceCutShortGivesZeros();
    void archiveIsNotItsOwnSource();
    void readOnlyTargetTakesNothing();

private:
    QString path(const QString &name) const { return dir.filePath(name); }
    TestFolder dir;
};

namespace {

std::vector<int> All(const IMGClass &img)
{
    std::vector<int> rows(img.directory.size());
    std::iota(rows.begin(), rows.end(), 0);
    return rows;
}

std::vector<Item> Target(bool full)
{
    std::vector<Item> items = {
        {"a.dff", Pattern(1, 3000)}, {"B.TXD", Pattern(2, 2048)}, {"c.col", Pattern(3, 10)}};
    // Version 2 whose directory fills its sector: the third new name moves data.
    for (int i = 0; full && items.size() < 63; ++i)
        items.push_back({"f" + QByteArray::number(i), Pattern(10 + i, 100)});
    return items;
}

} // namespace

void TestImportFrom::init()
{
    QVERIFY(dir.Renew());
}

void TestImportFrom::sameAsImportingTheFiles_data()
{
    QTest::addColumn<int>("versionA");
    QTest::addColumn<int>("versionB");
    QTest::addColumn<bool>("full");
    for (int va : {1, 2})
        for (int vb : {1, 2})
            QTest::newRow(qPrintable(QStringLiteral("%1 from %2").arg(va).arg(vb))) << va << vb << false;
    QTest::newRow("2 without room from 1") << 2 << 1 << true;
    QTest::newRow("2 without room from 2") << 2 << 2 << true;
}

void TestImportFrom::sameAsImportingTheFiles()
{
    QFETCH(int, versionA);
    QFETCH(int, versionB);
    QFETCH(bool, full);
    // Replacing names in other case, new names, namesakes within the source, an empty entry.
    const std::vector<Item> sourceItems = {{"A.DFF", Pattern(20, 4096)}, {"new.ifp", Pattern(21, 2048)},
                                           {"b.txd", Pattern(22, 6144)}, {"new.IFP", Pattern(23, 2048)},
                                           {"empty.ipl", QByteArray()},  {"x.dat", Pattern(24, 2048), 0, 3}};
    const QString a = path("a.img"), twin = path("twin.img"), b = path("b.img");
    QVERIFY(WriteArchive(a, versionA, Target(full)));
    QVERIFY(WriteArchive(twin, versionA, Target(full)));
    std::vector<Record> sourceRecords;
    QVERIFY(WriteArchive(b, versionB, sourceItems, false, &sourceRecords));
    const QByteArray sourceBytes = ReadFile(b), sourceDir = ReadFile(DirPathFor(b));

    // The twin imports files holding the entries' sectors.
    QVERIFY(QDir(dir.path()).mkdir("files"));
    QStringList files;
    const QByteArray img = ReadFile(b);
    for (const Record &r : sourceRecords) {
        files << path("files/" + QString::number(files.size())) + "/" + QString::fromUtf8(r.name);
        QVERIFY(QDir().mkpath(QFileInfo(files.last()).path()));
        QVERIFY(WriteFile(files.last(), EntryData(img, r)));
    }
    IMGClass twinImg;
    QVERIFY(twinImg.OpenArchive(twin));
    twinImg.ImportFiles(files);

    IMGClass target, source;
    QVERIFY(target.OpenArchive(a));
    QVERIFY(source.OpenArchive(b));
    SignalLog log(target);
    target.ImportEntriesFrom(source, All(source));
    QCOMPARE(log.errors(), QStringList());
    QCOMPARE(log.lines.count(QStringLiteral("progress")), int(sourceRecords.size()));
    QVERIFY(log.lines.contains(QStringLiteral("importing new.IFP")));

    QCOMPARE(ReadFile(a), ReadFile(twin));
    QCOMPARE(ReadFile(DirPathFor(a)), ReadFile(DirPathFor(twin)));
    QCOMPARE(VerifyArchive(a, versionA, Snapshot(twin, versionA), &target), QString());
    QVERIFY(ArchiveChecker(target).Check().empty());
    QCOMPARE(ReadFile(b), sourceBytes);
    QCOMPARE(ReadFile(DirPathFor(b)), sourceDir);
}

void TestImportFrom::hostileNamesChangeNothing_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("error");
    QTest::newRow("all 24 bytes, no zero")
        << QByteArray("abcdefghijklmnopqrstuvwx") << "文件名 abcdefghijklmnopqrstuvwx 太长";
    QTest::newRow("empty") << QByteArray() << "文件名  不合法";
    QTest::newRow("not UTF-8") << QByteArray("bad\xff.dff")
                               << QString("文件名 ") + QString::fromUtf8("bad\xff.dff") + " 不合法";
    // Paths are no names, as for a rename: nothing lands outside the archive.
    QTest::newRow("slash") << QByteArray("../../escape.dff") << "文件名 ../../escape.dff 不合法";
    QTest::newRow("backslash") << QByteArray("C:\\x.txd") << "文件名 C:\\x.txd 不合法";
    QTest::newRow("dot-dot") << QByteArray("..") << "文件名 .. 不合法";
}

void TestImportFrom::hostileNamesChangeNothing()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, error);
    const QString a = path("a.img"), b = path("b.img");
    QVERIFY(WriteArchive(a, 1, Target(false)));
    // The hostile entry comes after a good one: nothing at all is copied.
    QVERIFY(WriteArchive(b, 2, {{"good.dff", Pattern(1, 100)}, {name, Pattern(2, 100)}}));
    const QByteArray before = ReadFile(a), beforeDir = ReadFile(DirPathFor(a));
    IMGClass target, source;
    QVERIFY(target.OpenArchive(a));
    QVERIFY(source.OpenArchive(b));
    SignalLog log(target);
    target.ImportEntriesFrom(source, All(source));
    QCOMPARE(log.errors(), QStringList{error});
    QCOMPARE(ReadFile(a), before);
    QCOMPARE(ReadFile(DirPathFor(a)), beforeDir);
}

void TestImportFrom::sourceCutShortGivesZeros()
{
    const QString a = path("a.img"), b = path("b.img");
    QVERIFY(WriteArchive(a, 1, Target(false)));
    QVERIFY(WriteArchive(b, 1, {{"cut.dff", Pattern(1, 2100)}}, true));
    QCOMPARE(QFileInfo(b).size(), qint64(2100));
    IMGClass target, source;
    QVERIFY(target.OpenArchive(a));
    QVERIFY(source.OpenArchive(b));
    target.ImportEntriesFrom(source, All(source));
    Contents expected = Snapshot(a, 1);
    QCOMPARE(int(expected.size()), 4);
    QCOMPARE(expected[3].content, Pattern(1, 2100) + QByteArray(4096 - 2100, '\0'));
    // Every sector of the new entry is inside the data file.
    QVERIFY(ArchiveChecker(target).Check().empty());
}

void TestImportFrom::archiveIsNotItsOwnSource()
{
    const QString a = path("a.img");
    QVERIFY(WriteArchive(a, 2, Target(false)));
    const QByteArray before = ReadFile(a);
    IMGClass target, sameFile;
    QVERIFY(target.OpenArchive(a));
    QVERIFY(sameFile.OpenArchive(dir.path() + "/./a.img", IMGClass::OpenReadOnly));
    SignalLog log(target);
    target.ImportEntriesFrom(target, All(target));
    target.ImportEntriesFrom(sameFile, All(sameFile));
    QCOMPARE(log.errors(), QStringList({QStringLiteral("源IMG文件 ") + a + QStringLiteral(" 与目标相同"),
                                        QStringLiteral("源IMG文件 ") + dir.path() + "/./a.img" +
                                            QStringLiteral(" 与目标相同")}));
    QCOMPARE(ReadFile(a), before);
}

void TestImportFrom::readOnlyTargetTakesNothing()
{
    const QString a = path("a.img"), b = path("b.img");
    QVERIFY(WriteArchive(a, 1, Target(false)));
    QVERIFY(WriteArchive(b, 2, {{"new.dff", Pattern(1, 100)}}));
    const QByteArray before = ReadFile(a), beforeDir = ReadFile(DirPathFor(a));
    IMGClass target, source;
    QVERIFY(target.OpenArchive(a, IMGClass::OpenReadOnly));
    QVERIFY(source.OpenArchive(b, IMGClass::OpenReadOnly));
    SignalLog log(target);
    target.ImportEntriesFrom(source, All(source));
    QCOMPARE(log.errors(),
             QStringList{QStringLiteral("IMG文件 ") + a + QStringLiteral(" 以只读方式打开，不能修改")});
    QCOMPARE(ReadFile(a), before);
    QCOMPARE(ReadFile(DirPathFor(a)), beforeDir);
}

QTEST_GUILESS_MAIN(TestImportFrom)
#include "tst_importfrom.moc"
