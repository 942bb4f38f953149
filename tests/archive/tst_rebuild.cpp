#include "ArchiveCheck.h"
#include "ArchiveFixtures.h"
#include "FileSizeLimit.h"
#include "SignalLog.h"
#include "TestFolder.h"

#include "archive/IMGClass.h"
#include "archive/io/ArchiveIO.h"

#include <QDir>
#include <QtTest>

using namespace Fixtures;

class TestRebuild : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void rebuildsVersion1();
    void rebuildsVersion2_data();
    void rebuildsVersion2();
    void shortLastEntryStaysShort();
    void adjacentEntries_data();
    void adjacentEntries();
    void emptyArchives_data();
    void emptyArchives();
    void leftoverTemporariesAreOverwritten_data();
    void leftoverTemporariesAreOverwritten();
    void temporaryCannotBeCreated_data();
    void temporaryCannotBeCreated();
    void diskFullLeavesArchiveUnchanged_data();
    void diskFullLeavesArchiveUnchanged();
    void failedStepLeavesWholeArchive_data();
    void failedStepLeavesWholeArchive();
    void interruptedSwapOnOpen_data();
    void interruptedSwapOnOpen();

private:
    QString path(const QString &name) const { return dir.filePath(name); }
    // Entries out of data order, with gaps, a size-0 entry, two entries sharing
    // their data and an entry whose data runs past the end of the file.
    QString mixedArchive(int version) const;
    static QByteArray archiveBytes(const QString &imgPath);

    TestFolder dir;
};

void TestRebuild::init()
{
    QVERIFY(dir.Renew());
#ifdef OSTREVALE_FAULT_INJECTION
    FaultInjection::Reset();
#endif
}

void TestRebuild::cleanup()
{
#ifdef OSTREVALE_FAULT_INJECTION
    FaultInjection::Reset();
#endif
}

QString TestRebuild::mixedArchive(int version) const
{
    const QString p = path("mixed.img");
    const std::vector<Record> records = {{30, 3, "late.dff"},   {5, 0, "empty.col", 9}, {5, 2, "early.txd"},
                                         {12, 1, "shared.ifp"}, {12, 1, "SHARED2.ifp"}, {20, 1, "gap.dff"},
                                         {40, 2, "pastend.dff"}};
    QByteArray img = version == 1 ? QByteArray() : Ver2Header(records);
    PutData(img, 30, Pattern(0, 3 * 2048));
    PutData(img, 5, Pattern(2, 2 * 2048));
    PutData(img, 12, Pattern(3, 2048));
    PutData(img, 20, Pattern(5, 2048));
    PutData(img, 40, Pattern(6, 1000)); // the file ends 1,000 bytes into this entry
    WriteFile(p, img);
    if (version == 1)
        WriteFile(DirPathFor(p), DirectoryBytes(records));
    return p;
}

QByteArray TestRebuild::archiveBytes(const QString &imgPath)
{
    // Both files of a version 1 pair, or the one file of version 2, as one value.
    return ReadFile(imgPath) + "|" + ReadFile(DirPathFor(imgPath));
}

void TestRebuild::rebuildsVersion1()
{
    const QString p = path("pair.img");
    QVERIFY(WriteVer1(p, {{40, 3, "A.dff"}, {7, 2, "B.txd"}}));
    const Contents before = Snapshot(p, 1);
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    img.Rebuild();

    QCOMPARE(log.lines, QStringList({"rebuilding A.dff", "progress", "rebuilding B.txd", "progress"}));
    QCOMPARE(img.version, 1);
    QVERIFY(!img.imgFile.isOpen());
    QVERIFY(!img.dirFile.isOpen());
    QCOMPARE(img.directory[0].entry.offset, 1u);
    QCOMPARE(img.directory[1].entry.offset, 4u);
    QCOMPARE(img.ImgFileName(), p);
    const QByteArray data = ReadFile(p);
    QCOMPARE(qint64(data.size()), 6 * SECTOR_SIZE);
    QCOMPARE(data.left(SECTOR_SIZE), QByteArray(int(SECTOR_SIZE), '\0'));
    QVERIFY(!QFileInfo::exists(p + ".rebuilding"));
    QVERIFY(!QFileInfo::exists(DirPathFor(p) + ".rebuilding"));
    QCOMPARE(VerifyArchive(p, 1, before), QString());
}

void TestRebuild::rebuildsVersion2_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<quint32>("firstSector");
    QTest::addColumn<int>("room");
    QTest::newRow("10 entries") << 10 << 3u << 181;
    QTest::newRow("64 entries") << 64 << 4u << 64 * 4 - 1 - 64;
    QTest::newRow("mixed shapes") << 7 << 3u << 191 - 7;
}

void TestRebuild::rebuildsVersion2()
{
    QFETCH(int, count);
    QFETCH(quint32, firstSector);
    QFETCH(int, room);
    QString p;
    if (QByteArray(QTest::currentDataTag()) == "mixed shapes") {
        p = mixedArchive(2);
    } else {
        // Data in the reverse of directory order, with a gap of one sector after each entry.
        std::vector<Record> records;
        for (int i = 0; i < count; ++i)
            records.push_back(
                {quint32(4 + 3 * (count - i)), quint16(1 + i % 2), "e" + QByteArray::number(i)});
        p = path("v2.img");
        QVERIFY(WriteVer2(p, records));
    }
    const Contents before = Snapshot(p, 2);
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    img.Rebuild();
    QVERIFY(log.errors().isEmpty());
    QCOMPARE(log.lines.size(), 2 * count);
    QVERIFY(!log.lines.join(',').contains("directory"));

    // Directory order, no gaps: each entry starts where the one before it ended.
    const std::vector<Record> records = ReadRecords(p, 2);
    QCOMPARE(records[0].offset, firstSector);
    for (size_t i = 1; i < records.size(); ++i)
        QCOMPARE(records[i].offset, records[i - 1].offset + records[i - 1].size);
    for (size_t i = 0; i < records.size(); ++i) {
        QCOMPARE(img.directory[i].entry.offset, records[i].offset);
        QCOMPARE(records[i].reserved, before.size() == 7 && i == 1 ? quint16(9) : quint16(0));
    }
    QCOMPARE(VerifyArchive(p, 2, before), QString());
    IMGClass reopened;
    QVERIFY(reopened.OpenArchive(p, IMGClass::OpenReadOnly));
    QCOMPARE(reopened.freeDirectorySlots, room);
}

void TestRebuild::shortLastEntryStaysShort()
{
    const QString p = mixedArchive(1);
    const Contents before = Snapshot(p, 1);
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    img.Rebuild();
    // pastend.dff is last in directory order: the new file ends 1,000 bytes into its first sector.
    const std::vector<Record> records = ReadRecords(p, 1);
    QCOMPARE(records.back().offset, 1u + 3 + 0 + 2 + 1 + 1 + 1);
    QCOMPARE(QFileInfo(p).size(), qint64(records.back().offset) * SECTOR_SIZE + 1000);
    // Entries that shared their data get a copy each; a size-0 entry takes the next one's offset.
    QCOMPARE(records[1].offset, records[2].offset);
    QVERIFY(records[3].offset != records[4].offset);
    QCOMPARE(VerifyArchive(p, 1, before), QString());
}

void TestRebuild::adjacentEntries_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QList<int>>("sizes"); // sectors, data one behind the other in directory order
    QTest::addColumn<int>("cut");          // bytes missing from the end of the data file
    // Neighbouring entries are copied together; the result must not show it.
    for (int version : {1, 2}) {
        const QByteArray v = " (version " + QByteArray::number(version) + ")";
        QTest::newRow("one run with an empty entry" + v) << version << QList<int>{3, 2, 0, 4, 1} << 0;
        QTest::newRow("a run longer than one copy" + v) << version << QList<int>{2000, 3000, 1500, 2} << 0;
        QTest::newRow("a run the file's end cuts short" + v)
            << version << QList<int>{2, 3, 5} << 5 * 2048 - 1000;
    }
}

void TestRebuild::adjacentEntries()
{
    QFETCH(int, version);
    QFETCH(QList<int>, sizes);
    QFETCH(int, cut);
    const QString p = path("adjacent.img");
    std::vector<Record> records;
    quint32 sector = version == 1 ? 0 : 1;
    for (int i = 0; i < sizes.size(); ++i) {
        records.push_back({sector, quint16(sizes[i]), "entry" + QByteArray::number(i)});
        sector += quint32(sizes[i]);
    }
    QVERIFY(version == 1 ? WriteVer1(p, records) : WriteVer2(p, records));
    if (cut > 0)
        QVERIFY(WriteFile(p, ReadFile(p).chopped(cut)));
    const Contents before = Snapshot(p, version);

    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    img.Rebuild();

    const std::vector<Record> after = ReadRecords(p, version);
    QCOMPARE(int(after.size()), sizes.size());
    quint32 expected = version == 1 ? 1 : 3;
    for (size_t i = 0; i < after.size(); ++i) {
        QCOMPARE(after[i].offset, expected);
        expected += quint32(sizes[int(i)]);
    }
    const qint64 end = qint64(expected) * SECTOR_SIZE - cut;
    QCOMPARE(QFileInfo(p).size(), end);
    QCOMPARE(VerifyArchive(p, version, before), QString());
}

void TestRebuild::emptyArchives_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QByteArray>("imgBytes");
    QTest::newRow("version 1") << 1 << QByteArray();
    QTest::newRow("version 2") << 2 << QByteArray("VER2\0\0\0\0", 8);
}

void TestRebuild::emptyArchives()
{
    QFETCH(int, version);
    QFETCH(QByteArray, imgBytes);
    const QString p = path("empty.img");
    IMGClass img;
    QVERIFY(img.CreateArchive(p, version));
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    img.Rebuild();
    QVERIFY(log.lines.isEmpty());
    QCOMPARE(ReadFile(p), imgBytes);
    if (version == 1)
        QCOMPARE(QFileInfo(DirPathFor(p)).size(), qint64(0));
    QCOMPARE(VerifyArchive(p, version, {}), QString());
}

void TestRebuild::leftoverTemporariesAreOverwritten_data()
{
    AddVersionRows();
}

void TestRebuild::leftoverTemporariesAreOverwritten()
{
    QFETCH(int, version);
    const QString p = mixedArchive(version);
    const Contents before = Snapshot(p, version);
    QVERIFY(WriteFile(p + ".rebuilding", QByteArray(70000, 'j')));
    if (version == 1)
        QVERIFY(WriteFile(DirPathFor(p) + ".rebuilding", QByteArray(3200, 'j')));
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    img.Rebuild();
    QVERIFY(log.errors().isEmpty());
    QVERIFY(!QFileInfo::exists(p + ".rebuilding"));
    QVERIFY(!QFileInfo::exists(DirPathFor(p) + ".rebuilding"));
    QCOMPARE(VerifyArchive(p, version, before), QString());
}

void TestRebuild::temporaryCannotBeCreated_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("blocked"); // suffix of the path taken by a folder
    QTest::newRow("version 1, data temporary") << 1 << "mixed.img.rebuilding";
    QTest::newRow("version 1, directory temporary") << 1 << "mixed.dir.rebuilding";
    QTest::newRow("version 2, data temporary") << 2 << "mixed.img.rebuilding";
}

void TestRebuild::temporaryCannotBeCreated()
{
    QFETCH(int, version);
    QFETCH(QString, blocked);
    const QString p = mixedArchive(version);
    const Contents before = Snapshot(p, version);
    const QByteArray old = archiveBytes(p);
    // Running as root ignores permissions: a folder at the temporary's path cannot be opened as a file.
    QVERIFY(QDir(dir.path()).mkdir(blocked));
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    img.Rebuild();

    QCOMPARE(log.lines, QStringList{"error 创建临时文件失败"});
    QCOMPARE(log.errorPieces, QStringList{"创建临时文件失败"});
    QCOMPARE(img.version, version);
    QVERIFY(img.imgFile.isOpen());
    QCOMPARE(img.directory[0].entry.offset, 30u);
    QCOMPARE(archiveBytes(p), old);
    QStringList left =
        version == 1 ? QStringList{"mixed.dir", "mixed.img", blocked} : QStringList{"mixed.img", blocked};
    left.sort();
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name), left);
    img.CloseArchive();
    QCOMPARE(VerifyArchive(p, version, before), QString());
}

void TestRebuild::diskFullLeavesArchiveUnchanged_data()
{
    AddVersionRows();
}

void TestRebuild::diskFullLeavesArchiveUnchanged()
{
    QFETCH(int, version);
    const QString p = mixedArchive(version);
    const Contents before = Snapshot(p, version);
    const QByteArray old = archiveBytes(p);
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    {
        FileSizeLimit limit(5 * SECTOR_SIZE);
        QVERIFY(limit.active);
        img.Rebuild();
    }
    QCOMPARE(log.errors(), QStringList{"写入 " + p + ".rebuilding 失败"});
    QVERIFY(img.imgFile.isOpen());
    QCOMPARE(img.directory[0].entry.offset, 30u);
    QCOMPARE(archiveBytes(p), old);
    QVERIFY(!QFileInfo::exists(p + ".rebuilding"));
    QVERIFY(!QFileInfo::exists(DirPathFor(p) + ".rebuilding"));
    img.CloseArchive();
    QCOMPARE(VerifyArchive(p, version, before), QString());
}

void TestRebuild::failedStepLeavesWholeArchive_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("kind"); // FaultInjection::Step
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("failedPath"); // suffix after the archive's folder
    QTest::addColumn<bool>("becomesNew");
    // Writes: six entries with data, then the directory; renames: data file, then directory file.
    const int write = 1, rename = 3;
    QTest::newRow("version 1, copying an entry") << 1 << write << 3 << "mixed.img.rebuilding" << false;
    QTest::newRow("version 1, writing the directory") << 1 << write << 7 << "mixed.dir.rebuilding" << false;
    QTest::newRow("version 1, first rename") << 1 << rename << 1 << "mixed.img" << false;
    QTest::newRow("version 1, second rename") << 1 << rename << 2 << "mixed.dir" << true;
    QTest::newRow("version 2, copying an entry") << 2 << write << 3 << "mixed.img.rebuilding" << false;
    QTest::newRow("version 2, writing the directory") << 2 << write << 7 << "mixed.img.rebuilding" << false;
    QTest::newRow("version 2, the rename") << 2 << rename << 1 << "mixed.img" << false;
}

void TestRebuild::failedStepLeavesWholeArchive()
{
#ifndef OSTREVALE_FAULT_INJECTION
    QSKIP("needs a build with OSTREVALE_FAULT_INJECTION");
#else
    QFETCH(int, version);
    QFETCH(int, kind);
    QFETCH(int, n);
    QFETCH(QString, failedPath);
    QFETCH(bool, becomesNew);
    QCOMPARE(int(FaultInjection::Step::Write), 1);
    QCOMPARE(int(FaultInjection::Step::Rename), 3);
    const QString p = mixedArchive(version);
    const Contents before = Snapshot(p, version);
    const QByteArray old = archiveBytes(p);
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    FaultInjection::FailAt(FaultInjection::Step(kind), n);
    img.Rebuild();
    FaultInjection::Reset();

    QCOMPARE(log.errors(), QStringList{"写入 " + path(failedPath) + " 失败"});
    QCOMPARE(log.errorPieces, QStringList({"写入 ", path(failedPath), " 失败"}));
    QCOMPARE(img.version, version);
    if (becomesNew) {
        // The new data file is in place; its directory waits beside it and the next
        // opening puts it in place too.
        QCOMPARE(img.directory[0].entry.offset, 1u);
        QVERIFY(QFileInfo::exists(DirPathFor(p) + ".rebuilding"));
        QVERIFY(!QFileInfo::exists(p + ".rebuilding"));
        img.CloseArchive();
        QVERIFY(img.OpenArchive(p));
        QCOMPARE(img.directory[0].entry.offset, 1u);
        QCOMPARE(ReadRecords(p, 1).front().offset, 1u);
        QVERIFY(!QFileInfo::exists(DirPathFor(p) + ".rebuilding"));
    } else {
        QCOMPARE(img.directory[0].entry.offset, 30u);
        QCOMPARE(archiveBytes(p), old);
        QVERIFY(!QFileInfo::exists(p + ".rebuilding"));
        QVERIFY(!QFileInfo::exists(DirPathFor(p) + ".rebuilding"));
        // Before the swap the archive stays open; once swapping began its files are closed.
        QCOMPARE(img.imgFile.isOpen(), kind != int(FaultInjection::Step::Rename));
    }
    img.CloseArchive();
    QCOMPARE(VerifyArchive(p, version, before), QString());
#endif
}

void TestRebuild::interruptedSwapOnOpen_data()
{
    QTest::addColumn<bool>("imgTemporary");
    QTest::addColumn<bool>("dirTemporaryIsFolder");
    QTest::addColumn<bool>("finished");
    // Only a lone directory temporary means the data file was already swapped.
    QTest::newRow("lone directory temporary") << false << false << true;
    QTest::newRow("both temporaries: stopped before swapping") << true << false << false;
    QTest::newRow("a folder of that name") << false << true << false;
}

void TestRebuild::interruptedSwapOnOpen()
{
    QFETCH(bool, imgTemporary);
    QFETCH(bool, dirTemporaryIsFolder);
    QFETCH(bool, finished);
    const QString p = path("pair.img");
    QVERIFY(WriteVer1(p, {{0, 1, "a.dff"}, {1, 1, "b.dff"}}));
    const QByteArray newDir = DirectoryBytes({{1, 1, "b.dff"}, {0, 1, "a.dff"}});
    const QString dirTemp = DirPathFor(p) + ".rebuilding";
    if (dirTemporaryIsFolder)
        QVERIFY(QDir().mkdir(dirTemp));
    else
        QVERIFY(WriteFile(dirTemp, newDir));
    if (imgTemporary)
        QVERIFY(WriteFile(p + ".rebuilding", "partial"));

    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    QCOMPARE(EntryName(img.directory[0].entry), finished ? QStringLiteral("b.dff") : QStringLiteral("a.dff"));
    QCOMPARE(QFileInfo::exists(dirTemp), !finished);
}

QTEST_GUILESS_MAIN(TestRebuild)
#include "tst_rebuild.moc"
