#include "ArchiveCheck.h"
#include "ArchiveFixtures.h"
#include "FileSizeLimit.h"
#include "SignalLog.h"
#include "TestFolder.h"

#include "archive/io/ArchiveIO.h"
#include "archive/IMGClass.h"

#include <QDir>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <unistd.h>

using namespace Fixtures;

class TestExport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void exportsEntries_data();
    void exportsEntries();
    void sameNameTwiceLaterWins();
    void relativeFolderFromCurrentDirectory();
    void missingFolder();
    void outputCannotBeCreated();
    void hostileNamesStayInTheFolder_data();
    void hostileNamesStayInTheFolder();
    void neverOverwritesTheArchive_data();
    void neverOverwritesTheArchive();
    void neverOverwritesTheArchiveThroughLinks_data();
    void neverOverwritesTheArchiveThroughLinks();
    void danglingLinkCreatesNothingOutside();
    void failedWriteIsReported_data();
    void failedWriteIsReported();

private:
    QString path(const QString &name) const { return dir.filePath(name); }
    // Entries: a.dff (5,000 bytes of content, then more data behind it), empty.col
    // (size 0), B.TXD, and last.bin, whose 3 sectors run past the end of the file.
    QString archive(int version) const;

    TestFolder dir;
};

void TestExport::init()
{
    QVERIFY(dir.Renew());
    QVERIFY(QDir(dir.path()).mkdir("out"));
#ifdef OSTREVALE_FAULT_INJECTION
    FaultInjection::Reset();
#endif
}

void TestExport::cleanup()
{
#ifdef OSTREVALE_FAULT_INJECTION
    FaultInjection::Reset();
#endif
}

QString TestExport::archive(int version) const
{
    const QString p = path("arc.img");
    const quint32 base = version == 1 ? 0 : 1;
    const std::vector<Record> records = {
        {base, 3, "a.dff"}, {base + 3, 0, "empty.col"}, {base + 3, 1, "B.TXD"}, {base + 4, 3, "last.bin"}};
    QByteArray img = version == 1 ? QByteArray() : Ver2Header(records);
    PutData(img, base, Pattern(1, 5000));
    PutData(img, base + 3, Pattern(2, 2048));
    PutData(img, base + 4, Pattern(3, 5000));
    WriteFile(p, img);
    if (version == 1)
        WriteFile(DirPathFor(p), DirectoryBytes(records));
    return p;
}

void TestExport::exportsEntries_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("otherFileSystem"); // where the kernel cannot copy between the files
    QTest::newRow("version 1") << 1 << false;
    QTest::newRow("version 2") << 2 << false;
    QTest::newRow("version 2, into another file system") << 2 << true;
}

void TestExport::exportsEntries()
{
    QFETCH(int, version);
    QFETCH(bool, otherFileSystem);
    QString outFolder = path("out");
    std::unique_ptr<QTemporaryDir> elsewhere;
    if (otherFileSystem) {
        elsewhere = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/ostrevale-XXXXXX"));
        if (!elsewhere->isValid() ||
            QStorageInfo(elsewhere->path()).device() == QStorageInfo(dir.path()).device())
            QSKIP("needs a folder on another file system (/dev/shm)");
        outFolder = elsewhere->path();
    }
    const auto path = [&](const QString &name) {
        return name.startsWith(QLatin1String("out/")) ? outFolder + name.mid(3) : this->path(name);
    };
    const QString p = archive(version);
    const QByteArray oldImg = ReadFile(p);
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    img.ExportEntries(outFolder, {3, 0, 1, 2});

    QCOMPARE(log.lines, QStringList({"exporting last.bin", "progress", "exporting a.dff", "progress",
                                     "exporting empty.col", "progress", "exporting B.TXD", "progress"}));
    // Whole sectors, with the zero bytes that filled the last one; a last entry
    // ends where the data file ends.
    QCOMPARE(ReadFile(path("out/a.dff")), Pattern(1, 5000) + QByteArray(6144 - 5000, '\0'));
    QCOMPARE(ReadFile(path("out/last.bin")), Pattern(3, 5000));
    QCOMPARE(ReadFile(path("out/B.TXD")), Pattern(2, 2048));
    QVERIFY(QFileInfo::exists(path("out/empty.col")));
    QCOMPARE(QFileInfo(path("out/empty.col")).size(), qint64(0));
    QCOMPARE(ReadFile(p), oldImg);
}

void TestExport::sameNameTwiceLaterWins()
{
    const QString p = path("dup.img");
    QVERIFY(WriteVer1(p, {{0, 1, "same.txd"}, {1, 2, "SAME.txd"}, {3, 1, "same.txd"}}));
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    img.ExportEntries(path("out"), {2, 0});
    QCOMPARE(ReadFile(path("out/same.txd")), Pattern(0, 2048));
}

void TestExport::relativeFolderFromCurrentDirectory()
{
    const QString p = archive(2);
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    SignalLog log(img);
    img.ExportEntries("out", {2});
    QVERIFY(QDir::setCurrent(previous));
    QVERIFY(log.errors().isEmpty());
    QCOMPARE(ReadFile(path("out/B.TXD")), Pattern(2, 2048));
}

void TestExport::missingFolder()
{
    const QString p = archive(1);
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    img.ExportEntries(path("gone"), {0, 1});
    QCOMPARE(log.lines, QStringList{"error 访问输出文件夹失败"});
    QCOMPARE(log.errorPieces, QStringList{"访问输出文件夹失败"});
    QVERIFY(!QFileInfo::exists(path("gone")));
}

void TestExport::outputCannotBeCreated()
{
    const QString p = archive(1);
    QVERIFY(QDir().mkdir(path("out/B.TXD")));
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    img.ExportEntries(path("out"), {0, 2, 3});
    const QString blocked = QDir(path("out")).absoluteFilePath("B.TXD");
    QCOMPARE(log.lines, QStringList({"exporting a.dff", "progress", "exporting B.TXD", "progress",
                                     "error 创建 " + blocked + " 失败"}));
    QCOMPARE(log.errorPieces, QStringList({"创建 ", blocked, " 失败"}));
    QVERIFY(QFileInfo::exists(path("out/a.dff")));
    QVERIFY(!QFileInfo::exists(path("out/last.bin")));
}

void TestExport::hostileNamesStayInTheFolder_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("fileName"); // empty: refused
    QTest::newRow("parent folder") << QByteArray("../escape.txd") << ".._escape.txd";
    QTest::newRow("two levels up") << QByteArray("../../up.dff") << ".._.._up.dff";
    QTest::newRow("absolute path") << QByteArray("/ostrevale-abs.dff") << "_ostrevale-abs.dff";
    QTest::newRow("backslashes") << QByteArray("..\\win.txd") << ".._win.txd";
    QTest::newRow("drive prefix") << QByteArray("C:evil.dff") << "C_evil.dff";
    QTest::newRow("sub folder") << QByteArray("sub/x.dff") << "sub_x.dff";
    QTest::newRow("control character") << QByteArray("a\nb.dff") << "a_b.dff";
    QTest::newRow("parent alone") << QByteArray("..") << QString();
    QTest::newRow("dot alone") << QByteArray(".") << QString();
    QTest::newRow("empty name") << QByteArray() << QString();
}

void TestExport::hostileNamesStayInTheFolder()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, fileName);
    const QString p = path("hostile.img");
    QVERIFY(WriteVer1(p, {{0, 1, "before.dff"}, {1, 1, name}, {2, 1, "after.dff"}}));
    QVERIFY(QDir().mkpath(path("out/inner")));
    const QStringList outside =
        QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    img.ExportEntries(path("out/inner"), {0, 1, 2});

    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), outside);
    QCOMPARE(QDir(path("out")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"inner"});
    QVERIFY(!QFileInfo::exists("/ostrevale-abs.dff"));
    if (fileName.isEmpty()) {
        const QString refused = QDir(path("out/inner")).absoluteFilePath(QString::fromUtf8(name));
        QCOMPARE(log.errors(), QStringList{"创建 " + refused + " 失败"});
        QCOMPARE(QDir(path("out/inner")).entryList(QDir::Files | QDir::Hidden), QStringList{"before.dff"});
    } else {
        QVERIFY(log.errors().isEmpty());
        QCOMPARE(log.lines[2], "exporting " + QString::fromUtf8(name));
        QCOMPARE(ReadFile(path("out/inner/") + fileName), Pattern(1, 2048));
        QCOMPARE(QDir(path("out/inner")).entryList(QDir::Files | QDir::Hidden).size(), 3);
    }
}

void TestExport::neverOverwritesTheArchive_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("version 1 data file") << 1 << QByteArray("own.img");
    QTest::newRow("version 1 directory file") << 1 << QByteArray("own.dir");
    QTest::newRow("version 2 data file") << 2 << QByteArray("own.img");
}

void TestExport::neverOverwritesTheArchive()
{
    QFETCH(int, version);
    QFETCH(QByteArray, name);
    const QString p = path("own.img");
    const std::vector<Record> records = {{1, 1, "x.dff"}, {2, 1, name}};
    QVERIFY(version == 1 ? WriteVer1(p, records) : WriteVer2(p, records));
    const Contents before = Snapshot(p, version);
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    img.ExportEntries(dir.path(), {1});
    QCOMPARE(log.errors(), QStringList{"创建 " + QDir(dir.path()).absoluteFilePath(name) + " 失败"});
    QCOMPARE(VerifyArchive(p, version, before), QString());
}

void TestExport::neverOverwritesTheArchiveThroughLinks_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("target"); // what the link in the output folder points to
    QTest::addColumn<bool>("hard");
    QTest::newRow("symbolic link to the data file") << 2 << "own.img" << false;
    QTest::newRow("hard link to the data file") << 2 << "own.img" << true;
    QTest::newRow("symbolic link to the directory file") << 1 << "own.dir" << false;
    QTest::newRow("hard link to the directory file") << 1 << "own.dir" << true;
}

void TestExport::neverOverwritesTheArchiveThroughLinks()
{
    QFETCH(int, version);
    QFETCH(QString, target);
    QFETCH(bool, hard);
    const QString p = path("own.img");
    const std::vector<Record> records = {{1, 1, "x.dff"}, {2, 1, "link.dff"}};
    QVERIFY(version == 1 ? WriteVer1(p, records) : WriteVer2(p, records));
    const Contents before = Snapshot(p, version);
    const QString link = path("out/link.dff");
    const QByteArray from = QFile::encodeName(path(target));
    QVERIFY(hard ? ::link(from.constData(), QFile::encodeName(link).constData()) == 0
                 : QFile::link(path(target), link));
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    img.ExportEntries(path("out"), {0, 1});
    QCOMPARE(log.errors(), QStringList{"创建 " + QDir(path("out")).absoluteFilePath("link.dff") + " 失败"});
    QCOMPARE(ReadFile(path("out/x.dff")), Pattern(0, 2048));
    QCOMPARE(VerifyArchive(p, version, before), QString());
}

void TestExport::danglingLinkCreatesNothingOutside()
{
    const QString p = path("arc.img");
    QVERIFY(WriteVer2(p, {{1, 1, "gone.dff"}}));
    QVERIFY(QFile::link(path("nowhere.dff"), path("out/gone.dff")));
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    img.ExportEntries(path("out"), {0});
    QCOMPARE(log.errors(), QStringList{"创建 " + QDir(path("out")).absoluteFilePath("gone.dff") + " 失败"});
    QVERIFY(!QFileInfo::exists(path("nowhere.dff")));
}

void TestExport::failedWriteIsReported_data()
{
    QTest::addColumn<bool>("faultInjection");
    QTest::newRow("disk full") << false;
    QTest::newRow("failing write") << true;
}

void TestExport::failedWriteIsReported()
{
    QFETCH(bool, faultInjection);
    const QString p = archive(2);
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    if (faultInjection) {
#ifdef OSTREVALE_FAULT_INJECTION
        FaultInjection::FailAt(FaultInjection::Step::Write, 2);
        img.ExportEntries(path("out"), {2, 0, 3});
#else
        QSKIP("needs a build with OSTREVALE_FAULT_INJECTION");
#endif
    } else {
        // B.TXD (2,048 bytes) fits, a.dff (6,144 bytes) does not.
        FileSizeLimit limit(4096);
        QVERIFY(limit.active);
        img.ExportEntries(path("out"), {2, 0, 3});
    }
    const QString failed = QDir(path("out")).absoluteFilePath("a.dff");
    QCOMPARE(log.lines, QStringList({"exporting B.TXD", "progress", "exporting a.dff", "progress",
                                     "error 写入 " + failed + " 失败"}));
    // No cut-off file is left to pass for the entry.
    QCOMPARE(QDir(path("out")).entryList(QDir::Files | QDir::Hidden), QStringList{"B.TXD"});
    QCOMPARE(ReadFile(path("out/B.TXD")), Pattern(2, 2048));
}

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
