#include "ArchiveCheck.h"
#include "ArchiveFixtures.h"
#include "SignalLog.h"
#include "TestFolder.h"

#include "archive/io/ArchiveIO.h"
#include "archive/IMGClass.h"

#include <QDir>
#include <QStringListModel>
#include <QtTest>

using namespace Fixtures;

class TestDelete : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void deletesRows_data();
    void deletesRows();
    void deletingEverything_data();
    void deletingEverything();
    void emptyListRewritesAndSignals();
    void freedRecordsTakeNewNamesWithoutMoving();
    void deletedNameComesBackAtTheEnd();
    void roomStaysRealWhenTheLowestGoes();
    void directoryOverDataIsMovedFirst();
    void failedDirectoryWriteKeepsOldDirectory_data();
    void failedDirectoryWriteKeepsOldDirectory();
    void linkedDirectoryFileStaysALink();

private:
    QString path(const QString &name) const { return dir.filePath(name); }
    // Five entries; version 2 data starts at sector 1 and `tight` leaves no free slot.
    QString archive(int version, bool tight = false) const;

    TestFolder dir;
};

void TestDelete::init()
{
    QVERIFY(dir.Renew());
#ifdef OSTREVALE_FAULT_INJECTION
    FaultInjection::Reset();
#endif
}

void TestDelete::cleanup()
{
#ifdef OSTREVALE_FAULT_INJECTION
    FaultInjection::Reset();
#endif
}

QString TestDelete::archive(int version, bool tight) const
{
    const QString p = path("del.img");
    const quint32 base = version == 1 ? 0 : 1;
    std::vector<Record> records = {{base, 1, "zero.dff"},
                                   {base + 1, 2, "one.txd", 7},
                                   {base + 3, 0, "two.col"},
                                   {base + 3, 1, "three.dff"},
                                   {base + 4, 1, "four.ifp"}};
    for (quint32 i = 5; tight && i < 63; ++i)
        records.push_back({base + i, 1, "more" + QByteArray::number(i)});
    if (version == 1)
        WriteVer1(p, records);
    else
        WriteVer2(p, records);
    return p;
}

void TestDelete::deletesRows_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QList<int>>("doomed");
    QTest::addColumn<bool>("asModelIndexes");
    for (int version : {1, 2}) {
        const QString v = QStringLiteral("version %1, ").arg(version);
        QTest::newRow(qPrintable(v + "rows 4 and 1")) << version << QList<int>{4, 1} << false;
        QTest::newRow(qPrintable(v + "rows 1 and 4")) << version << QList<int>{1, 4} << false;
        QTest::newRow(qPrintable(v + "rows 1, 4 and one past the end"))
            << version << QList<int>{1, 4, 5} << false;
        // The window's form: model indexes whose rows are the positions; an invalid one names nothing.
        QTest::newRow(qPrintable(v + "window's indexes")) << version << QList<int>{4, -1, 1} << true;
    }
}

void TestDelete::deletesRows()
{
    QFETCH(int, version);
    QFETCH(QList<int>, doomed);
    QFETCH(bool, asModelIndexes);
    const QString p = archive(version);
    const Contents before = Snapshot(p, version);
    const QByteArray oldImg = ReadFile(p);
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    const int room = img.freeDirectorySlots;
    SignalLog log(img);
    if (asModelIndexes) {
        QStringListModel model(QStringList(QVector<QString>(5).toList()));
        QModelIndexList indexes;
        for (int row : doomed)
            indexes << (row < 0 ? QModelIndex() : model.index(row, 0));
        img.DeleteEntries(indexes);
    } else {
        img.DeleteEntries(std::vector<int>(doomed.begin(), doomed.end()));
    }

    QCOMPARE(log.lines, QStringList{"directory 3"});
    QCOMPARE(QFileInfo(p).size(), qint64(oldImg.size()));
    QCOMPARE(VerifyArchive(p, version, {before[0], before[2], before[3]}, &img), QString());
    if (version == 2) {
        QCOMPARE(img.freeDirectorySlots, room + 2);
        // The header is rewritten in place; the two old records behind it stay.
        const QByteArray now = ReadFile(p);
        const qint64 behind = VER2_HEADER_SIZE + 3 * DIRECTORY_RECORD_SIZE;
        QCOMPARE(now.mid(behind, 2 * DIRECTORY_RECORD_SIZE), oldImg.mid(behind, 2 * DIRECTORY_RECORD_SIZE));
        QCOMPARE(now.mid(SECTOR_SIZE), oldImg.mid(SECTOR_SIZE));
    } else {
        QCOMPARE(ReadFile(p), oldImg);
        QCOMPARE(QFileInfo(DirPathFor(p)).size(), 3 * DIRECTORY_RECORD_SIZE);
    }
}

void TestDelete::deletingEverything_data()
{
    AddVersionRows();
}

void TestDelete::deletingEverything()
{
    QFETCH(int, version);
    const QString p = archive(version);
    const QByteArray oldImg = ReadFile(p);
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    const int room = img.freeDirectorySlots;
    SignalLog log(img);
    img.DeleteEntries({0, 1, 2, 3, 4});
    QCOMPARE(log.lines, QStringList{"directory 0"});
    if (version == 1) {
        QCOMPARE(QFileInfo(DirPathFor(p)).size(), qint64(0));
        QCOMPARE(ReadFile(p), oldImg);
    } else {
        QCOMPARE(img.freeDirectorySlots, room + 5);
        QCOMPARE(ReadFile(p).left(8), QByteArray("VER2\0\0\0\0", 8));
        QCOMPARE(QFileInfo(p).size(), qint64(oldImg.size()));
    }
    QCOMPARE(VerifyArchive(p, version, {}, &img), QString());
}

void TestDelete::emptyListRewritesAndSignals()
{
    const QString p = archive(2);
    const QByteArray oldImg = ReadFile(p);
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    img.DeleteEntries(std::vector<int>());
    QCOMPARE(log.lines, QStringList{"directory 5"});
    QCOMPARE(ReadFile(p), oldImg);
}

void TestDelete::freedRecordsTakeNewNamesWithoutMoving()
{
    const QString p = archive(2, true);
    Contents expected = Snapshot(p, 2);
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    QCOMPARE(img.freeDirectorySlots, 0);
    img.DeleteEntries({2, 3, 4});
    QCOMPARE(img.freeDirectorySlots, 3);
    expected.erase(expected.begin() + 2, expected.begin() + 5);

    QVERIFY(QDir(dir.path()).mkdir("src"));
    QStringList files;
    for (int i = 0; i < 3; ++i) {
        files << path(QStringLiteral("src/n%1.dff").arg(i));
        QVERIFY(WriteFile(files.last(), Pattern(70 + i, 900)));
        expected.push_back(Imported(QStringLiteral("n%1.dff").arg(i).toUtf8(), Pattern(70 + i, 900)));
    }
    SignalLog log(img);
    img.ImportFiles(files);
    QCOMPARE(log.lines.count("directory 63"), 1); // no data moved: only the final signal
    QCOMPARE(img.freeDirectorySlots, 0);
    QCOMPARE(VerifyArchive(p, 2, expected, &img), QString());
}

void TestDelete::deletedNameComesBackAtTheEnd()
{
    const QString p = archive(1);
    Contents expected = Snapshot(p, 1);
    const qint64 end = QFileInfo(p).size();
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    img.DeleteEntries({1});
    QVERIFY(QDir(dir.path()).mkdir("src"));
    const QString file = path("src/one.txd");
    QVERIFY(WriteFile(file, Pattern(80, 10)));
    img.ImportFiles({file});
    expected.erase(expected.begin() + 1);
    expected.push_back(Imported("one.txd", Pattern(80, 10)));
    QCOMPARE(img.directory.back().entry.offset, quint32(end / SECTOR_SIZE));
    QCOMPARE(VerifyArchive(p, 1, expected, &img), QString());
}

void TestDelete::roomStaysRealWhenTheLowestGoes()
{
    const QString p = archive(2, true);
    Contents expected = Snapshot(p, 2);
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    img.DeleteEntries({0});
    expected.erase(expected.begin());
    // The lowest data now starts at sector 2: 128 − 1 − 62 records.
    QCOMPARE(img.freeDirectorySlots, 65);
    QCOMPARE(VerifyArchive(p, 2, expected, &img), QString());
}

void TestDelete::directoryOverDataIsMovedFirst()
{
    // An archive written by another tool: an entry at offset 0 whose data is the header sector.
    std::vector<Record> records = {{0, 1, "header.dat"}, {1, 1, "a.dff"}, {2, 1, "b.dff"}};
    QByteArray bytes = Ver2Header(records);
    PutData(bytes, 1, Pattern(1, 2048));
    PutData(bytes, 2, Pattern(2, 2048));
    const QString p = path("overlap.img");
    QVERIFY(WriteFile(p, bytes));
    Contents expected = Snapshot(p, 2);

    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    img.DeleteEntries({1});
    QCOMPARE(log.lines, QStringList{"directory 2"});
    expected.erase(expected.begin() + 1);
    QCOMPARE(VerifyArchive(p, 2, expected, &img), QString());
}

void TestDelete::failedDirectoryWriteKeepsOldDirectory_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("failingStep"); // FaultInjection::Step
    const int write = 1, rename = 3;
    QTest::newRow("version 1, records") << 1 << write;
    QTest::newRow("version 1, putting the new directory file in place") << 1 << rename;
    QTest::newRow("version 2, header and records") << 2 << write;
}

void TestDelete::failedDirectoryWriteKeepsOldDirectory()
{
#ifndef OSTREVALE_FAULT_INJECTION
    QSKIP("needs a build with OSTREVALE_FAULT_INJECTION");
#else
    QFETCH(int, version);
    QFETCH(int, failingStep);
    QCOMPARE(int(FaultInjection::Step::Write), 1);
    QCOMPARE(int(FaultInjection::Step::Rename), 3);
    const QString p = archive(version);
    const Contents before = Snapshot(p, version);
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    const int room = img.freeDirectorySlots;
    SignalLog log(img);
    FaultInjection::FailAt(FaultInjection::Step(failingStep), 1);
    img.DeleteEntries({0, 3});
    FaultInjection::Reset();

    const QString failed = version == 1 ? DirPathFor(p) : p;
    QCOMPARE(log.lines, QStringList({"error 写入 " + failed + " 失败", "directory 5"}));
    QCOMPARE(log.errorPieces, QStringList({"写入 ", failed, " 失败"}));
    if (version == 2)
        QCOMPARE(img.freeDirectorySlots, room);
    QCOMPARE(VerifyArchive(p, version, before, &img), QString());
    QVERIFY(!QFileInfo::exists(DirPathFor(p) + ".writing"));
    // The archive stays usable: the next delete goes through.
    Contents after = before;
    after.erase(after.begin());
    img.DeleteEntries({0});
    QCOMPARE(VerifyArchive(p, version, after, &img), QString());
#endif
}

// The new directory normally replaces the .dir by a rename; a .dir that is a
// link keeps being one, and the file it points at takes the new directory.
void TestDelete::linkedDirectoryFileStaysALink()
{
    const QString p = archive(1);
    const QString real = path("elsewhere.dir");
    QVERIFY(QFile::rename(DirPathFor(p), real));
    QVERIFY(QFile::link(real, DirPathFor(p)));
    Contents expected = Snapshot(p, 1);
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    img.DeleteEntries({1, 3});
    expected.erase(expected.begin() + 3);
    expected.erase(expected.begin() + 1);
    QVERIFY(QFileInfo(DirPathFor(p)).isSymLink());
    QCOMPARE(QFileInfo(real).size(), 3 * DIRECTORY_RECORD_SIZE);
    QCOMPARE(VerifyArchive(p, 1, expected, &img), QString());
}

QTEST_GUILESS_MAIN(TestDelete)
#include "tst_delete.moc"
