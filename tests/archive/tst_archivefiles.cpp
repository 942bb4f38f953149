// An archive is a file in someone's folder: the engine must write through its
// links to their targets, give a replaced file the old one's owner, mode and
// extended attributes, keep hard links together, never take one file for both
// halves of a pair, lock out a second writer, and read without writing.
// After every case the archive opens, the checker is clean and every entry
// reads back.

#include "ArchiveHolder.h"
#include "ArchiveWhole.h"
#include "ContentFixtures.h"
#include "FileAttributes.h"
#include "SignalLog.h"
#include "TestFolder.h"

#include "archive/ArchiveChecker.h"
#include "archive/IMGClass.h"
#include "archive/io/ArchiveIO.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStringListModel>
#include <QtTest>

#include <unistd.h>

using namespace Fixtures;

namespace {

const char kChildVariable[] = "OSTREVALE_IDENTITY_TEST_CHILD";

const std::vector<Record> kRecords = {{1, 3, "a.dff"}, {9, 2, "C.TXD"}, {4, 1, "d.ifp"}};
const QByteArray kNewContent = Pattern(50, 5000);

QModelIndexList Rows(int count, std::initializer_list<int> rows)
{
    static QStringListModel model;
    model.setStringList(QStringList(QVector<QString>(count).toList()));
    QModelIndexList out;
    for (int r : rows)
        out << model.index(r, 0);
    return out;
}

// Runs one changing operation on an open archive; returns the entries expected after it.
Contents RunOperation(IMGClass &img, const QString &operation, const Contents &before, const QString &source)
{
    Contents expected = before;
    if (operation == "import") {
        WriteFile(source, kNewContent);
        img.ImportFiles({source});
        expected.push_back(Imported(QFileInfo(source).fileName().toUtf8(), kNewContent));
    } else if (operation == "delete") {
        img.DeleteEntries(Rows(int(img.directory.size()), {0}));
        if (!expected.empty())
            expected.erase(expected.begin());
    } else if (operation == "rename") {
        // A refused rename expects nothing, which the unchanged archive never matches.
        if (!img.RenameEntry(0, "renamed.dff"))
            expected.clear();
        else if (!expected.empty())
            expected[0].name = "renamed.dff";
    } else if (operation == "rebuild") {
        img.Rebuild();
    }
    return expected;
}

// A POSIX access ACL in the kernel's xattr form: owner rw, user 1234 r, group r, mask r, other none.
QByteArray AccessAcl()
{
    const auto entry = [](quint16 tag, quint16 perm, quint32 id) {
        return LE16(tag) + LE16(perm) + LE32(id);
    };
    return LE32(2) + entry(0x01, 6, 0xFFFFFFFF) + entry(0x02, 4, 1234) + entry(0x04, 4, 0xFFFFFFFF) +
           entry(0x10, 4, 0xFFFFFFFF) + entry(0x20, 0, 0xFFFFFFFF);
}

// In the child of the crash cases: one operation, ended by the fault points.
int RunChild(const QString &operation, const QString &p)
{
    IMGClass img;
    if (!img.OpenArchive(p))
        return 2;
    RunOperation(img, operation, Contents(), QString());
    return 0;
}

} // namespace

class TestArchiveFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void linksStayLinks_data();
    void linksStayLinks();

    void replacedFileKeepsIdentity_data();
    void replacedFileKeepsIdentity();
    void temporaryHasTheIdentityFromItsFirstByte_data();
    void temporaryHasTheIdentityFromItsFirstByte();

    void hardLinksStayTogether_data();
    void hardLinksStayTogether();
    void hardLinkedReplacementSurvivesEveryKill_data();
    void hardLinkedReplacementSurvivesEveryKill();

    void oneFileIsNeverBothHalves_data();
    void oneFileIsNeverBothHalves();
    void versionTwoNamedLikeADirectoryOpens();

    void secondWriterIsRefused_data();
    void secondWriterIsRefused();
    void createOverAHeldArchive_data();
    void createOverAHeldArchive();
    void rebuildKeepsTheLock_data();
    void rebuildKeepsTheLock();
    void anotherProcessHoldsTheLock_data();
    void anotherProcessHoldsTheLock();

    void readOnlyMountIsRead_data();
    void readOnlyMountIsRead();
    void readingDoesNotGrowAShortHeader();
    void readOnlyObjectRefusesChanges_data();
    void readOnlyObjectRefusesChanges();
    void unfinishedRebuildIsReadAsCompleted();

private:
    QString path(const QString &name) const { return dir.filePath(name); }

    TestFolder dir;
};

void TestArchiveFiles::init()
{
    QVERIFY(dir.Renew());
}

void TestArchiveFiles::linksStayLinks_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("operation");
    for (int v : {1, 2}) {
        QStringList layouts = {"linked files", "chain of links", "linked folder"};
        if (v == 1)
            layouts << "linked .dir only";
        for (const QString &layout : layouts)
            for (const char *operation : {"import", "delete", "rename", "rebuild"})
                QTest::newRow(qPrintable(QStringLiteral("version %1, %2, %3").arg(v).arg(layout, operation)))
                    << v << layout << QString(operation);
    }
}

void TestArchiveFiles::linksStayLinks()
{
    QFETCH(int, version);
    QFETCH(QString, layout);
    QFETCH(QString, operation);
    QVERIFY(QDir(dir.path()).mkpath("real"));
    QVERIFY(QDir(dir.path()).mkpath("src"));
    const QString real = path("real/a.img");
    QVERIFY(WriteArchive(real, version, kRecords));
    const Contents before = Fixtures::Snapshot(real, version);

    // Each link and the target it must still name afterwards.
    QMap<QString, QString> links;
    QString p;
    if (layout == "linked folder") {
        links.insert(path("top"), path("real"));
        p = path("top/a.img");
    } else {
        QVERIFY(QDir(dir.path()).mkpath("top"));
        p = path("top/a.img");
        if (layout == "linked files") {
            links.insert(p, real);
        } else if (layout == "chain of links") {
            links.insert(p, path("top/mid.img"));
            links.insert(path("top/mid.img"), real);
        } else { // the data file lies in top, only its directory elsewhere
            QVERIFY(QFile::rename(real, p));
        }
        if (version == 1)
            links.insert(DirPathFor(p), DirPathFor(real));
    }
    for (auto it = links.cbegin(); it != links.cend(); ++it)
        QVERIFY(QFile::link(it.value(), it.key()));
    const QString target = layout == "linked .dir only" ? p : real;

    IMGClass img;
    SignalLog log(img);
    QVERIFY(img.OpenArchive(p));
    const Contents expected = RunOperation(img, operation, before, path("src/new.dff"));
    QCOMPARE(log.errors(), QStringList());
    img.CloseArchive();

    for (auto it = links.cbegin(); it != links.cend(); ++it) {
        QVERIFY2(QFileInfo(it.key()).isSymLink(), qPrintable(it.key() + " is no link any more"));
        QCOMPARE(QFileInfo(it.key()).symLinkTarget(), it.value());
    }
    // The target changed, and no temporary stayed anywhere.
    QCOMPARE(ArchiveIsWhole(target, version, expected), QString());
    QCOMPARE(ArchiveIsWhole(p, version, expected), QString());
    QCOMPARE(Leftovers(path("real")), QStringList());
    QCOMPARE(Leftovers(path("top")), QStringList());
}

void TestArchiveFiles::replacedFileKeepsIdentity_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QStringList>("replaced"); // the files put in place by a rename
    QTest::newRow("version 1, rebuild") << 1 << "rebuild" << QStringList{"a.img", "a.dir"};
    QTest::newRow("version 1, directory write") << 1 << "delete" << QStringList{"a.dir"};
    QTest::newRow("version 2, rebuild") << 2 << "rebuild" << QStringList{"a.img"};
}

void TestArchiveFiles::replacedFileKeepsIdentity()
{
    QFETCH(int, version);
    QFETCH(QString, operation);
    QFETCH(QStringList, replaced);
    const bool root = ::geteuid() == 0;
    const QString p = path("a.img");
    QVERIFY(WriteArchive(p, version, kRecords));
    const Contents before = Fixtures::Snapshot(p, version);
    bool aclSupported = true;
    for (const QString &name : replaced) {
        const QByteArray f = QFile::encodeName(path(name));
        QCOMPARE(::chmod(f.constData(), 0600), 0);
        if (root)
            QCOMPARE(::chown(f.constData(), 1234, 2345), 0);
        if (!SetAttribute(path(name), "user.ostrevale", "kept"))
            QSKIP("this file system keeps no extended attributes");
        aclSupported = aclSupported && SetAttribute(path(name), "system.posix_acl_access", AccessAcl());
    }
    std::map<QString, QByteArray> acls;
    std::map<QString, struct stat> old;
    for (const QString &name : replaced) {
        acls[name] = Attribute(path(name), "system.posix_acl_access");
        old[name] = StatOf(path(name));
    }

    IMGClass img;
    SignalLog log(img);
    QVERIFY(img.OpenArchive(p));
    const ino_t oldInode = StatOf(path(replaced.first())).st_ino;
    const Contents expected = RunOperation(img, operation, before, QString());
    QCOMPARE(log.errors(), QStringList());
    img.CloseArchive();
    QVERIFY2(StatOf(path(replaced.first())).st_ino != oldInode, "the file was not replaced at all");

    for (const QString &name : replaced) {
        const struct stat now = StatOf(path(name));
        QCOMPARE(now.st_mode & 07777, old[name].st_mode & 07777);
        if (root) {
            QCOMPARE(now.st_uid, uid_t(1234));
            QCOMPARE(now.st_gid, gid_t(2345));
        }
        QCOMPARE(Attribute(path(name), "user.ostrevale"), QByteArray("kept"));
        QCOMPARE(Attribute(path(name), "system.posix_acl_access"), acls[name]);
    }
    QCOMPARE(ArchiveIsWhole(p, version, expected), QString());
    if (!root)
        qInfo("not root: the owner and group were not checked");
    if (!aclSupported)
        qInfo("this file system keeps no ACLs: only the mode and a user attribute were checked");
}

void TestArchiveFiles::temporaryHasTheIdentityFromItsFirstByte_data()
{
    AddVersionRows();
}

void TestArchiveFiles::temporaryHasTheIdentityFromItsFirstByte()
{
#ifndef OSTREVALE_FAULT_INJECTION
    QSKIP("needs a build with OSTREVALE_FAULT_INJECTION");
#else
    QFETCH(int, version);
    const QString p = path("a.img");
    QVERIFY(WriteArchive(p, version, kRecords));
    const Contents before = Fixtures::Snapshot(p, version);
    QCOMPARE(::chmod(QFile::encodeName(p).constData(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root)
        QCOMPARE(::chown(QFile::encodeName(p).constData(), 1234, 2345), 0);

    // Stopped right after the first byte went into the new data file.
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kChildVariable, "rebuild");
    env.insert("OSTREVALE_CRASH_AFTER_STEP", "1");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {p});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitCode(), FaultInjection::CrashExitCode);

    const struct stat temporary = StatOf(p + ".rebuilding");
    QVERIFY(QFileInfo::exists(p + ".rebuilding"));
    QCOMPARE(temporary.st_mode & 07777, mode_t(0640));
    if (root) {
        QCOMPARE(temporary.st_uid, uid_t(1234));
        QCOMPARE(temporary.st_gid, gid_t(2345));
    }
    QCOMPARE(ArchiveIsWhole(p, version, before), QString());
#endif
}

void TestArchiveFiles::hardLinksStayTogether_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("operation");
    for (int v : {1, 2})
        for (const char *operation : {"import", "delete", "rename", "rebuild"})
            QTest::newRow(qPrintable(QStringLiteral("version %1, %2").arg(v).arg(operation)))
                << v << QString(operation);
}

void TestArchiveFiles::hardLinksStayTogether()
{
    QFETCH(int, version);
    QFETCH(QString, operation);
    const QString p = path("a.img");
    const QString other = path("other.img");
    QVERIFY(WriteArchive(p, version, kRecords));
    const Contents before = Fixtures::Snapshot(p, version);
    QStringList names = {"a.img"};
    QCOMPARE(::link(QFile::encodeName(p).constData(), QFile::encodeName(other).constData()), 0);
    if (version == 1) {
        names << "a.dir";
        QCOMPARE(::link(QFile::encodeName(DirPathFor(p)).constData(),
                        QFile::encodeName(DirPathFor(other)).constData()),
                 0);
    }
    std::map<QString, ino_t> inodes;
    for (const QString &name : names)
        inodes[name] = StatOf(path(name)).st_ino;

    IMGClass img;
    SignalLog log(img);
    QVERIFY(img.OpenArchive(p));
    const Contents expected = RunOperation(img, operation, before, path("new.dff"));
    QCOMPARE(log.errors(), QStringList());
    img.CloseArchive();

    for (const QString &name : names) {
        QCOMPARE(StatOf(path(name)).st_ino, inodes[name]);
        QCOMPARE(int(StatOf(path(name)).st_nlink), 2);
    }
    QCOMPARE(Leftovers(dir.path()), QStringList());
    QCOMPARE(ArchiveIsWhole(p, version, expected), QString());
    QCOMPARE(ArchiveIsWhole(other, version, expected), QString());
}

void TestArchiveFiles::hardLinkedReplacementSurvivesEveryKill_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("operation");
    QTest::newRow("version 1, rebuild") << 1 << "rebuild";
    QTest::newRow("version 1, directory write") << 1 << "delete";
    QTest::newRow("version 2, rebuild") << 2 << "rebuild";
}

// The journal of a hard-linked file: killed after any step, a reading opening reads
// the archive as it will be and writes nothing; an opening for changes completes it.
void TestArchiveFiles::hardLinkedReplacementSurvivesEveryKill()
{
#ifndef OSTREVALE_FAULT_INJECTION
    QSKIP("needs a build with OSTREVALE_FAULT_INJECTION");
#else
    QFETCH(int, version);
    QFETCH(QString, operation);
    const QString p = path("h/a.img");
    const QString other = path("h/other.img");
    bool finished = false;
    int k = 1;
    for (; !finished && k < 100; ++k) {
        QDir(path("h")).removeRecursively();
        QVERIFY(QDir(dir.path()).mkpath("h"));
        QVERIFY(WriteArchive(p, version, kRecords));
        QCOMPARE(::link(QFile::encodeName(p).constData(), QFile::encodeName(other).constData()), 0);
        if (version == 1)
            QCOMPARE(::link(QFile::encodeName(DirPathFor(p)).constData(),
                            QFile::encodeName(DirPathFor(other)).constData()),
                     0);
        const Contents old = Fixtures::Snapshot(p, version);
        const Contents changed = operation == "delete" ? Contents(old.begin() + 1, old.end()) : old;
        const ino_t inode = StatOf(p).st_ino;

        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kChildVariable, operation);
        env.insert("OSTREVALE_CRASH_AFTER_STEP", QString::number(k));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {p});
        QVERIFY(child.waitForFinished(60000));
        const int code = child.exitCode();
        QVERIFY2(code == 0 || code == FaultInjection::CrashExitCode, qPrintable(QString::number(code)));
        finished = code == 0;
        const QString where = QStringLiteral("after step %1: ").arg(k);

        const QMap<QString, QByteArray> files = FilesIn(path("h"));
        bool newVersion = false;
        {
            IMGClass reader;
            QVERIFY2(reader.OpenArchive(p, IMGClass::OpenReadOnly),
                     qPrintable(where + "does not open to read"));
            QVERIFY2(ArchiveChecker(reader).Check().empty(),
                     qPrintable(where + "the checker finds problems"));
            newVersion = reader.directory.size() != old.size() ||
                         reader.directory[1].entry.offset != kRecords[1].offset;
            const QString readBack = EntriesReadBack(reader, newVersion ? changed : old);
            QVERIFY2(readBack.isEmpty(), qPrintable(where + readBack));
        }
        QVERIFY2(FilesIn(path("h")) == files, qPrintable(where + "reading changed a file"));

        {
            IMGClass writer;
            QVERIFY2(writer.OpenArchive(p), qPrintable(where + "does not open for changes"));
            QVERIFY(ArchiveChecker(writer).Check().empty());
            const QString readBack = EntriesReadBack(writer, newVersion ? changed : old);
            QVERIFY2(readBack.isEmpty(), qPrintable(where + "completed: " + readBack));
        }
        QVERIFY2(!QFileInfo::exists(p + ".copying") && !QFileInfo::exists(DirPathFor(p) + ".copying"),
                 qPrintable(where + "a journal outlived the opening"));
        QCOMPARE(StatOf(p).st_ino, inode);
        QCOMPARE(StatOf(other).st_ino, inode);
        QCOMPARE(Fixtures::Snapshot(other, version).size(), (newVersion ? changed : old).size());
        QVERIFY(!finished || newVersion);
    }
    QVERIFY(finished);
    qInfo("%d kill points", k - 2);
#endif
}

void TestArchiveFiles::oneFileIsNeverBothHalves_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("paired"); // the .img the message points to, if any
    QTest::newRow("the .dir of a pair") << "pair"
                                        << "x.dir"
                                        << "x.img";
    QTest::newRow("the .DIR of an upper-case pair") << "upper pair"
                                                    << "X.DIR"
                                                    << "X.IMG";
    QTest::newRow("a lone .dir") << "lone dir"
                                 << "x.dir"
                                 << "";
    QTest::newRow("a .dir that is not there") << "nothing"
                                              << "x.dir"
                                              << "";
    QTest::newRow("a two-letter name") << "two letters"
                                       << "ab"
                                       << "";
    QTest::newRow("a .dir linked to the .img") << "linked"
                                               << "a.img"
                                               << "";
    QTest::newRow("a .dir that is a hard link of the .img") << "hard link"
                                                            << "a.img"
                                                            << "";
}

void TestArchiveFiles::oneFileIsNeverBothHalves()
{
    QFETCH(QString, layout);
    QFETCH(QString, given);
    QFETCH(QString, paired);
    const QString message = paired.isEmpty() ? QStringLiteral(" 不能同时作为数据文件和目录文件")
                                             : " 是目录文件，请打开 " + path(paired);
    if (layout == "pair")
        QVERIFY(WriteVer1(path("x.img"), kRecords));
    if (layout == "upper pair") {
        QVERIFY(WriteVer1(path("X.IMG"), kRecords));
        QVERIFY(QFile::rename(path("X.dir"), path("X.DIR")));
    }
    if (layout == "lone dir")
        QVERIFY(WriteFile(path("x.dir"), DirectoryBytes(kRecords)));
    if (layout == "two letters")
        QVERIFY(WriteFile(path("ab"), Pattern(1, 4096)));
    if (layout == "linked" || layout == "hard link") {
        QVERIFY(WriteFile(path("a.img"), Pattern(1, 4096)));
        if (layout == "linked")
            QVERIFY(QFile::link(path("a.img"), path("a.dir")));
        else
            QCOMPARE(::link(QFile::encodeName(path("a.img")).constData(),
                            QFile::encodeName(path("a.dir")).constData()),
                     0);
    }
    const QString p = path(given);
    const QMap<QString, QByteArray> files = FilesIn(dir.path());

    IMGClass img;
    SignalLog log(img);
    QVERIFY(!img.OpenArchive(p));
    QCOMPARE(log.errors(), QStringList{"IMG文件 " + p + message});
    QCOMPARE(img.version, 0);
    QVERIFY(!img.OpenArchive(p, IMGClass::OpenReadOnly));
    log.clear();
    QVERIFY(!img.CreateArchive(p, 1));
    QCOMPARE(log.errors(), QStringList{"IMG文件 " + p + " 不能同时作为数据文件和目录文件"});
    QVERIFY(FilesIn(dir.path()) == files);
    if (layout == "pair")
        QCOMPARE(ArchiveIsWhole(path("x.img"), 1, Fixtures::Snapshot(path("x.img"), 1)), QString());
}

void TestArchiveFiles::versionTwoNamedLikeADirectoryOpens()
{
    // A version 2 archive has no .dir: any name will do.
    for (const QString name : {"x.dir", "ab"}) {
        QVERIFY(WriteVer2(path(name), kRecords));
        QCOMPARE(ArchiveIsWhole(path(name), 2, Fixtures::Snapshot(path(name), 2)), QString());
    }
}

void TestArchiveFiles::secondWriterIsRefused_data()
{
    AddVersionRows();
}

void TestArchiveFiles::secondWriterIsRefused()
{
    QFETCH(int, version);
    const QString p = path("a.img");
    QVERIFY(WriteArchive(p, version, kRecords));
    const Contents before = Fixtures::Snapshot(p, version);
    IMGClass first;
    QVERIFY(first.OpenArchive(p));
    const QMap<QString, QByteArray> files = FilesIn(dir.path());

    IMGClass second;
    SignalLog log(second);
    QVERIFY(!second.OpenArchive(p));
    QCOMPARE(log.errorPieces, (QStringList{"IMG文件 ", p, " 正被另一个程序使用"}));
    QCOMPARE(second.version, 0);
    QVERIFY(!second.imgFile.isOpen() && !second.dirFile.isOpen());
    // Through a link too: the lock is the file's, not the name's.
    QVERIFY(QFile::link(p, path("link.img")));
    if (version == 1)
        QVERIFY(QFile::link(DirPathFor(p), path("link.dir")));
    QVERIFY(!second.OpenArchive(path("link.img")));
    // Reading is neither locked out nor locks.
    IMGClass reader;
    QVERIFY(reader.OpenArchive(p, IMGClass::OpenReadOnly));
    QCOMPARE(EntriesReadBack(reader, before), QString());

    first.CloseArchive();
    QVERIFY(second.OpenArchive(p));
    second.CloseArchive();
    QCOMPARE(ArchiveIsWhole(p, version, before), QString());
}

void TestArchiveFiles::createOverAHeldArchive_data()
{
    AddVersionRows();
}

void TestArchiveFiles::createOverAHeldArchive()
{
    QFETCH(int, version);
    const QString p = path("a.img");
    QVERIFY(WriteArchive(p, version, kRecords));
    const Contents before = Fixtures::Snapshot(p, version);
    IMGClass holder;
    SignalLog holderLog(holder);
    QVERIFY(holder.OpenArchive(p));

    IMGClass other;
    SignalLog log(other);
    QVERIFY(!other.CreateArchive(p, version));
    QCOMPARE(log.errors(), QStringList{"IMG文件 " + p + " 正被另一个程序使用"});
    QCOMPARE(Fixtures::Snapshot(p, version).size(), before.size());

    // New over the archive this object shows itself, as the window does it.
    QVERIFY(holder.CreateArchive(p, version));
    holder.CloseArchive();
    QVERIFY(holder.OpenArchive(p));
    QCOMPARE(holder.directory.size(), size_t(0));
    QCOMPARE(holderLog.errors(), QStringList());
    holder.CloseArchive();
    QCOMPARE(ArchiveIsWhole(p, version, Contents()), QString());
}

void TestArchiveFiles::rebuildKeepsTheLock_data()
{
    AddVersionRows();
}

void TestArchiveFiles::rebuildKeepsTheLock()
{
    QFETCH(int, version);
    const QString p = path("a.img");
    QVERIFY(WriteArchive(p, version, kRecords));
    const Contents before = Fixtures::Snapshot(p, version);
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    const ino_t oldInode = StatOf(p).st_ino;
    img.Rebuild();
    QVERIFY(StatOf(p).st_ino != oldInode); // a new file took the old one's place

    IMGClass other;
    QVERIFY(!other.OpenArchive(p));
    img.CloseArchive();
    QVERIFY(other.OpenArchive(p));
    other.CloseArchive();
    QCOMPARE(ArchiveIsWhole(p, version, before), QString());
}

void TestArchiveFiles::anotherProcessHoldsTheLock_data()
{
    AddVersionRows();
}

void TestArchiveFiles::anotherProcessHoldsTheLock()
{
    QFETCH(int, version);
    const QString p = path("a.img");
    QVERIFY(WriteArchive(p, version, kRecords));
    const Contents before = Fixtures::Snapshot(p, version);
    ArchiveHolder holder;
    QVERIFY(holder.Start(p));

    IMGClass img;
    SignalLog log(img);
    QVERIFY(!img.OpenArchive(p));
    QCOMPARE(log.errors(), QStringList{"IMG文件 " + p + " 正被另一个程序使用"});
    IMGClass reader;
    QVERIFY(reader.OpenArchive(p, IMGClass::OpenReadOnly));

    // A killed holder leaves no lock behind: the kernel drops it with the process.
    holder.Kill();
    QVERIFY(img.OpenArchive(p));
    img.CloseArchive();
    QCOMPARE(ArchiveIsWhole(p, version, before), QString());
}

void TestArchiveFiles::readOnlyMountIsRead_data()
{
    AddVersionRows();
}

void TestArchiveFiles::readOnlyMountIsRead()
{
    QFETCH(int, version);
    QVERIFY(QDir(dir.path()).mkpath("disk"));
    QVERIFY(WriteArchive(path("disk/a.img"), version, kRecords));
    const Contents before = Fixtures::Snapshot(path("disk/a.img"), version);
    const ReadOnlyMount mount(path("disk"), path("ro"));
    if (!mount.readOnly)
        QSKIP("a read-only bind mount cannot be made here (needs root and mount rights)");
    const QString p = path("ro/a.img");
    const QMap<QString, QByteArray> files = FilesIn(path("disk"));

    IMGClass img;
    SignalLog log(img);
    QVERIFY(img.OpenArchive(p, IMGClass::OpenReadOnly));
    QCOMPARE(img.version, version);
    QVERIFY(ArchiveChecker(img).Check().empty());
    QCOMPARE(EntriesReadBack(img, before), QString());
    QVERIFY(QDir(dir.path()).mkpath("out"));
    img.ExportEntries(path("out"), Rows(int(img.directory.size()), {0, 1}));
    QCOMPARE(ReadFile(path("out/a.dff")), before[0].content);
    QCOMPARE(log.errors(), QStringList());
    img.CloseArchive();

    // A change fails at the opening, as for any file it may not write.
    QVERIFY(!img.OpenArchive(p));
    QCOMPARE(log.errors(), QStringList{"打开 " + p + " 失败"});
    QVERIFY(FilesIn(path("disk")) == files);
}

void TestArchiveFiles::readingDoesNotGrowAShortHeader()
{
    const QString p = path("new.img");
    IMGClass img;
    QVERIFY(img.CreateArchive(p, 2));
    QCOMPARE(QFileInfo(p).size(), qint64(8));
    QVERIFY(img.OpenArchive(p, IMGClass::OpenReadOnly));
    QCOMPARE(img.freeDirectorySlots, 63);
    img.CloseArchive();
    QCOMPARE(QFileInfo(p).size(), qint64(8));
    // Opening for changes gives it its first sector, through ArchiveIO's checked resize.
    QVERIFY(img.OpenArchive(p));
    QCOMPARE(QFileInfo(p).size(), qint64(2048));
}

void TestArchiveFiles::readOnlyObjectRefusesChanges_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("operation");
    for (int v : {1, 2})
        for (const char *operation : {"import", "delete", "rename", "rebuild", "create"})
            QTest::newRow(qPrintable(QStringLiteral("version %1, %2").arg(v).arg(operation)))
                << v << QString(operation);
}

void TestArchiveFiles::readOnlyObjectRefusesChanges()
{
    QFETCH(int, version);
    QFETCH(QString, operation);
    const QString p = path("a.img");
    QVERIFY(WriteArchive(p, version, kRecords));
    const Contents before = Fixtures::Snapshot(p, version);
    QVERIFY(WriteFile(path("src.dff"), kNewContent));
    const QMap<QString, QByteArray> files = FilesIn(dir.path());

    IMGClass img;
    QVERIFY(img.OpenArchive(p, IMGClass::OpenReadOnly));
    SignalLog log(img);
    if (operation == "create")
        QVERIFY(!img.CreateArchive(p, version));
    else
        RunOperation(img, operation, before, path("src.dff"));
    QCOMPARE(log.errors(), QStringList{"IMG文件 " + p + " 以只读方式打开，不能修改"});
    QCOMPARE(EntriesReadBack(img, before), QString());
    img.CloseArchive();
    QVERIFY(FilesIn(dir.path()) == files);
    QCOMPARE(ArchiveIsWhole(p, version, before), QString());
}

void TestArchiveFiles::unfinishedRebuildIsReadAsCompleted()
{
    // A version 1 rebuild stopped between its renames: the new data file is in
    // place, its directory waits beside the old one.
    const QString p = path("a.img");
    QVERIFY(WriteVer1(p, kRecords));
    const Contents before = Fixtures::Snapshot(p, 1);
    QVERIFY(WriteVer1(path("new.img"), {{1, 3, "a.dff"}, {4, 2, "C.TXD"}, {6, 1, "d.ifp"}}));
    // The entries of the new layout hold the old bytes.
    QByteArray data;
    for (size_t i = 0; i < before.size(); ++i)
        PutData(data, std::vector<quint32>{1, 4, 6}[i], before[i].content);
    QVERIFY(WriteFile(p, data));
    QVERIFY(QFile::rename(path("new.dir"), path("a.dir.rebuilding")));
    QFile::remove(path("new.img"));
    const QMap<QString, QByteArray> files = FilesIn(dir.path());

    IMGClass reader;
    QVERIFY(reader.OpenArchive(p, IMGClass::OpenReadOnly));
    QVERIFY(reader.ReadsUnfinishedReplacement());
    QCOMPARE(reader.directory[1].entry.offset, 4u);
    QVERIFY(ArchiveChecker(reader).Check().empty());
    QCOMPARE(EntriesReadBack(reader, before), QString());
    reader.CloseArchive();
    QVERIFY(FilesIn(dir.path()) == files);

    IMGClass writer;
    QVERIFY(writer.OpenArchive(p));
    QVERIFY(!writer.ReadsUnfinishedReplacement());
    writer.CloseArchive();
    QVERIFY(!QFileInfo::exists(path("a.dir.rebuilding")));
    QCOMPARE(ReadRecords(p, 1)[1].offset, 4u);
    QCOMPARE(ArchiveIsWhole(p, 1, before), QString());
}

int main(int argc, char *argv[])
{
    int holderExit = 0;
    if (HoldArchiveIfAsked(&holderExit))
        return holderExit;
    QCoreApplication app(argc, argv);
    const QString operation = qEnvironmentVariable(kChildVariable);
    if (!operation.isEmpty())
        return RunChild(operation, app.arguments().value(1));
    TestArchiveFiles test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_archivefiles.moc"
