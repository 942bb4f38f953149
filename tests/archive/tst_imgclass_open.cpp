#include "ArchiveFixtures.h"
#include "SignalLog.h"
#include "TestFolder.h"

#include "archive/IMGClass.h"

#include <QDir>
#include <QtTest>

using namespace Fixtures;

class TestIMGClassOpen : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void openExistingNeverCreates_data();
    void openExistingNeverCreates();
    void lastErrorTellsTheLastOperation();

    void opensVersion1();
    void opensVersion2();
    void version2Room_data();
    void version2Room();
    void emptyVersion2GrowsToOneSector_data();
    void emptyVersion2GrowsToOneSector();
    void version1WithoutDirGetsEmptyDir();
    void reservedBytesSurviveARewrite();
    void versionDetection_data();
    void versionDetection();

    void openErrors_data();
    void openErrors();
    void foreignArchiveIsRefused_data();
    void foreignArchiveIsRefused();
    void hostileVersion2CountIsRefused_data();
    void hostileVersion2CountIsRefused();

    void closeKeepsFileName();

    void createVersion2();
    void createVersion1();
    void createVersion2OverVersion1KeepsOldDir();
    void createErrors_data();
    void createErrors();
    void createLeavesOpenArchiveAlone();

    void version1WriterCutsTheFile();
    void version2WriterKeepsLengthAndStaleRecords();

private:
    QString path(const QString &name) const { return dir.filePath(name); }
    static void verifyClosed(const IMGClass &img);

    TestFolder dir;
};

void TestIMGClassOpen::init()
{
    QVERIFY(dir.Renew());
}

void TestIMGClassOpen::verifyClosed(const IMGClass &img)
{
    QCOMPARE(img.version, 0);
    QVERIFY(img.directory.empty());
    QVERIFY(!img.imgFile.isOpen());
    QVERIFY(!img.dirFile.isOpen());
}

void TestIMGClassOpen::opensVersion1()
{
    const QString p = path("gta3.img");
    QVERIFY(WriteVer1(p, {{0, 2, "gang01.DFF"}, {2, 1, "Generic.txd"}, {3, 0, "empty.col"}}));
    IMGClass img;
    SignalLog log(img);
    QVERIFY(img.OpenArchive(p));
    QCOMPARE(log.lines, QStringList{"directory 3"});
    QCOMPARE(img.version, 1);
    QVERIFY(img.imgFile.isOpen());
    QVERIFY(img.dirFile.isOpen());
    QCOMPARE(img.directory.size(), size_t(3));
    QCOMPARE(EntryName(img.directory[1].entry), QStringLiteral("Generic.txd"));
    QCOMPARE(img.directory[1].entry.offset, 2u);
    QCOMPARE(img.directory[1].nameHash, NameHash("GENERIC.TXD"));
    QVERIFY(img.directory.capacity() >= 6);
    QCOMPARE(img.FindEntry("GANG01.dff"), 0);
    QCOMPARE(img.FindEntry("missing"), -1);
}

void TestIMGClassOpen::opensVersion2()
{
    const QString p = path("v2.img");
    QVERIFY(WriteVer2(p, {{1, 1, "a.dff"}, {2, 3, "b.txd"}}));
    IMGClass img;
    SignalLog log(img);
    QVERIFY(img.OpenArchive(p));
    QCOMPARE(log.lines, QStringList{"directory 2"});
    QCOMPARE(img.version, 2);
    QVERIFY(img.imgFile.isOpen());
    QVERIFY(!img.dirFile.isOpen());
    QCOMPARE(img.directory[1].entry.size, quint16(3));
    QCOMPARE(img.freeDirectorySlots, 64 - 1 - 2);
}

void TestIMGClassOpen::version2Room_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<quint32>("lowest");
    QTest::addColumn<int>("freeSlots");
    QTest::newRow("1000 entries from sector 16") << 1000 << 16u << 23;
    QTest::newRow("stock shape, 3 slots left") << 16316 << 255u << 3;
    // Entries inside the header sector: the archive opens, and the room is honest (negative).
    QTest::newRow("entry at offset 0") << 3 << 0u << -3;
}

void TestIMGClassOpen::version2Room()
{
    QFETCH(int, count);
    QFETCH(quint32, lowest);
    QFETCH(int, freeSlots);
    std::vector<Record> records;
    for (int i = 0; i < count; ++i)
        records.push_back({lowest + quint32(i), quint16(i == 0 ? 1 : 0), QByteArray::number(i) + ".dff"});
    QByteArray img = Ver2Header(records);
    PutData(img, lowest + quint32(count), QByteArray(10, 'x'));
    const QString p = path("room.img");
    QVERIFY(WriteFile(p, img));
    IMGClass img2;
    QVERIFY(img2.OpenArchive(p));
    QCOMPARE(int(img2.directory.size()), count);
    QCOMPARE(img2.freeDirectorySlots, freeSlots);
    QCOMPARE(QFileInfo(p).size(), qint64(img.size()));
}

void TestIMGClassOpen::emptyVersion2GrowsToOneSector_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("fresh 8 bytes") << QByteArray("VER2\0\0\0\0", 8);
    QTest::newRow("longer file, count 0") << QByteArray("VER2\0\0\0\0", 8) + QByteArray(5000, 'z');
}

void TestIMGClassOpen::emptyVersion2GrowsToOneSector()
{
    QFETCH(QByteArray, bytes);
    const QString p = path("empty.img");
    QVERIFY(WriteFile(p, bytes));
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    QCOMPARE(img.version, 2);
    QCOMPARE(img.freeDirectorySlots, 63);
    QCOMPARE(QFileInfo(p).size(), SECTOR_SIZE);
    QCOMPARE(ReadFile(p).left(8), QByteArray("VER2\0\0\0\0", 8));
}

void TestIMGClassOpen::version1WithoutDirGetsEmptyDir()
{
    const QString p = path("lonely.img");
    QVERIFY(WriteFile(p, QByteArray(4096, 'd')));
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    QCOMPARE(img.version, 1);
    QVERIFY(img.directory.empty());
    QVERIFY(QFileInfo(path("lonely.dir")).isFile());
    QCOMPARE(QFileInfo(path("lonely.dir")).size(), qint64(0));
    QCOMPARE(QFileInfo(p).size(), qint64(4096));
}

void TestIMGClassOpen::reservedBytesSurviveARewrite()
{
    const QString p = path("reserved.img");
    QVERIFY(WriteVer2(p, {{1, 1, "a", 0xBEEF}, {2, 1, "b", 1}}));
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    QCOMPARE(img.directory[0].entry.reserved, quint16(0xBEEF));
    QVERIFY(img.WriteVER2Directory(img.imgFile));
    img.CloseArchive();
    const auto records = ReadRecords(p, 2);
    QCOMPARE(records[0].reserved, quint16(0xBEEF));
    QCOMPARE(records[1].reserved, quint16(1));
}

void TestIMGClassOpen::versionDetection_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("version");
    QTest::newRow("VER2") << QByteArray("VER2\0\0\0\0", 8) << 2;
    QTest::newRow("lower-case ver2") << QByteArray("ver2\0\0\0\0", 8) << 1;
    QTest::newRow("empty") << QByteArray() << 1;
    QTest::newRow("three bytes") << QByteArray("VER") << 1;
}

void TestIMGClassOpen::versionDetection()
{
    QFETCH(QByteArray, head);
    QFETCH(int, version);
    const QString p = path("detect.bin"); // the extension plays no part
    QVERIFY(WriteFile(p, head));
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    QCOMPARE(img.version, version);
}

void TestIMGClassOpen::openErrors_data()
{
    QTest::addColumn<QString>("imgName");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("message");
    QTest::newRow("folder does not exist") << "nowhere/x.img"
                                           << ""
                                           << "打开 %1/nowhere/x.img 失败";
    QTest::newRow("img is a folder") << "folder.img"
                                     << "img-folder"
                                     << "打开 %1/folder.img 失败";
    QTest::newRow("dir is a folder") << "pair.img"
                                     << "dir-folder"
                                     << "打开 %1/pair.dir 失败";
    QTest::newRow("dir of 100 bytes") << "pair.img"
                                      << "dir-100"
                                      << "IMG目录 %1/pair.dir 大小不合法";
    QTest::newRow("dir of 33 bytes") << "pair.img"
                                     << "dir-33"
                                     << "IMG目录 %1/pair.dir 大小不合法";
}

void TestIMGClassOpen::openErrors()
{
    QFETCH(QString, imgName);
    QFETCH(QString, setup);
    QFETCH(QString, message);
    const QString p = path(imgName);
    if (setup == "img-folder")
        QVERIFY(QDir(dir.path()).mkdir(imgName));
    if (setup.startsWith("dir-")) {
        QVERIFY(WriteFile(p, QByteArray(2048, 'd')));
        if (setup == "dir-folder")
            QVERIFY(QDir(dir.path()).mkdir("pair.dir"));
        else
            QVERIFY(WriteFile(path("pair.dir"), QByteArray(setup.mid(4).toInt(), 'r')));
    }
    IMGClass img;
    SignalLog log(img);
    QVERIFY(!img.OpenArchive(p));
    QCOMPARE(log.lines, QStringList{"error " + message.arg(dir.path())});
    QCOMPARE(log.errorPieces.size(), 3);
    verifyClosed(img);
    QCOMPARE(img.ImgFileName(), p);
}

void TestIMGClassOpen::foreignArchiveIsRefused_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<bool>("withDir");
    QTest::addColumn<int>("version"); // 0: refused
    QTest::newRow("VER3") << QByteArray("VER3") + QByteArray(2044, '\0') << false << 0;
    QTest::newRow("VERF") << QByteArray("VERF") + QByteArray(100, '\1') << false << 0;
    QTest::newRow("version 3 header") << QByteArray("\x52\x2A\x4E\xA9\x03\0\0\0", 8) << false << 0;
    // Beside a .dir the file is a version 1 data file whose first entry happens to start so.
    QTest::newRow("VER3 with a .dir") << QByteArray("VER3") + QByteArray(2044, '\0') << true << 1;
    QTest::newRow("VER alone") << QByteArray("VER") << false << 1;
}

void TestIMGClassOpen::foreignArchiveIsRefused()
{
    QFETCH(QByteArray, head);
    QFETCH(bool, withDir);
    QFETCH(int, version);
    const QString p = path("foreign.img");
    QVERIFY(WriteFile(p, head));
    if (withDir)
        QVERIFY(WriteFile(path("foreign.dir"), DirectoryBytes({{0, 1, "a.dff"}})));
    IMGClass img;
    SignalLog log(img);
    QCOMPARE(img.OpenArchive(p), version != 0);
    QCOMPARE(img.version, version);
    if (version == 0) {
        QCOMPARE(log.lines, QStringList{"error IMG文件 " + p + " 格式不受支持"});
        verifyClosed(img);
        QVERIFY(!QFileInfo::exists(path("foreign.dir")));
    }
    QCOMPARE(ReadFile(p), head);
}

void TestIMGClassOpen::hostileVersion2CountIsRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("count 0xFFFFFFFF in 8 bytes") << QByteArray("VER2\xFF\xFF\xFF\xFF", 8);
    QTest::newRow("count 3, two records") << Ver2Header({{1, 0, "a"}, {1, 0, "b"}}).replace(4, 1, "\x03");
    QTest::newRow("no count at all") << QByteArray("VER2\x01", 5);
    QTest::newRow("count 0x08000000 in a sector")
        << (QByteArray("VER2\x00\x00\x00\x08", 8) + QByteArray(2040, '\0'));
}

void TestIMGClassOpen::hostileVersion2CountIsRefused()
{
    QFETCH(QByteArray, bytes);
    const QString p = path("hostile.img");
    QVERIFY(WriteFile(p, bytes));
    IMGClass img;
    SignalLog log(img);
    QVERIFY(!img.OpenArchive(p));
    QCOMPARE(log.lines, QStringList{"error IMG目录 " + p + " 大小不合法"});
    verifyClosed(img);
    QVERIFY(img.directory.capacity() < 1000);
    QCOMPARE(ReadFile(p), bytes); // nothing written
    QVERIFY(!QFileInfo::exists(path("hostile.dir")));
}

void TestIMGClassOpen::closeKeepsFileName()
{
    const QString p = path("c.img");
    QVERIFY(WriteVer1(p, {{0, 1, "a"}}));
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    img.CloseArchive();
    img.CloseArchive();
    QCOMPARE(log.lines, (QStringList{"directory 0", "directory 0"}));
    verifyClosed(img);
    QCOMPARE(img.ImgFileName(), p);
    QCOMPARE(qint64(ReadFile(path("c.dir")).size()), DIRECTORY_RECORD_SIZE);
}

void TestIMGClassOpen::createVersion2()
{
    const QString p = path("new.img");
    IMGClass img;
    SignalLog log(img);
    QVERIFY(img.CreateArchive(p, 2));
    QVERIFY(log.lines.isEmpty());
    QCOMPARE(ReadFile(p), QByteArray("VER2\0\0\0\0", 8));
    QVERIFY(!QFileInfo::exists(path("new.dir")));
    QVERIFY(img.OpenArchive(p));
    QCOMPARE(img.freeDirectorySlots, 63);
    QCOMPARE(QFileInfo(p).size(), SECTOR_SIZE);
}

void TestIMGClassOpen::createVersion1()
{
    const QString p = path("new.img");
    QVERIFY(WriteVer1(p, {{0, 3, "old"}})); // an existing pair is emptied
    IMGClass img;
    QVERIFY(img.CreateArchive(p, 1));
    QCOMPARE(QFileInfo(p).size(), qint64(0));
    QCOMPARE(QFileInfo(path("new.dir")).size(), qint64(0));
    QVERIFY(img.OpenArchive(p));
    QCOMPARE(img.version, 1);
    QVERIFY(img.directory.empty());
}

void TestIMGClassOpen::createVersion2OverVersion1KeepsOldDir()
{
    const QString p = path("swap.img");
    QVERIFY(WriteVer1(p, {{0, 1, "a"}}));
    const QByteArray oldDir = ReadFile(path("swap.dir"));
    IMGClass img;
    QVERIFY(img.CreateArchive(p, 2));
    QCOMPARE(ReadFile(p), QByteArray("VER2\0\0\0\0", 8));
    QCOMPARE(ReadFile(path("swap.dir")), oldDir);
}

void TestIMGClassOpen::createErrors_data()
{
    QTest::addColumn<QString>("imgName");
    QTest::addColumn<bool>("imgExists");
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("message");
    QTest::newRow("no such folder") << "none/a.img" << false << 2 << "创建 %1/none/a.img 失败";
    QTest::newRow("img path is a folder") << "f.img" << false << 1 << "创建 %1/f.img 失败";
    QTest::newRow("dir path is a folder, new img") << "d.img" << false << 1 << "创建 %1/d.dir 失败";
    // A failed creation must not destroy the file that stood at the path.
    QTest::newRow("dir path is a folder, old img") << "d.img" << true << 1 << "创建 %1/d.dir 失败";
}

void TestIMGClassOpen::createErrors()
{
    QFETCH(QString, imgName);
    QFETCH(bool, imgExists);
    QFETCH(int, version);
    QFETCH(QString, message);
    const QString p = path(imgName);
    if (imgName == "f.img")
        QVERIFY(QDir(dir.path()).mkdir("f.img"));
    if (imgName == "d.img")
        QVERIFY(QDir(dir.path()).mkdir("d.dir"));
    const QByteArray old(3000, 'o');
    if (imgExists)
        QVERIFY(WriteFile(p, old));
    IMGClass img;
    SignalLog log(img);
    QVERIFY(!img.CreateArchive(p, version));
    QCOMPARE(log.lines, QStringList{"error " + message.arg(dir.path())});
    if (imgName == "d.img") {
        QCOMPARE(QFileInfo::exists(p), imgExists);
        if (imgExists)
            QCOMPARE(ReadFile(p), old);
    }
    verifyClosed(img);
}

void TestIMGClassOpen::createLeavesOpenArchiveAlone()
{
    const QString p = path("open.img");
    QVERIFY(WriteVer2(p, {{1, 1, "a"}}));
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    QVERIFY(img.CreateArchive(path("other.img"), 1));
    QCOMPARE(img.version, 2);
    QCOMPARE(img.directory.size(), size_t(1));
    QCOMPARE(img.ImgFileName(), p);
    QVERIFY(img.imgFile.isOpen());
}

void TestIMGClassOpen::version1WriterCutsTheFile()
{
    const QString p = path("w1.img");
    QVERIFY(WriteVer1(p, {{0, 1, "a"}, {1, 1, "b"}, {2, 1, "c"}}));
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    img.directory.erase(img.directory.begin());
    QVERIFY(img.WriteVER1Directory(img.dirFile));
    QCOMPARE(ReadFile(path("w1.dir")), DirectoryBytes({{1, 1, "b"}, {2, 1, "c"}}));
    img.directory.clear();
    QVERIFY(img.WriteVER1Directory(img.dirFile));
    QCOMPARE(QFileInfo(path("w1.dir")).size(), qint64(0));
}

void TestIMGClassOpen::version2WriterKeepsLengthAndStaleRecords()
{
    std::vector<Record> five;
    for (int i = 0; i < 5; ++i)
        five.push_back({quint32(1 + i), 1, QByteArray::number(i)});
    const QString p = path("w2.img");
    QVERIFY(WriteVer2(p, five));
    const QByteArray before = ReadFile(p);
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    img.directory.erase(img.directory.begin() + 1, img.directory.begin() + 3);
    QVERIFY(img.WriteVER2Directory(img.imgFile));
    const QByteArray after = ReadFile(p);
    QCOMPARE(after.size(), before.size());
    QCOMPARE(ReadUInt32LE(after.constData() + 4), 3u);
    QCOMPARE(after.mid(8, 96), DirectoryBytes({five[0], five[3], five[4]}));
    QCOMPARE(after.mid(104, 64), before.mid(104, 64)); // the old last two records stay
}

void TestIMGClassOpen::openExistingNeverCreates_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<int>("failure"); // IMGClass::OpenFailure
    QTest::newRow("nothing there") << "missing" << int(IMGClass::OpenFailure::Missing);
    QTest::newRow("a dangling link") << "dangling" << int(IMGClass::OpenFailure::Missing);
    QTest::newRow("a data file without its .dir") << "no dir" << int(IMGClass::OpenFailure::NoDirectory);
    QTest::newRow("another container without a .dir") << "foreign" << int(IMGClass::OpenFailure::NoDirectory);
}

// The command line opens only what is there: a missing archive or .dir is
// refused, not created, for changes and for reading alike.
void TestIMGClassOpen::openExistingNeverCreates()
{
    QFETCH(QString, state);
    QFETCH(int, failure);
    const QString p = path("a.img");
    if (state == "dangling")
        QVERIFY(QFile::link(path("gone.img"), p));
    else if (state == "no dir")
        QVERIFY(WriteFile(p, Pattern(1, 4096)));
    else if (state == "foreign")
        QVERIFY(WriteFile(p, QByteArray("VER3") + Pattern(1, 100)));
    const QStringList before =
        QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    for (IMGClass::OpenMode mode : {IMGClass::OpenExisting, IMGClass::OpenReadOnly}) {
        IMGClass img;
        QVERIFY(!img.OpenArchive(p, mode));
        QCOMPARE(int(img.LastOpenFailure()), failure);
        QVERIFY(!img.LastError().isEmpty());
        QCOMPARE(img.version, 0);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System), before);
    }
    // Only an opening for changes makes what is missing (the window's New).
    if (state == "missing" || state == "no dir") {
        IMGClass img;
        QVERIFY(img.OpenArchive(p));
        QCOMPARE(img.version, 1);
        QVERIFY(QFileInfo::exists(path("a.dir")));
    }
}

// A void operation is judged by LastError: the joined message of its failure,
// forgotten when the next operation begins.
void TestIMGClassOpen::lastErrorTellsTheLastOperation()
{
    const QString p = path("a.img");
    QVERIFY(WriteVer2(p, {{1, 1, "a.dff"}}));
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    QCOMPARE(img.LastError(), QString());
    img.ImportFiles({path("missing.dff")});
    QCOMPARE(img.LastError(), QStringLiteral("打开 ") + path("missing.dff") + QStringLiteral(" 失败"));
    QVERIFY(WriteFile(path("b.dff"), Pattern(2, 100)));
    img.ImportFiles({path("b.dff")});
    QCOMPARE(img.LastError(), QString());
    QVERIFY(!img.RenameEntry(0, QString(30, 'x')));
    QVERIFY(!img.LastError().isEmpty());
    // Rebuild leaves the files closed; the client reopens.
    img.Rebuild();
    QCOMPARE(img.LastError(), QString());
    QVERIFY(!img.imgFile.isOpen());
    QVERIFY(img.OpenArchive(p));
    QCOMPARE(int(img.directory.size()), 2);
}

QTEST_GUILESS_MAIN(TestIMGClassOpen)
#include "tst_imgclass_open.moc"
