// What a user of the real ostrevale-cli binary sees when an archive is a link,
// a private or hard-linked file, a .dir given by mistake, held by another
// writer, or lies on read-only media.

#include "ArchiveHolder.h"
#include "ArchiveWhole.h"
#include "CliRunner.h"
#include "ContentFixtures.h"
#include "FileAttributes.h"
#include "TestFolder.h"

#include <QCryptographicHash>
#include <QStandardPaths>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Fixtures;

namespace {

const std::vector<Record> kRecords = {{1, 3, "a.dff"}, {9, 2, "C.TXD"}, {4, 1, "d.ifp"}};
const QByteArray kNewContent = Pattern(50, 5000);

// The arguments of one changing command on `archive` and the entries expected after it.
QStringList ChangingCommand(const QString &command, const QString &archive, Contents *expected)
{
    if (command == "add") {
        expected->push_back(Imported("new.dff", kNewContent));
        return {"add", archive, "src/new.dff"};
    }
    if (command == "delete") {
        expected->erase(expected->begin());
        return {"delete", archive, "a.dff"};
    }
    if (command == "rename") {
        (*expected)[0].name = "renamed.dff";
        return {"rename", archive, "a.dff", "renamed.dff"};
    }
    return {"rebuild", archive};
}

} // namespace

class TestCliIdentity : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void linksStayLinks_data();
    void linksStayLinks();
    void rebuildKeepsIdentity_data();
    void rebuildKeepsIdentity();
    void hardLinksStayTogether_data();
    void hardLinksStayTogether();
    void oneFileIsNeverBothHalves_data();
    void oneFileIsNeverBothHalves();

    void concurrentAddsLoseNothing_data();
    void concurrentAddsLoseNothing();
    void heldArchiveRefusesChangesOnly_data();
    void heldArchiveRefusesChangesOnly();

    void readOnlyMountIsRead_data();
    void readOnlyMountIsRead();
    void anotherUsersReadableArchiveIsRead_data();
    void anotherUsersReadableArchiveIsRead();
    void infoLeavesAShortHeaderAlone();
    void pipeIsNeverWaitedOn();
    void unfinishedRebuildIsReadAndNoted();
    void checkTellsTheFilesAsTheyLie_data();
    void checkTellsTheFilesAsTheyLie();

private:
    QString path(const QString &name) const { return dir.filePath(name); }
    CliResult Cli(const QStringList &args) const { return RunCli(dir.path(), args); }

    TestFolder dir;
};

void TestCliIdentity::init()
{
    QVERIFY(dir.Renew());
    QVERIFY(QDir(dir.path()).mkpath("src"));
    QVERIFY(QDir(dir.path()).mkpath("out"));
    QVERIFY(WriteFile(path("src/new.dff"), kNewContent));
}

void TestCliIdentity::linksStayLinks_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("linkedFolder"); // else linked files
    QTest::addColumn<QString>("command");
    for (int v : {1, 2})
        for (bool folder : {false, true})
            for (const char *command : {"add", "delete", "rename", "rebuild"})
                QTest::newRow(qPrintable(QStringLiteral("version %1, %2, %3")
                                             .arg(v)
                                             .arg(folder ? "linked folder" : "linked files", command)))
                    << v << folder << QString(command);
}

void TestCliIdentity::linksStayLinks()
{
    QFETCH(int, version);
    QFETCH(bool, linkedFolder);
    QFETCH(QString, command);
    QVERIFY(QDir(dir.path()).mkpath("real"));
    QVERIFY(WriteArchive(path("real/a.img"), version, kRecords));
    Contents expected = Fixtures::Snapshot(path("real/a.img"), version);
    QStringList links;
    if (linkedFolder) {
        QVERIFY(QFile::link(path("real"), path("link")));
        links << "link";
    } else {
        QVERIFY(QDir(dir.path()).mkpath("link"));
        QVERIFY(QFile::link(path("real/a.img"), path("link/a.img")));
        links << "link/a.img";
        if (version == 1) {
            QVERIFY(QFile::link(path("real/a.dir"), path("link/a.dir")));
            links << "link/a.dir";
        }
    }

    const CliResult result = Cli(ChangingCommand(command, "link/a.img", &expected));
    QCOMPARE(result.err, QString());
    QCOMPARE(result.exitCode, 0);
    for (const QString &link : links)
        QVERIFY2(QFileInfo(path(link)).isSymLink(), qPrintable(link));
    QCOMPARE(ArchiveIsWhole(path("real/a.img"), version, expected), QString());
    QCOMPARE(Leftovers(path("real")), QStringList());
    const CliResult check = Cli({"check", "link/a.img"});
    QCOMPARE(check.exitCode, 0);
}

void TestCliIdentity::rebuildKeepsIdentity_data()
{
    AddVersionRows();
}

void TestCliIdentity::rebuildKeepsIdentity()
{
    QFETCH(int, version);
    const bool root = ::geteuid() == 0;
    QVERIFY(WriteArchive(path("a.img"), version, kRecords));
    const Contents before = Fixtures::Snapshot(path("a.img"), version);
    QStringList files = {"a.img"};
    if (version == 1)
        files << "a.dir";
    for (const QString &name : files) {
        QCOMPARE(::chmod(QFile::encodeName(path(name)).constData(), 0600), 0);
        if (root)
            QCOMPARE(::chown(QFile::encodeName(path(name)).constData(), 1234, 1234), 0);
        if (!SetAttribute(path(name), "user.ostrevale", "kept"))
            QSKIP("this file system keeps no extended attributes");
    }
    const CliResult result = Cli({"rebuild", "a.img"});
    QCOMPARE(result.exitCode, 0);
    for (const QString &name : files) {
        const struct stat now = StatOf(path(name));
        QCOMPARE(now.st_mode & 07777, mode_t(0600));
        if (root)
            QCOMPARE(now.st_uid, uid_t(1234));
        QCOMPARE(Attribute(path(name), "user.ostrevale"), QByteArray("kept"));
    }
    QCOMPARE(ArchiveIsWhole(path("a.img"), version, before), QString());
    if (!root)
        qInfo("not root: the owner was not checked");
}

void TestCliIdentity::hardLinksStayTogether_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("command");
    for (int v : {1, 2})
        for (const char *command : {"add", "delete", "rebuild"})
            QTest::newRow(qPrintable(QStringLiteral("version %1, %2").arg(v).arg(command)))
                << v << QString(command);
}

void TestCliIdentity::hardLinksStayTogether()
{
    QFETCH(int, version);
    QFETCH(QString, command);
    QVERIFY(WriteArchive(path("a.img"), version, kRecords));
    Contents expected = Fixtures::Snapshot(path("a.img"), version);
    QCOMPARE(
        ::link(QFile::encodeName(path("a.img")).constData(), QFile::encodeName(path("b.img")).constData()),
        0);
    if (version == 1)
        QCOMPARE(::link(QFile::encodeName(path("a.dir")).constData(),
                        QFile::encodeName(path("b.dir")).constData()),
                 0);
    const CliResult result = Cli(ChangingCommand(command, "a.img", &expected));
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(StatOf(path("a.img")).st_ino, StatOf(path("b.img")).st_ino);
    if (version == 1)
        QCOMPARE(StatOf(path("a.dir")).st_ino, StatOf(path("b.dir")).st_ino);
    QCOMPARE(ArchiveIsWhole(path("a.img"), version, expected), QString());
    QCOMPARE(ArchiveIsWhole(path("b.img"), version, expected), QString());
    QCOMPARE(Leftovers(dir.path()), QStringList());
}

void TestCliIdentity::oneFileIsNeverBothHalves_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("message");
    QTest::newRow("add to the .dir of a pair")
        << "pair.dir"
        << "ostrevale-cli: IMG文件 pair.dir 是目录文件，请打开 pair.img\n";
    QTest::newRow("add to a two-letter name") << "ab"
                                              << "ostrevale-cli: IMG文件 ab 不能同时作为数据文件和目录文件\n";
    QTest::newRow("a missing two-letter name is missing") << "cd"
                                                          << "ostrevale-cli: cd: no such archive\n";
}

void TestCliIdentity::oneFileIsNeverBothHalves()
{
    QFETCH(QString, given);
    QFETCH(QString, message);
    QVERIFY(WriteVer1(path("pair.img"), kRecords));
    QVERIFY(WriteFile(path("ab"), Pattern(3, 4096)));
    const QMap<QString, QByteArray> files = FilesIn(dir.path());
    for (const QStringList &args : {QStringList{"add", given, "src/new.dff"}, QStringList{"list", given}}) {
        const CliResult result = Cli(args);
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(result.err, message);
    }
    QVERIFY(FilesIn(dir.path()) == files);
    QCOMPARE(ArchiveIsWhole(path("pair.img"), 1, Fixtures::Snapshot(path("pair.img"), 1)), QString());
}

void TestCliIdentity::concurrentAddsLoseNothing_data()
{
    AddVersionRows();
}

// Several scripts adding to one archive at once: each either adds all its files
// or is refused at once; none loses another's.
void TestCliIdentity::concurrentAddsLoseNothing()
{
    QFETCH(int, version);
    constexpr int kWriters = 4;
    constexpr int kFilesEach = 40;
    QVERIFY(WriteArchive(path("a.img"), version, kRecords));
    const Contents before = Fixtures::Snapshot(path("a.img"), version);
    std::vector<QStringList> names(kWriters);
    for (int w = 0; w < kWriters; ++w) {
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("w%1").arg(w)));
        for (int f = 0; f < kFilesEach; ++f) {
            names[size_t(w)] << QStringLiteral("w%1/f%2.dff").arg(w).arg(f);
            QVERIFY(WriteFile(path(names[size_t(w)].last()), Pattern(w * 100 + f, 3000)));
        }
    }
    std::vector<std::unique_ptr<QProcess>> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.push_back(std::make_unique<QProcess>());
        writers.back()->setWorkingDirectory(dir.path());
        writers.back()->start(QStringLiteral(OSTREVALE_CLI_PATH),
                              QStringList{"add", "a.img"} + names[size_t(w)]);
    }
    Contents expected = before;
    int succeeded = 0;
    for (int w = 0; w < kWriters; ++w) {
        QProcess &writer = *writers[size_t(w)];
        QVERIFY(writer.waitForFinished(120000));
        const QString err = QString::fromUtf8(writer.readAllStandardError());
        if (writer.exitCode() == 0) {
            ++succeeded;
            for (int f = 0; f < kFilesEach; ++f)
                expected.push_back(
                    Imported(QStringLiteral("f%1.dff").arg(f).toUtf8(), Pattern(w * 100 + f, 3000)));
        } else {
            QCOMPARE(writer.exitCode(), 1);
            QCOMPARE(err, "ostrevale-cli: IMG文件 a.img 正被另一个程序使用\n");
        }
    }
    QVERIFY(succeeded >= 1);
    // Names repeat between writers: a later add replaces the entry of an earlier one.
    Contents unique;
    for (const Expected &e : expected) {
        auto same =
            std::find_if(unique.begin(), unique.end(), [&](const Expected &u) { return u.name == e.name; });
        if (same == unique.end())
            unique.push_back(e);
    }
    const CliResult listed = Cli({"list", "a.img"});
    QCOMPARE(listed.exitCode, 0);
    QCOMPARE(listed.out.count('\n'), int(unique.size()));
    QCOMPARE(Cli({"check", "a.img"}).exitCode, 0);
    qInfo("%d of %d writers got the archive, the others were refused", succeeded, kWriters);
}

void TestCliIdentity::heldArchiveRefusesChangesOnly_data()
{
    AddVersionRows();
}

void TestCliIdentity::heldArchiveRefusesChangesOnly()
{
    QFETCH(int, version);
    QVERIFY(WriteArchive(path("a.img"), version, kRecords));
    Contents expected = Fixtures::Snapshot(path("a.img"), version);
    ArchiveHolder holder;
    QVERIFY(holder.Start(path("a.img")));
    const QMap<QString, QByteArray> files = FilesIn(dir.path());

    for (const QString command : {"add", "delete", "rename", "rebuild"}) {
        Contents ignored = expected;
        const CliResult result = Cli(ChangingCommand(command, "a.img", &ignored));
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(result.err, QString("ostrevale-cli: IMG文件 a.img 正被另一个程序使用\n"));
    }
    QVERIFY(FilesIn(dir.path()) == files);
    for (const QStringList &args :
         {QStringList{"info", "a.img"}, QStringList{"list", "a.img"}, QStringList{"check", "a.img"},
          QStringList{"extract", "a.img", "-o", "out"}}) {
        const CliResult result = Cli(args);
        QVERIFY2(result.exitCode == 0, qPrintable(args.join(' ') + ": " + result.err));
    }
    QCOMPARE(ReadFile(path("out/a.dff")), expected[0].content);

    // The holder dies without a word: its lock goes with it.
    holder.Kill();
    const CliResult added = Cli(ChangingCommand("add", "a.img", &expected));
    QCOMPARE(added.err, QString());
    QCOMPARE(added.exitCode, 0);
    QCOMPARE(ArchiveIsWhole(path("a.img"), version, expected), QString());
}

void TestCliIdentity::readOnlyMountIsRead_data()
{
    AddVersionRows();
}

void TestCliIdentity::readOnlyMountIsRead()
{
    QFETCH(int, version);
    QVERIFY(QDir(dir.path()).mkpath("disk"));
    QVERIFY(WriteArchive(path("disk/a.img"), version, kRecords));
    Contents expected = Fixtures::Snapshot(path("disk/a.img"), version);
    const ReadOnlyMount mount(path("disk"), path("ro"));
    if (!mount.readOnly)
        QSKIP("a read-only bind mount cannot be made here (needs root and mount rights)");
    const QMap<QString, QByteArray> files = FilesIn(path("disk"));

    for (const QStringList &args :
         {QStringList{"info", "ro/a.img"}, QStringList{"list", "ro/a.img"}, QStringList{"check", "ro/a.img"},
          QStringList{"extract", "ro/a.img", "-o", "out"}}) {
        const CliResult result = Cli(args);
        QCOMPARE(result.err, QString());
        QVERIFY2(result.exitCode == 0, qPrintable(args.join(' ')));
    }
    QCOMPARE(ReadFile(path("out/C.TXD")), expected[1].content);
    for (const QString command : {"add", "delete", "rebuild"}) {
        Contents ignored = expected;
        const CliResult result = Cli(ChangingCommand(command, "ro/a.img", &ignored));
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(result.err, QString("ostrevale-cli: 打开 ro/a.img 失败\n"));
    }
    QVERIFY(FilesIn(path("disk")) == files);
    QCOMPARE(ArchiveIsWhole(path("disk/a.img"), version, expected), QString());
}

void TestCliIdentity::anotherUsersReadableArchiveIsRead_data()
{
    AddVersionRows();
}

// A write-protected archive of another user, run as a user who may only read it.
void TestCliIdentity::anotherUsersReadableArchiveIsRead()
{
    QFETCH(int, version);
    const QString setpriv = QStandardPaths::findExecutable("setpriv");
    if (::geteuid() != 0 || setpriv.isEmpty())
        QSKIP("needs root and setpriv to run the command as another user");
    QVERIFY(WriteArchive(path("a.img"), version, kRecords));
    const Contents expected = Fixtures::Snapshot(path("a.img"), version);
    for (const QString &name : QStringList{"a.img", "a.dir"})
        ::chmod(QFile::encodeName(path(name)).constData(), 0444);
    QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    QCOMPARE(::chmod(QFile::encodeName(path("out")).constData(), 0777), 0);
    const QMap<QString, QByteArray> files = FilesIn(dir.path());
    const auto asOtherUser = [&](const QStringList &args) {
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(setpriv, QStringList{"--reuid=1234", "--regid=1234", "--clear-groups",
                                           QStringLiteral(OSTREVALE_CLI_PATH)} +
                                   args);
        process.waitForFinished(60000);
        return std::make_pair(process.exitCode(), QString::fromUtf8(process.readAllStandardError()));
    };
    for (const QStringList &args :
         {QStringList{"info", "a.img"}, QStringList{"list", "a.img"}, QStringList{"check", "a.img"},
          QStringList{"extract", "a.img", "-o", "out"}}) {
        const auto result = asOtherUser(args);
        QVERIFY2(result.first == 0, qPrintable(args.join(' ') + ": " + result.second));
    }
    QCOMPARE(ReadFile(path("out/a.dff")), expected[0].content);
    for (const QString command : {"add", "rebuild"}) {
        Contents ignored = expected;
        const auto result = asOtherUser(ChangingCommand(command, "a.img", &ignored));
        QCOMPARE(result.first, 1);
        QCOMPARE(result.second, QString("ostrevale-cli: 打开 a.img 失败\n"));
    }
    QMap<QString, QByteArray> now = FilesIn(dir.path());
    for (auto it = now.begin(); it != now.end();)
        it = it.key().startsWith("/out/") ? now.erase(it) : std::next(it);
    QVERIFY(now == files);
    QCOMPARE(ArchiveIsWhole(path("a.img"), version, expected), QString());
}

void TestCliIdentity::infoLeavesAShortHeaderAlone()
{
    QVERIFY(WriteFile(path("new.img"), QByteArray("VER2\0\0\0\0", 8)));
    const CliResult info = Cli({"info", "new.img"});
    QCOMPARE(info.exitCode, 0);
    QVERIFY(info.out.contains("free directory slots: 63"));
    QCOMPARE(QFileInfo(path("new.img")).size(), qint64(8));
    QCOMPARE(Cli({"check", "new.img"}).exitCode, 0);
    QCOMPARE(QFileInfo(path("new.img")).size(), qint64(8));
}

void TestCliIdentity::pipeIsNeverWaitedOn()
{
    // Reading a pipe would wait for a writer that never comes.
    QCOMPARE(::mkfifo(QFile::encodeName(path("pipe.img")).constData(), 0600), 0);
    for (const QString command : {"info", "add"}) {
        const CliResult result = Cli(command == "add" ? QStringList{"add", "pipe.img", "src/new.dff"}
                                                      : QStringList{"info", "pipe.img"});
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(result.err, QString("ostrevale-cli: 打开 pipe.img 失败\n"));
    }
}

void TestCliIdentity::unfinishedRebuildIsReadAndNoted()
{
    // A version 1 rebuild stopped between its renames, made by a real rebuild
    // whose directory rename is the one that fails.
    QVERIFY(WriteVer1(path("a.img"), kRecords));
    const Contents before = Fixtures::Snapshot(path("a.img"), 1);
    {
        IMGClass img;
        QVERIFY(img.OpenArchive(path("a.img")));
#ifdef OSTREVALE_FAULT_INJECTION
        FaultInjection::Reset();
        FaultInjection::FailAt(FaultInjection::Step::Rename, 2);
        img.Rebuild();
        FaultInjection::Reset();
#else
        QSKIP("needs a build with OSTREVALE_FAULT_INJECTION");
#endif
    }
    QVERIFY(QFileInfo::exists(path("a.dir.rebuilding")));
    const QMap<QString, QByteArray> files = FilesIn(dir.path());

    const CliResult listed = Cli({"list", "a.img"});
    QCOMPARE(listed.exitCode, 0);
    QCOMPARE(listed.err, QString("ostrevale-cli: a.img: a rebuild or directory write was stopped half way; "
                                 "reading the archive as the next changing command will complete it\n"));
    QCOMPARE(listed.out.count('\n'), 3);
    // The entries are sound as they will be, but not as a game reads the files now.
    const CliResult checked = Cli({"check", "a.img"});
    QCOMPARE(checked.exitCode, 1);
    const QString dirFile = QFileInfo(path("a.dir")).canonicalFilePath();
    QCOMPARE(
        checked.err,
        QString("ostrevale-cli: a.img: the files on disk are not the archive: a rebuild, convert or "
                "directory write was stopped half way (%1 is still to be replaced by %1.rebuilding); run "
                "any changing command, such as ostrevale-cli rebuild, or open it in the editor, to "
                "complete it\n")
            .arg(dirFile));
    QCOMPARE(checked.out, QString("3 entries checked, 1 problem found\n"));
    QVERIFY(FilesIn(dir.path()) == files);

    Contents expected = before;
    const CliResult added = Cli(ChangingCommand("add", "a.img", &expected));
    QCOMPARE(added.err, QString());
    QCOMPARE(added.exitCode, 0);
    QVERIFY(!QFileInfo::exists(path("a.dir.rebuilding")));
    QCOMPARE(ArchiveIsWhole(path("a.img"), 1, expected), QString());
}

void TestCliIdentity::checkTellsTheFilesAsTheyLie_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("version 1, rebuild stopped before its renames") << "temporaries" << 0;
    QTest::newRow("version 2, directory write pending in its journal") << "journal" << 1;
    QTest::newRow("version 2, directory write already made, journal left") << "journal made" << 0;
    QTest::newRow("version 2, journal torn before the write began") << "journal torn" << 0;
}

// The files a game reads are whole unless a stopped replacement left them
// otherwise than completing it will; temporaries alone only earn a note.
void TestCliIdentity::checkTellsTheFilesAsTheyLie()
{
    QFETCH(QString, state);
    QFETCH(int, exitCode);
    const QString img = path("a.img");
    QVERIFY(state == "temporaries" ? WriteVer1(img, kRecords) : WriteVer2(img, kRecords));
    QString leftovers;
    if (state == "temporaries") {
        QVERIFY(QFile::copy(img, img + ".rebuilding") &&
                QFile::copy(path("a.dir"), path("a.dir.rebuilding")));
        leftovers =
            QStringLiteral("%1.rebuilding, %2.rebuilding")
                .arg(QFileInfo(img).canonicalFilePath(), QFileInfo(path("a.dir")).canonicalFilePath());
    } else {
        // A journal as the engine lays it out: magic, position and length, the
        // bytes, the SHA-1 of all before; here the record of entry 1 renamed.
        Record renamed = kRecords[1];
        renamed.name = "road.txd";
        const qint64 position = VER2_HEADER_SIZE + DIRECTORY_RECORD_SIZE;
        QByteArray journal = QByteArray("OSTRVJ01") + LE32(quint32(position)) + LE32(0) +
                             LE32(quint32(DIRECTORY_RECORD_SIZE)) + LE32(0) + RecordBytes(renamed);
        journal += QCryptographicHash::hash(journal, QCryptographicHash::Sha1);
        if (state == "journal torn")
            journal.chop(5);
        QVERIFY(WriteFile(img + ".journal", journal));
        if (state == "journal made") {
            QFile file(img);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(position));
            QCOMPARE(file.write(RecordBytes(renamed)), qint64(DIRECTORY_RECORD_SIZE));
        }
        leftovers = QFileInfo(img).canonicalFilePath() + ".journal";
    }
    const QMap<QString, QByteArray> files = FilesIn(dir.path());
    const CliResult checked = Cli({"check", "a.img"});
    QCOMPARE(checked.exitCode, exitCode);
    if (exitCode == 0)
        QCOMPARE(checked.err,
                 QString("ostrevale-cli: a.img: the archive on disk is whole; left over from a stopped "
                         "rebuild or directory write, and no part of it: %1\n")
                     .arg(leftovers));
    else
        QVERIFY2(checked.err.contains(QStringLiteral("(%1 is still to be replaced by %2)")
                                          .arg(QFileInfo(img).canonicalFilePath(), leftovers)),
                 qPrintable(checked.err));
    QVERIFY(FilesIn(dir.path()) == files);
    // Reading reads the pending write as made; the next opening for changes makes it.
    const bool renaming = state == "journal" || state == "journal made";
    QCOMPARE(Cli({"list", "a.img"}).out.contains("road.txd"), renaming);
    QCOMPARE(Cli({"rename", "a.img", "a.dff", "first.dff"}).exitCode, 0);
    const CliResult after = Cli({"check", "a.img"});
    QCOMPARE(after.err, state == "temporaries" ? checked.err : QString());
    QCOMPARE(after.exitCode, 0);
    QCOMPARE(Cli({"list", "a.img"}).out.contains("road.txd"), renaming);
    QVERIFY(!QFileInfo::exists(img + ".journal"));
}

int main(int argc, char *argv[])
{
    int holderExit = 0;
    if (HoldArchiveIfAsked(&holderExit))
        return holderExit;
    QCoreApplication app(argc, argv);
    TestCliIdentity test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_cli_identity.moc"
