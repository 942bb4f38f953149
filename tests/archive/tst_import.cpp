#include "ArchiveCheck.h"
#include "ArchiveFixtures.h"
#include "FileSizeLimit.h"
#include "SignalLog.h"
#include "TestFolder.h"

#include "archive/io/ArchiveIO.h"
#include "archive/IMGClass.h"

#include <QDir>
#include <QtTest>

using namespace Fixtures;

class TestImport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void importsNewFiles_data();
    void importsNewFiles();
    void nameLookup_data();
    void nameLookup();
    void emptyListDoesNothing();
    void failedCheckStopsTheList_data();
    void failedCheckStopsTheList();
    void missingSourceLeavesArchiveUnchanged_data();
    void missingSourceLeavesArchiveUnchanged();
    void limitsAreInclusive();

    void version2RoomFollowsTheRules();
    void version2RoomOnOddShapes_data();
    void version2RoomOnOddShapes();
    void recordsSharingTheMovedDataFollowIt_data();
    void recordsSharingTheMovedDataFollowIt();

    void diskFullStopsTheImport_data();
    void diskFullStopsTheImport();
    void diskFullDuringMove();
    void failedStepKeepsArchiveConsistent_data();
    void failedStepKeepsArchiveConsistent();

private:
    QString path(const QString &name) const { return dir.filePath(name); }
    QString source(const QString &name, const QByteArray &content) const;
    // A version 1 or 2 fixture of three entries; for version 2 the data starts at sector 1.
    QString smallArchive(int version) const;
    // A version 2 archive with no free directory slot: 63 entries from sector 1,
    // the first (and lowest) of 8 sectors.
    QString fullVersion2Archive() const;

    TestFolder dir;
};

void TestImport::init()
{
    QVERIFY(dir.Renew());
    QVERIFY(QDir(dir.path()).mkdir("src"));
#ifdef OSTREVALE_FAULT_INJECTION
    FaultInjection::Reset();
#endif
}

void TestImport::cleanup()
{
#ifdef OSTREVALE_FAULT_INJECTION
    FaultInjection::Reset();
#endif
}

QString TestImport::source(const QString &name, const QByteArray &content) const
{
    const QString p = path("src/" + name);
    WriteFile(p, content);
    return p;
}

QString TestImport::smallArchive(int version) const
{
    const QString p = path("small.img");
    const quint32 base = version == 1 ? 0 : 1;
    const std::vector<Record> records = {
        {base, 2, "a.dff"}, {base + 2, 1, "B.TXD", 0x1234}, {base + 3, 0, "empty.col"}};
    if (version == 1)
        WriteVer1(p, records);
    else
        WriteVer2(p, records);
    return p;
}

QString TestImport::fullVersion2Archive() const
{
    std::vector<Record> records = {{1, 8, "lowest.dff"}};
    for (quint32 i = 1; i < 63; ++i)
        records.push_back({8 + i, 1, "e" + QByteArray::number(i) + ".txd"});
    const QString p = path("full.img");
    WriteVer2(p, records);
    return p;
}

void TestImport::importsNewFiles_data()
{
    AddVersionRows();
}

void TestImport::importsNewFiles()
{
    QFETCH(int, version);
    const QString p = smallArchive(version);
    const qint64 imgSize = QFileInfo(p).size();
    const quint32 base = quint32(imgSize / SECTOR_SIZE);
    Contents expected = Snapshot(p, version);
    const QByteArray one = Pattern(11, 5000), three = Pattern(13, 2048);
    const QStringList files = {source("one.bin", one), source("zero.bin", ""), source("three.bin", three)};

    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    img.ImportFiles(files);

    QCOMPARE(log.lines, QStringList({"importing " + files[0], "progress", "importing " + files[1], "progress",
                                     "importing " + files[2], "progress", "directory 6"}));
    QCOMPARE(log.lastDirectory.size(), size_t(6));
    const std::vector<Record> records = ReadRecords(p, version);
    // Each file starts at the first sector boundary behind the data; an empty file
    // takes that boundary too and does not grow the file; the last sector is not padded.
    QCOMPARE(records[3].offset, base);
    QCOMPARE(records[3].size, quint16(3));
    QCOMPARE(records[4].offset, base + 3);
    QCOMPARE(records[4].size, quint16(0));
    QCOMPARE(records[5].offset, base + 3);
    QCOMPARE(records[5].size, quint16(1));
    QCOMPARE(records[1].reserved, quint16(0x1234));
    for (int i = 3; i < 6; ++i)
        QCOMPARE(records[size_t(i)].reserved, quint16(0));
    QCOMPARE(QFileInfo(p).size(), qint64(base + 4) * SECTOR_SIZE);
    // No stray bytes after a new name's terminating zero.
    const QByteArray raw = version == 1 ? ReadFile(DirPathFor(p)) : ReadFile(p).mid(VER2_HEADER_SIZE);
    const int tail = int(DIRECTORY_RECORD_SIZE) - 8 - 7; // behind the 7 characters of the name field at 8
    QCOMPARE(raw.mid(3 * DIRECTORY_RECORD_SIZE + 8 + 7, tail), QByteArray(tail, '\0'));

    expected.push_back(Imported("one.bin", one));
    expected.push_back(Imported("zero.bin", ""));
    expected.push_back(Imported("three.bin", three));
    QCOMPARE(VerifyArchive(p, version, expected, &img), QString());
    if (version == 2)
        QCOMPARE(img.freeDirectorySlots, 64 - 1 - 6);
}

void TestImport::nameLookup_data()
{
    QTest::addColumn<QStringList>("imports");
    QTest::addColumn<QStringList>("names");
    const QStringList fixture = {"a.dff", "B.TXD", "1993B9A.DFF"};
    QTest::newRow("other ASCII case replaces in place")
        << QStringList{"b.txd"} << QStringList{"a.dff", "b.txd", "1993B9A.DFF"};
    QTest::newRow("same name twice in one list")
        << QStringList{"new.dff", "NEW.DFF"} << (fixture + QStringList{"NEW.DFF"});
    // 1993B9A.DFF and 2260840.DFF have the same hash: neither may overwrite the other.
    QTest::newRow("equal hashes, different names")
        << QStringList{"2260840.DFF"} << (fixture + QStringList{"2260840.DFF"});
    QTest::newRow("equal hashes, then the stored name")
        << QStringList{"2260840.DFF", "1993b9a.dff"}
        << QStringList{"a.dff", "B.TXD", "1993b9a.dff", "2260840.DFF"};
    QTest::newRow("only ASCII letters ignore case")
        << QStringList{"树木.bin", "树木.BIN"} << (fixture + QStringList{"树木.BIN"});
}

void TestImport::nameLookup()
{
    QFETCH(QStringList, imports);
    QFETCH(QStringList, names);
    QCOMPARE(NameHash("1993B9A.DFF"), NameHash("2260840.DFF"));
    const QString p = path("names.img");
    QVERIFY(WriteVer2(p, {{1, 1, "a.dff"}, {2, 2, "B.TXD"}, {4, 1, "1993B9A.DFF"}}));
    const Contents before = Snapshot(p, 2);
    const QByteArray oldImg = ReadFile(p);

    QStringList files;
    std::vector<QByteArray> contents;
    for (int i = 0; i < imports.size(); ++i) {
        contents.push_back(Pattern(100 + i, 3000 + i));
        files << source(imports[i], contents.back());
    }

    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    const int room = img.freeDirectorySlots;
    img.ImportFiles(files);

    Contents expected;
    for (const QString &name : names) {
        const QByteArray utf8 = name.toUtf8();
        Expected e;
        int last = -1;
        for (int i = 0; i < imports.size(); ++i)
            if (imports[i].compare(name, Qt::CaseInsensitive) == 0)
                last = i;
        if (last >= 0) {
            e = Imported(utf8, contents[size_t(last)]);
        } else {
            for (const Expected &b : before)
                if (b.name == utf8)
                    e = b;
        }
        expected.push_back(e);
    }
    QCOMPARE(VerifyArchive(p, 2, expected, &img), QString());
    // Replaced data stays where it was, unreferenced; the room only shrinks by the appended names.
    QCOMPARE(ReadFile(p).mid(SECTOR_SIZE, 4 * SECTOR_SIZE), oldImg.mid(SECTOR_SIZE, 4 * SECTOR_SIZE));
    QCOMPARE(img.freeDirectorySlots, room - (names.size() - 3));
}

void TestImport::emptyListDoesNothing()
{
    const QString p = smallArchive(1);
    const QByteArray oldImg = ReadFile(p), oldDir = ReadFile(DirPathFor(p));
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    img.ImportFiles({});
    QVERIFY(log.lines.isEmpty());
    QCOMPARE(ReadFile(p), oldImg);
    QCOMPARE(ReadFile(DirPathFor(p)), oldDir);
}

void TestImport::failedCheckStopsTheList_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("kind");
    for (int version : {1, 2}) {
        for (const char *kind : {"missing", "folder", "too big", "name too long"})
            QTest::newRow(qPrintable(QStringLiteral("version %1, %2").arg(version).arg(kind)))
                << version << kind;
    }
}

void TestImport::failedCheckStopsTheList()
{
    QFETCH(int, version);
    QFETCH(QString, kind);
    const QString p = smallArchive(version);
    Contents expected = Snapshot(p, version);
    const QByteArray first = Pattern(21, 100), second = Pattern(22, 4097);
    QString bad;
    QString error;
    if (kind == "missing") {
        bad = path("src/missing.dff");
        error = "打开 " + bad + " 失败";
    } else if (kind == "folder") {
        bad = path("src/folder.dff");
        QVERIFY(QDir().mkdir(bad));
        error = "打开 " + bad + " 失败";
    } else if (kind == "too big") {
        bad = source("big.dff", "");
        QFile f(bad);
        QVERIFY(f.open(QIODevice::ReadWrite) && f.resize(MAX_ENTRY_BYTES + 1));
        error = "文件 " + bad + " 太大";
    } else {
        // Eight Chinese characters: 24 bytes of UTF-8.
        bad = source("一二三四五六七八", "x");
        error = "文件名 一二三四五六七八 太长";
    }
    const QStringList files = {source("first.dff", first), source("second.dff", second), bad,
                               source("later.dff", "never")};

    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    img.ImportFiles(files);
    QCOMPARE(log.lines, QStringList({"importing " + files[0], "progress", "importing " + files[1], "progress",
                                     "error " + error, "directory 5"}));
    expected.push_back(Imported("first.dff", first));
    expected.push_back(Imported("second.dff", second));
    QCOMPARE(VerifyArchive(p, version, expected, &img), QString());
}

void TestImport::missingSourceLeavesArchiveUnchanged_data()
{
    AddVersionRows();
}

void TestImport::missingSourceLeavesArchiveUnchanged()
{
    QFETCH(int, version);
    const QString p = smallArchive(version);
    const QByteArray oldImg = ReadFile(p), oldDir = ReadFile(DirPathFor(p));
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    const QString missing = path("src/gone.txd");
    img.ImportFiles({missing});
    QCOMPARE(log.lines, QStringList({"error 打开 " + missing + " 失败", "directory 3"}));
    QCOMPARE(ReadFile(p), oldImg);
    if (version == 1)
        QCOMPARE(ReadFile(DirPathFor(p)), oldDir);
    else
        QVERIFY(!QFileInfo::exists(DirPathFor(p)));
}

void TestImport::limitsAreInclusive()
{
    const QString p = path("limits.img");
    IMGClass img;
    QVERIFY(img.CreateArchive(p, 2));
    const QString big = source("biggest.dff", "");
    {
        QFile f(big);
        QVERIFY(f.open(QIODevice::ReadWrite) && f.write("head") == 4 && f.resize(MAX_ENTRY_BYTES));
    }
    const QString longest = source("一二三四五六七.d", "23 bytes of UTF-8");
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    img.ImportFiles({big, longest});
    QVERIFY(log.errors().isEmpty());
    QCOMPARE(img.directory[0].entry.size, quint16(65535));
    QByteArray bigContent("head");
    bigContent.append(QByteArray(int(MAX_ENTRY_BYTES - 4), '\0'));
    QCOMPARE(VerifyArchive(
                 p, 2,
                 {Imported("biggest.dff", bigContent), Imported("一二三四五六七.d", "23 bytes of UTF-8")},
                 &img),
             QString());
}

void TestImport::version2RoomFollowsTheRules()
{
    const QString p = path("fresh.img");
    IMGClass img;
    QVERIFY(img.CreateArchive(p, 2));
    QVERIFY(img.OpenArchive(p));
    QCOMPARE(img.freeDirectorySlots, 63);

    // 63 new names fill the header sector without moving anything.
    Contents expected;
    QStringList files;
    for (int i = 0; i < 63; ++i) {
        const QByteArray content = Pattern(i, i == 0 ? 5000 : 100);
        const QString name = QStringLiteral("f%1.dff").arg(i, 2, 10, QLatin1Char('0'));
        files << source(name, content);
        expected.push_back(Imported(name.toUtf8(), content));
    }
    SignalLog log(img);
    img.ImportFiles(files);
    QCOMPARE(log.lines.count("directory 63"), 1);
    QCOMPARE(img.freeDirectorySlots, 0);
    QCOMPARE(VerifyArchive(p, 2, expected, &img), QString());

    // Replacing a name never moves data, whatever the room.
    log.clear();
    const QString replacement = source("F05.DFF", Pattern(99, 300));
    img.ImportFiles({replacement});
    QCOMPARE(log.lines, QStringList({"importing " + replacement, "progress", "directory 63"}));
    QCOMPARE(img.freeDirectorySlots, 0);
    expected[5] = Imported("F05.DFF", Pattern(99, 300));

    // The 64th name moves the lowest entry (3 sectors) behind its own data.
    log.clear();
    const QString sixtyFourth = source("f63.dff", Pattern(63, 100));
    img.ImportFiles({sixtyFourth});
    QCOMPARE(log.lines,
             QStringList({"importing " + sixtyFourth, "progress", "directory 64", "directory 64"}));
    QCOMPARE(img.freeDirectorySlots, 64 * 3 - 1);
    QCOMPARE(img.directory[0].entry.offset, img.directory[63].entry.offset + 1);
    expected.push_back(Imported("f63.dff", Pattern(63, 100)));
    QCOMPARE(VerifyArchive(p, 2, expected, &img), QString());
}

void TestImport::version2RoomOnOddShapes_data()
{
    QTest::addColumn<QVector<quint32>>("offsets");
    QTest::addColumn<QVector<int>>("sizes");
    QTest::addColumn<qint64>("truncateTo");
    QTest::addColumn<int>("newFiles");
    // Each shape has 63 entries (no room left, or less) unless said otherwise; the
    // naive rule (64 slots per moved sector) would put the directory over entry data.
    QVector<quint32> offsets;
    QVector<int> sizes;
    const auto fill = [&](quint32 from) {
        while (offsets.size() < 63) {
            offsets << from++;
            sizes << 1;
        }
    };
    offsets = {1, 1};
    sizes = {0, 2};
    fill(3);
    QTest::newRow("lowest entry of size 0 shares its offset") << offsets << sizes << qint64(-1) << 1;
    offsets = {1, 1};
    sizes = {1, 1};
    fill(2);
    QTest::newRow("two entries share the lowest data") << offsets << sizes << qint64(-1) << 1;
    offsets = {0, 1};
    sizes = {1, 1};
    fill(2);
    QTest::newRow("entry at offset 0, inside the header") << offsets << sizes << qint64(-1) << 1;
    offsets = {1};
    sizes = {1};
    fill(10);
    QTest::newRow("gap behind the lowest entry") << offsets << sizes << qint64(-1) << 3;
    offsets = {5000};
    sizes = {1};
    QTest::newRow("entries lie past the end of the file") << offsets << sizes << VER2_HEADER_SIZE + DIRECTORY_RECORD_SIZE << 70;
}

void TestImport::version2RoomOnOddShapes()
{
    QFETCH(QVector<quint32>, offsets);
    QFETCH(QVector<int>, sizes);
    QFETCH(qint64, truncateTo);
    QFETCH(int, newFiles);
    std::vector<Record> records;
    for (int i = 0; i < offsets.size(); ++i)
        records.push_back({offsets[i], quint16(sizes[i]), "odd" + QByteArray::number(i) + ".dff"});
    // Entry data is written by hand: an entry at offset 0 has the header as its data.
    QByteArray bytes = Ver2Header(records);
    for (size_t i = 0; i < records.size(); ++i)
        if (records[i].offset > 0)
            PutData(bytes, records[i].offset, Pattern(int(i), qint64(records[i].size) * SECTOR_SIZE));
    if (truncateTo >= 0)
        bytes.truncate(int(truncateTo));
    const QString p = path("odd.img");
    QVERIFY(WriteFile(p, bytes));
    Contents expected = Snapshot(p, 2);

    QStringList files;
    for (int i = 0; i < newFiles; ++i) {
        const QByteArray content = Pattern(200 + i, 700 + i);
        const QString name = QStringLiteral("new%1.txd").arg(i);
        files << source(name, content);
        expected.push_back(Imported(name.toUtf8(), content));
    }
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    img.ImportFiles(files);
    QVERIFY(log.errors().isEmpty());
    QVERIFY(img.freeDirectorySlots >= 0);
    QCOMPARE(VerifyArchive(p, 2, expected, &img), QString());

    // Replacing every entry after that keeps the directory clear of data too.
    QStringList again;
    for (int i = 0; i < newFiles; ++i) {
        again << source(QStringLiteral("NEW%1.TXD").arg(i), Pattern(300 + i, 10));
        expected[expected.size() - size_t(newFiles) + size_t(i)] =
            Imported(QStringLiteral("NEW%1.TXD").arg(i).toUtf8(), Pattern(300 + i, 10));
    }
    img.ImportFiles(again);
    QCOMPARE(VerifyArchive(p, 2, expected, &img), QString());
}

void TestImport::recordsSharingTheMovedDataFollowIt_data()
{
    QTest::addColumn<quint16>("firstSize");  // of the first entry on the lowest sector
    QTest::addColumn<quint16>("secondSize"); // of the second entry on the same sector
    QTest::addColumn<int>("moves");
    // The larger copy holds the smaller entry's bytes too: one copy serves both.
    QTest::newRow("the first is larger") << quint16(2) << quint16(1) << 1;
    QTest::newRow("both the same size") << quint16(2) << quint16(2) << 1;
    QTest::newRow("size 0 after data") << quint16(2) << quint16(0) << 1;
    // A smaller copy does not hold the larger entry: it is copied by itself.
    QTest::newRow("the first is smaller") << quint16(1) << quint16(2) << 2;
}

// Records that begin where the moved entry begins and are no longer follow its
// copy: shared data is copied once, not once per record.
void TestImport::recordsSharingTheMovedDataFollowIt()
{
    QFETCH(quint16, firstSize);
    QFETCH(quint16, secondSize);
    QFETCH(int, moves);
    std::vector<Record> records = {{1, firstSize, "first.dff"}, {1, secondSize, "second.dff"}};
    for (quint32 i = 2; i < 63; ++i)
        records.push_back({1 + i, 1, "e" + QByteArray::number(i) + ".txd"});
    const QString p = path("shared.img");
    QVERIFY(WriteVer2(p, records));
    Contents expected = Snapshot(p, 2);
    const qint64 end = QFileInfo(p).size();
    const QString file = source("new.dff", Pattern(40, 100));

    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    QCOMPARE(img.freeDirectorySlots, 0);
    SignalLog log(img);
    img.ImportFiles({file});

    QStringList lines = {"importing " + file, "progress"};
    for (int i = 0; i < moves; ++i)
        lines << "directory 64";
    lines << "directory 64";
    QCOMPARE(log.lines, lines);
    expected.push_back(Imported("new.dff", Pattern(40, 100)));
    QCOMPARE(VerifyArchive(p, 2, expected, &img), QString());
    const quint32 copied = moves == 1 ? firstSize : firstSize + secondSize;
    QCOMPARE(QFileInfo(p).size(), SectorToBytes(BytesToSectors(end) + 1 + copied));
    if (moves == 1)
        QCOMPARE(img.directory[1].entry.offset, img.directory[0].entry.offset);
}

void TestImport::diskFullStopsTheImport_data()
{
    AddVersionRows();
}

void TestImport::diskFullStopsTheImport()
{
    QFETCH(int, version);
    const QString p = smallArchive(version);
    const quint32 base = quint32(QFileInfo(p).size() / SECTOR_SIZE);
    Contents expected = Snapshot(p, version);
    const QByteArray fits = Pattern(31, 3000), tooBig = Pattern(32, 20000);
    const QStringList files = {source("fits.dff", fits), source("toobig.dff", tooBig),
                               source("later.dff", "x")};

    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    {
        FileSizeLimit limit(qint64(base + 2) * SECTOR_SIZE + 10000);
        QVERIFY(limit.active);
        img.ImportFiles(files);
    }
    QCOMPARE(log.lines, QStringList({"importing " + files[0], "progress", "importing " + files[1], "progress",
                                     "error 写入 " + p + " 失败", "directory 4"}));
    // The half-written data is cut off again; the entry is not added.
    QCOMPARE(QFileInfo(p).size(), qint64(base) * SECTOR_SIZE + 3000);
    expected.push_back(Imported("fits.dff", fits));
    QCOMPARE(VerifyArchive(p, version, expected, &img), QString());
}

void TestImport::diskFullDuringMove()
{
    const QString p = fullVersion2Archive();
    const qint64 end = QFileInfo(p).size();
    const Contents expected = Snapshot(p, 2);
    const QString file = source("new.dff", Pattern(40, 100));

    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    QCOMPARE(img.freeDirectorySlots, 0);
    SignalLog log(img);
    {
        // Room for the new file, not for the copy of the 8-sector lowest entry.
        FileSizeLimit limit(end + SECTOR_SIZE + 4096);
        QVERIFY(limit.active);
        img.ImportFiles({file});
    }
    QCOMPARE(log.lines,
             QStringList({"importing " + file, "progress", "error 写入 " + p + " 失败", "directory 63"}));
    QCOMPARE(VerifyArchive(p, 2, expected, &img), QString());
    QCOMPARE(img.freeDirectorySlots, 0);
}

void TestImport::failedStepKeepsArchiveConsistent_data()
{
    QTest::addColumn<QString>("archive");
    QTest::addColumn<int>("failingWrite");
    QTest::addColumn<int>("imported");
    QTest::addColumn<bool>("errorNamesDir");
    // Writes in order: each file's data, then (version 2, no room) the moved
    // entry's copy and its record in place, then the directory.
    QTest::newRow("version 1, second file's data") << "small1" << 2 << 1 << false;
    QTest::newRow("version 1, the directory") << "small1" << 3 << 0 << true;
    QTest::newRow("version 2, second file's data") << "small2" << 2 << 1 << false;
    QTest::newRow("version 2, the directory") << "small2" << 3 << 0 << false;
    QTest::newRow("version 2, copy of the moved entry") << "full" << 2 << 0 << false;
    QTest::newRow("version 2, record of the moved entry") << "full" << 3 << 0 << false;
}

void TestImport::failedStepKeepsArchiveConsistent()
{
#ifndef OSTREVALE_FAULT_INJECTION
    QSKIP("needs a build with OSTREVALE_FAULT_INJECTION");
#else
    QFETCH(QString, archive);
    QFETCH(int, failingWrite);
    QFETCH(int, imported);
    QFETCH(bool, errorNamesDir);
    const int version = archive == "small1" ? 1 : 2;
    const QString p = archive == "full" ? fullVersion2Archive() : smallArchive(version);
    Contents expected = Snapshot(p, version);
    const size_t count = expected.size();
    const QByteArray first = Pattern(51, 2500), second = Pattern(52, 300);
    const QStringList files = archive == "full"
                                  ? QStringList{source("first.dff", first)}
                                  : QStringList{source("first.dff", first), source("second.dff", second)};

    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    FaultInjection::FailAt(FaultInjection::Step::Write, failingWrite);
    img.ImportFiles(files);
    FaultInjection::Reset();

    const QString failedPath = errorNamesDir ? DirPathFor(p) : p;
    QCOMPARE(log.errors(), QStringList{"写入 " + failedPath + " 失败"});
    QCOMPARE(log.lines.last(), QStringLiteral("directory %1").arg(count + size_t(imported)));
    if (imported > 0)
        expected.push_back(Imported("first.dff", first));
    QCOMPARE(VerifyArchive(p, version, expected, &img), QString());
#endif
}

QTEST_GUILESS_MAIN(TestImport)
#include "tst_import.moc"
