// Faults from the world around an operation: write-protected archives and
// folders, a full disk, source files that vanish or cannot be read while an
// import runs, an output folder removed while an export runs. Each must end in
// one clear message through ErrorOccoured and an archive that is still whole.
//
// Running as root ignores permissions, so there the write-protection cases use
// the engine's fault points (kind open) instead of chmod.

#include "ArchiveCheck.h"
#include "ArchiveFixtures.h"
#include "FileSizeLimit.h"
#include "SignalLog.h"
#include "TestFolder.h"

#include "archive/ArchiveChecker.h"
#include "archive/io/ArchiveIO.h"
#include "archive/IMGClass.h"

#include <QDir>
#include <QtTest>

#include <unistd.h>

using namespace Fixtures;

namespace {

bool IsRoot()
{
    return ::geteuid() == 0;
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void writeProtectedArchiveIsNotOpened_data();
    void writeProtectedArchiveIsNotOpened();
    void readOnlyFolderDuringRebuild_data();
    void readOnlyFolderDuringRebuild();
    void readOnlyFolderStillTakesDirectoryChanges_data();
    void readOnlyFolderStillTakesDirectoryChanges();
    void sourceFailsDuringImport_data();
    void sourceFailsDuringImport();
    void outputFolderRemovedDuringExport_data();
    void outputFolderRemovedDuringExport();
    void diskFullDuringDirectoryWrite_data();
    void diskFullDuringDirectoryWrite();

private:
    QString path(const QString &name) const { return dir.filePath(name); }
    // Four entries in the folder "arc": a.dff, b.col (size 0), C.TXD, d.ifp.
    QString archive(int version) const;
    // Makes opening fail like a write-protected file or folder: chmod when the
    // permissions count, else the n-th opening of one of the archive's files.
    bool protect(const QString &target, int nthOpen);
    QStringList arcFiles() const;

    TestFolder dir;
    QStringList protectedPaths;
};

void TestFaults::init()
{
    QVERIFY(dir.Renew());
    QVERIFY(QDir(dir.path()).mkdir("arc"));
    QVERIFY(QDir(dir.path()).mkdir("src"));
    QVERIFY(QDir(dir.path()).mkdir("out"));
}

void TestFaults::cleanup()
{
    const QFileDevice::Permissions owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    for (const QString &p : protectedPaths)
        QFile::setPermissions(p, QFileInfo(p).isDir() ? owner | QFileDevice::ExeOwner : owner);
    protectedPaths.clear();
#ifdef OSTREVALE_FAULT_INJECTION
    FaultInjection::Reset();
#endif
}

QString TestFaults::archive(int version) const
{
    const QString p = path("arc/x.img");
    const std::vector<Record> records = {{1, 3, "a.dff"}, {4, 0, "b.col"}, {9, 2, "C.TXD"}, {4, 1, "d.ifp"}};
    if (!(version == 1 ? WriteVer1(p, records) : WriteVer2(p, records)))
        return QString();
    return p;
}

bool TestFaults::protect(const QString &target, int nthOpen)
{
    if (!IsRoot()) {
        protectedPaths << target;
        return QFile::setPermissions(target, QFileInfo(target).isDir()
                                                 ? QFileDevice::ReadOwner | QFileDevice::ExeOwner
                                                 : QFileDevice::ReadOwner);
    }
#ifdef OSTREVALE_FAULT_INJECTION
    FaultInjection::Reset();
    FaultInjection::FailAt(FaultInjection::Step::Open, nthOpen);
    return true;
#else
    Q_UNUSED(nthOpen);
    return false;
#endif
}

QStringList TestFaults::arcFiles() const
{
    return QDir(path("arc")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

void TestFaults::writeProtectedArchiveIsNotOpened_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("nthOpen");
    QTest::newRow("version 1, the .img") << 1 << "arc/x.img" << 1;
    QTest::newRow("version 1, the .dir") << 1 << "arc/x.dir" << 2;
    QTest::newRow("version 2") << 2 << "arc/x.img" << 1;
}

void TestFaults::writeProtectedArchiveIsNotOpened()
{
    QFETCH(int, version);
    QFETCH(QString, target);
    QFETCH(int, nthOpen);
    const QString p = archive(version);
    const QByteArray img = ReadFile(p), dirBytes = ReadFile(DirPathFor(p));
    const QStringList files = arcFiles();
    if (!protect(path(target), nthOpen))
        QSKIP("as root this needs the fault points (-DOSTREVALE_FAULT_INJECTION=ON)");

    IMGClass img2;
    SignalLog log(img2);
    QVERIFY(!img2.OpenArchive(p));
    QCOMPARE(log.lines, QStringList{"error 打开 " + path(target) + " 失败"});
    QCOMPARE(log.errorPieces, QStringList({"打开 ", path(target), " 失败"}));
    QCOMPARE(img2.version, 0);
    QVERIFY(!img2.imgFile.isOpen() && !img2.dirFile.isOpen());
    QCOMPARE(ReadFile(p), img);
    QCOMPARE(ReadFile(DirPathFor(p)), dirBytes);
    QCOMPARE(arcFiles(), files);
}

void TestFaults::readOnlyFolderDuringRebuild_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("nthOpen"); // the temporary that cannot be made, as root
    QTest::newRow("version 1, data temporary") << 1 << 1;
    QTest::newRow("version 1, directory temporary") << 1 << 2;
    QTest::newRow("version 2") << 2 << 1;
}

void TestFaults::readOnlyFolderDuringRebuild()
{
    QFETCH(int, version);
    QFETCH(int, nthOpen);
    const QString p = archive(version);
    const Contents before = Snapshot(p, version);
    const QByteArray old = ReadFile(p);
    const QStringList files = arcFiles();
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    if (!IsRoot() && nthOpen == 2)
        QSKIP("a read-only folder refuses the first temporary already");
    if (!protect(path("arc"), nthOpen))
        QSKIP("as root this needs the fault points (-DOSTREVALE_FAULT_INJECTION=ON)");
    img.Rebuild();

    QCOMPARE(log.lines, QStringList{"error 创建临时文件失败"});
    QCOMPARE(log.errorPieces, QStringList{"创建临时文件失败"});
    QVERIFY(img.imgFile.isOpen());
    QCOMPARE(img.directory[0].entry.offset, 1u);
    QCOMPARE(ReadFile(p), old);
    QCOMPARE(arcFiles(), files);
    img.CloseArchive();
    QCOMPARE(VerifyArchive(p, version, before), QString());
}

void TestFaults::readOnlyFolderStillTakesDirectoryChanges_data()
{
    QTest::addColumn<QString>("operation");
    QTest::newRow("delete") << "delete";
    QTest::newRow("import") << "import";
    QTest::newRow("rename") << "rename";
}

// A version 1 directory is normally replaced through a new file beside it; a
// folder that takes no new file still lets the .dir be rewritten in place.
void TestFaults::readOnlyFolderStillTakesDirectoryChanges()
{
    QFETCH(QString, operation);
    const QString p = archive(1);
    Contents expected = Snapshot(p, 1);
    const QStringList files = arcFiles();
    const QString source = path("src/new.dff");
    QVERIFY(WriteFile(source, Pattern(9, 3000)));
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    if (!protect(path("arc"), 1))
        QSKIP("as root this needs the fault points (-DOSTREVALE_FAULT_INJECTION=ON)");
    if (operation == "delete") {
        img.DeleteEntries({0, 2});
        expected.erase(expected.begin() + 2);
        expected.erase(expected.begin());
    } else if (operation == "import") {
        img.ImportFiles({source});
        expected.push_back(Imported("new.dff", Pattern(9, 3000)));
    } else {
        QVERIFY(img.RenameEntry(2, "road.txd"));
        expected[2].name = "road.txd";
    }
    QCOMPARE(log.errors(), QStringList());
    QCOMPARE(arcFiles(), files);
    QCOMPARE(VerifyArchive(p, 1, expected, &img), QString());
}

void TestFaults::sourceFailsDuringImport_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("fault");
    // removed / folder: the second file goes, or becomes a folder, while the first is
    // imported; truncated: the first file loses bytes after its size was taken.
    QTest::newRow("version 1, next source removed") << 1 << "removed";
    QTest::newRow("version 2, next source removed") << 2 << "removed";
    QTest::newRow("version 1, next source cannot be read") << 1 << "folder";
    QTest::newRow("version 2, next source cannot be read") << 2 << "folder";
    QTest::newRow("version 1, source cut short while read") << 1 << "truncated";
    QTest::newRow("version 2, source cut short while read") << 2 << "truncated";
}

void TestFaults::sourceFailsDuringImport()
{
    QFETCH(int, version);
    QFETCH(QString, fault);
    const QString p = archive(version);
    Contents expected = Snapshot(p, version);
    const QStringList files = {path("src/first.dff"), path("src/second.txd"), path("src/third.col")};
    for (int i = 0; i < files.size(); ++i)
        QVERIFY(WriteFile(files[i], Pattern(20 + i, 3000 + i)));

    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    QObject::connect(&img, &IMGClass::ImportingFileFullPath, [&](const QString &current) {
        if (current != files[0])
            return;
        if (fault == "removed") {
            QFile::remove(files[1]);
        } else if (fault == "folder") {
            QFile::remove(files[1]);
            QDir().mkdir(files[1]);
        } else {
            QFile f(files[0]);
            if (f.open(QIODevice::ReadWrite))
                f.resize(1000);
        }
    });
    img.ImportFiles(files);

    const QString failed = fault == "truncated" ? files[0] : files[1];
    QStringList lines = {"importing " + files[0], "progress"};
    lines << "error 打开 " + failed + " 失败"
          << QStringLiteral("directory %1").arg(expected.size() + (fault == "truncated" ? 0 : 1));
    QCOMPARE(log.lines, lines);
    QCOMPARE(log.errorPieces, QStringList({"打开 ", failed, " 失败"}));
    if (fault != "truncated")
        expected.push_back(Imported("first.dff", Pattern(20, 3000)));
    QCOMPARE(VerifyArchive(p, version, expected, &img), QString());
    QVERIFY(ArchiveChecker(img).Check().empty());
}

void TestFaults::outputFolderRemovedDuringExport_data()
{
    AddVersionRows();
}

void TestFaults::outputFolderRemovedDuringExport()
{
    QFETCH(int, version);
    const QString p = archive(version);
    const QByteArray old = ReadFile(p), oldDir = ReadFile(DirPathFor(p));
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    QObject::connect(&img, &IMGClass::ExportingFileName, [&](const QString &name) {
        if (name == "C.TXD")
            QDir(path("out")).removeRecursively();
    });
    img.ExportEntries(path("out"), {0, 2, 3});

    QCOMPARE(log.lines, QStringList({"exporting a.dff", "progress", "exporting C.TXD", "progress",
                                     "error 创建 " + path("out/C.TXD") + " 失败"}));
    QCOMPARE(log.errorPieces, QStringList({"创建 ", path("out/C.TXD"), " 失败"}));
    QVERIFY(!QFileInfo::exists(path("out")));
    QCOMPARE(ReadFile(p), old);
    QCOMPARE(ReadFile(DirPathFor(p)), oldDir);
    QVERIFY(img.imgFile.isOpen());
}

void TestFaults::diskFullDuringDirectoryWrite_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("operation");
    QTest::newRow("version 1, delete") << 1 << "delete";
    QTest::newRow("version 2, delete") << 2 << "delete";
    QTest::newRow("version 1, rename") << 1 << "rename";
    QTest::newRow("version 2, rename") << 2 << "rename";
}

void TestFaults::diskFullDuringDirectoryWrite()
{
    QFETCH(int, version);
    QFETCH(QString, operation);
    const QString p = archive(version);
    const Contents before = Snapshot(p, version);
    const QStringList files = arcFiles();
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    {
        // Not even three records fit: the directory write fails part way.
        FileSizeLimit limit(40);
        QVERIFY(limit.active);
        if (operation == "delete")
            img.DeleteEntries({1});
        else
            QVERIFY(!img.RenameEntry(2, "road.txd"));
    }
    const QString written = version == 1 ? DirPathFor(p) : p;
    QCOMPARE(log.errors(), QStringList{"写入 " + written + " 失败"});
    QCOMPARE(log.errorPieces, QStringList({"写入 ", written, " 失败"}));
    QCOMPARE(arcFiles(), files);
    QCOMPARE(VerifyArchive(p, version, before, &img), QString());
    QVERIFY(ArchiveChecker(img).Check().empty());
}

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
