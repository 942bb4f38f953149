// A process killed after any single changing step of an operation must leave an
// archive that opens, that the checker finds nothing wrong with, whose untouched
// entries keep their bytes and whose targeted entries are wholly old or wholly
// new: the write order alone has to guarantee that. Each case runs the operation
// in a child process (this program, started again) that ends itself right after
// step k, for k = 1, 2, ... until the operation runs to its end.

#include "ArchiveCheck.h"
#include "ArchiveFixtures.h"
#include "TestFolder.h"

#include "archive/ArchiveChecker.h"
#include "archive/io/ArchiveIO.h"
#include "archive/IMGClass.h"
#include "archive/StoppedReplacement.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QtTest>

#include <map>
#include <set>

using namespace Fixtures;

namespace {

const char kChildVariable[] = "OSTREVALE_CRASH_TEST_CHILD";

// In the child: one operation on the archive, as the window would run it.
int RunChild(const QString &operation, const QStringList &args)
{
    IMGClass img;
    if (operation.startsWith("create"))
        return img.CreateArchive(args.value(0), operation.right(1).toInt()) ? 0 : 3;
    if (!img.OpenArchive(args.value(0)))
        return 2;
    if (operation == "import") {
        img.ImportFiles(args.mid(1));
    } else if (operation == "delete") {
        std::vector<int> rows;
        for (const QString &row : args.mid(1))
            rows.push_back(row.toInt());
        img.DeleteEntries(rows);
    } else if (operation == "rebuild") {
        img.Rebuild();
    } else if (operation == "rename") {
        return img.RenameEntry(args.value(1).toInt(), args.value(2)) ? 0 : 3;
    } else if (operation == "convert") {
        return img.ConvertTo(args.value(1), args.value(2).toInt(), args.value(3) == "force") ? 0 : 3;
    } else if (operation == "importfrom") {
        IMGClass source;
        if (!source.OpenArchive(args.value(1), IMGClass::OpenReadOnly))
            return 2;
        std::vector<int> all(source.directory.size());
        for (size_t i = 0; i < all.size(); ++i)
            all[i] = int(i);
        img.ImportEntriesFrom(source, all);
    }
    return 0;
}

#ifdef OSTREVALE_FAULT_INJECTION
// The files an import may be given: new names, and names of entries it replaces.
const std::map<QString, QByteArray> &Sources()
{
    static const std::map<QString, QByteArray> sources = {
        {"new.dff", Pattern(40, 5000)}, // new
        {"c.txd", Pattern(41, 3000)},   // replaces C.TXD
        {"last.bin", Pattern(42, 10)},  // new
        {"A.DFF", Pattern(43, 7000)},   // replaces a.dff
        {"empty.col", QByteArray()},    // new, no data
    };
    return sources;
}

std::vector<Record> Fixture(bool full)
{
    std::vector<Record> records = {{1, 3, "a.dff"}, {4, 0, "b.col"}, {9, 2, "C.TXD"}, {4, 1, "d.ifp"}};
    // Version 2 with a directory that fills the header sector: a new name moves data.
    for (quint32 i = 0; full && records.size() < 63; ++i)
        records.push_back({11 + i, 1, "f" + QByteArray::number(i)});
    return records;
}

// The archive whose entries an add-from copies: the import's sources as entries,
// in a version other than the target's.
bool WriteImportSource(const QString &imgPath, int version, const QStringList &names)
{
    std::vector<Record> records;
    quint32 next = version == 1 ? 0 : 1;
    for (const QString &name : names) {
        const quint16 size = quint16(BytesToSectors(Sources().at(name).size()));
        records.push_back({next, size, name.toUtf8()});
        next += size;
    }
    QByteArray img = version == 2 ? Ver2Header(records) : QByteArray();
    for (size_t i = 0; i < records.size(); ++i)
        PutData(img, records[i].offset, Sources().at(names[int(i)]));
    return WriteFile(imgPath, img) &&
           (version == 2 || WriteFile(DirPathFor(imgPath), DirectoryBytes(records)));
}

// After a kill during a convert: the target is absent, the archive that stood
// there before, or the whole copy of the source (opening it finishes a version 1
// swap that was stopped between its renames).
QString CheckConvertTarget(const QString &target, int newVersion, const Contents &source, int existedVersion,
                           const Contents &existed, bool finished)
{
    if (!QFileInfo::exists(target)) {
        if (QFileInfo::exists(DirPathFor(target)) && newVersion == 1 && existedVersion == 0)
            return QStringLiteral("a directory without its data file");
        return finished || existedVersion != 0 ? QStringLiteral("the target is gone") : QString();
    }
    IMGClass opener;
    if (!opener.OpenArchive(target))
        return QStringLiteral("the target does not open");
    if (!ArchiveChecker(opener).Check().empty())
        return QStringLiteral("the checker finds problems in the target");
    // The old and the new archive are of different versions.
    if (opener.version == newVersion) {
        const QString problem = VerifyArchive(target, newVersion, source);
        return problem.isEmpty() ? QString() : QStringLiteral("the new target: ") + problem;
    }
    if (finished || opener.version != existedVersion)
        return QStringLiteral("the target is of version %1").arg(opener.version);
    const QString problem = VerifyArchive(target, existedVersion, existed);
    return problem.isEmpty() ? QString() : QStringLiteral("the old target: ") + problem;
}

// The archive as a reader of the raw files sees it, before anything completes
// a stopped replacement: its version (0 when the files make none) and entries.
std::pair<int, Contents> AsTheyLie(const QString &imgPath)
{
    const QByteArray img = ReadFile(imgPath);
    if (img.startsWith("VER2") && img.size() >= 8 &&
        VER2_HEADER_SIZE + DIRECTORY_RECORD_SIZE * qint64(ReadUInt32LE(img.constData() + 4)) <= img.size())
        return {2, Snapshot(imgPath, 2)};
    if (QFileInfo(imgPath).isFile() && QFileInfo(DirPathFor(imgPath)).isFile())
        return {1, Snapshot(imgPath, 1)};
    return {0, Contents()};
}

bool SameContents(const Contents &a, const Contents &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || a[i].size != b[i].size || a[i].content != b[i].content)
            return false;
    return true;
}

// What the engine says of the files as they lie must be what they are: the
// archive that the next opening leaves (`recovered`, read after it), or not.
QString CheckFilesAsTheyLie(const std::pair<int, Contents> &asTheyLie, bool saidWhole, int recoveredVersion,
                            const Contents &recovered)
{
    const bool whole = asTheyLie.first == recoveredVersion && SameContents(asTheyLie.second, recovered);
    if (whole == saidWhole)
        return QString();
    return whole ? QStringLiteral("the files as they lie are the archive, but are said not to be")
                 : QStringLiteral("the files as they lie are not the archive, but are said to be");
}

// From the trace of a whole run: a tear of every write into the version 2
// directory where it stands (`directoryEnd` bytes from the start of `imgPath`)
// at every 512-byte sector boundary it crosses, in the middle of every sector it
// touches, and one byte short of its end; and a tear of every journal's write in
// the middle. Write steps are counted as the fault points count them (copies too).
QStringList TearPlans(const QStringList &trace, const QString &imgPath, qint64 directoryEnd)
{
    QStringList plans;
    int n = 0;
    for (const QString &line : trace) {
        if (line.startsWith("copy "))
            ++n;
        if (!line.startsWith("write "))
            continue;
        ++n;
        const QStringList parts = line.split(' ');
        const qint64 size = parts.value(parts.size() - 1).toLongLong();
        const qint64 position = parts.value(parts.size() - 2).toLongLong();
        const QString file = parts.mid(1, parts.size() - 3).join(' ');
        std::set<qint64> lengths;
        if (file.isEmpty() && size > 1) {
            lengths.insert(size / 2); // the journal, created from a handle
        } else if (file == imgPath && position < directoryEnd) {
            for (qint64 at = (position / 256 + 1) * 256; at < position + size; at += 256)
                lengths.insert(at - position);
            lengths.insert(size / 2);
            lengths.insert(size - 1);
        }
        for (qint64 length : lengths)
            if (length > 0)
                plans << QStringLiteral("%1:%2").arg(n).arg(length);
    }
    return plans;
}

QStringList Names(const Contents &contents)
{
    QStringList names;
    for (const Expected &e : contents)
        names << QString::fromUtf8(e.name);
    return names;
}
#endif

} // namespace

class TestCrash : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void everyStepLeavesAWholeArchive_data();
    void everyStepLeavesAWholeArchive();
    void tornDirectoryWriteLeavesAWholeArchive_data();
    void tornDirectoryWriteLeavesAWholeArchive();
    void cleanupTestCase();

private:
    // Runs the current row's operation in a child again and again: ended after
    // step k, for k = 1, 2, ..., or with one of its directory writes torn.
    void runScenario(bool tearing);
    QString path(const QString &name) const { return dir.filePath(name); }

    TestFolder dir;
    int killPoints = 0;
    int scenarios = 0;
};

void TestCrash::init()
{
    QVERIFY(dir.Renew());
}

void TestCrash::cleanupTestCase()
{
    qInfo("%d scenarios, %d kill points", scenarios, killPoints);
}

void TestCrash::everyStepLeavesAWholeArchive_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("full"); // version 2 without a free directory slot
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QStringList>("arguments"); // source names, rows, or row and new name
    const QStringList mixed = {"new.dff", "c.txd", "last.bin"};
    const QStringList fresh = {"new.dff", "last.bin", "empty.col"};
    const QStringList replacing = {"c.txd", "A.DFF"};
    for (int v : {1, 2}) {
        const QString version = QStringLiteral("version %1, ").arg(v);
        QTest::newRow(qPrintable(version + "import of new names")) << v << false << "import" << fresh;
        QTest::newRow(qPrintable(version + "import of replacing names"))
            << v << false << "import" << replacing;
        QTest::newRow(qPrintable(version + "import of new and replacing names"))
            << v << false << "import" << mixed;
        QTest::newRow(qPrintable(version + "delete")) << v << false << "delete" << QStringList{"2", "0"};
        QTest::newRow(qPrintable(version + "delete of every entry"))
            << v << false << "delete" << QStringList{"0", "1", "2", "3"};
        QTest::newRow(qPrintable(version + "rebuild")) << v << false << "rebuild" << QStringList();
        QTest::newRow(qPrintable(version + "rename"))
            << v << false << "rename" << QStringList{"2", "road.txd"};
        QTest::newRow(qPrintable(version + "create version 1 over it"))
            << v << false << "create1" << QStringList();
        QTest::newRow(qPrintable(version + "create version 2 over it"))
            << v << false << "create2" << QStringList();
    }
    QTest::newRow("version 2 full, import of new names that moves data") << 2 << true << "import" << fresh;
    QTest::newRow("version 2 full, import of new and replacing names") << 2 << true << "import" << mixed;
    QTest::newRow("version 2 full, import of replacing names") << 2 << true << "import" << replacing;
    QTest::newRow("version 2 full, delete") << 2 << true << "delete" << QStringList{"2", "0"};
    QTest::newRow("version 2 full, rebuild") << 2 << true << "rebuild" << QStringList();
    // Convert: the new version, and whether an archive stands at the target already.
    for (int v : {1, 2}) {
        for (int to : {1, 2}) {
            const QString name = QStringLiteral("version %1, convert to version %2").arg(v).arg(to);
            QTest::newRow(qPrintable(name)) << v << false << "convert" << QStringList{QString::number(to)};
            QTest::newRow(qPrintable(name + " over an existing archive"))
                << v << false << "convert" << QStringList{QString::number(to), "force"};
        }
        const QString version = QStringLiteral("version %1, ").arg(v);
        QTest::newRow(qPrintable(version + "add from an archive, new and replacing names"))
            << v << false << "importfrom" << mixed;
        QTest::newRow(qPrintable(version + "add from an archive, replacing names"))
            << v << false << "importfrom" << replacing;
    }
    QTest::newRow("version 2 full, add from an archive, new names that move data")
        << 2 << true << "importfrom" << fresh;
    QTest::newRow("version 2 full, convert to version 1") << 2 << true << "convert" << QStringList{"1"};
}

void TestCrash::everyStepLeavesAWholeArchive()
{
    runScenario(false);
}

// A power cut can tear a write: a version 2 directory (written where it stands)
// cut off after any sector, or inside one, must still leave the old archive or
// the new one, through the journal that went to the disk before it.
void TestCrash::tornDirectoryWriteLeavesAWholeArchive_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("full");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("import of new names, moving data out of the directory's way")
        << 2 << true << "import" << QStringList{"new.dff", "last.bin", "empty.col"};
    QTest::newRow("import of replacing names") << 2 << true << "import" << QStringList{"c.txd", "A.DFF"};
    QTest::newRow("delete") << 2 << true << "delete" << QStringList{"2", "0"};
    QTest::newRow("rename") << 2 << true << "rename" << QStringList{"2", "road.txd"};
    QTest::newRow("add from an archive, moving data")
        << 2 << true << "importfrom" << QStringList{"new.dff", "last.bin", "empty.col"};
}

void TestCrash::tornDirectoryWriteLeavesAWholeArchive()
{
    runScenario(true);
}

void TestCrash::runScenario(bool tearing)
{
#ifndef OSTREVALE_FAULT_INJECTION
    Q_UNUSED(tearing);
    QSKIP("needs a build with OSTREVALE_FAULT_INJECTION");
#else
    QFETCH(int, version);
    QFETCH(bool, full);
    QFETCH(QString, operation);
    QFETCH(QStringList, arguments);
    const std::vector<Record> records = Fixture(full);
    const QString p = path("crash.img");
    // Run once more through links (see tests/archive/CMakeLists.txt): the operations are
    // given symbolic links to the .img and .dir; every byte must land in their targets.
    const bool throughLinks = qEnvironmentVariableIsSet("OSTREVALE_CRASH_THROUGH_LINKS");
    const QString target = throughLinks ? path("real/crash.img") : p;
    QVERIFY(QDir(dir.path()).mkpath("real"));
    const bool importing = operation == "import" || operation == "importfrom";
    const bool converting = operation == "convert";
    const QString converted = path("converted.img");
    const int targetVersion = converting ? arguments.first().toInt() : 0;
    const int existedVersion = converting && arguments.contains("force") ? 3 - targetVersion : 0;
    QStringList args = {p};
    if (operation == "importfrom") {
        QVERIFY(QDir(dir.path()).mkdir("src"));
        args << path("src/from.img");
        QVERIFY(WriteImportSource(args.last(), 3 - version, arguments));
    } else if (converting) {
        args << converted << arguments;
    } else if (importing) {
        QVERIFY(QDir(dir.path()).mkdir("src"));
        for (const QString &name : arguments) {
            args << path("src/" + name);
            QVERIFY(WriteFile(args.last(), Sources().at(name)));
        }
    } else {
        args << arguments;
    }
    // Names of old entries the operation may change or remove.
    QSet<QByteArray> targets;
    if (operation == "delete" || operation == "rename")
        targets << records[size_t(arguments.first().toInt())].name;
    if (operation == "delete")
        for (const QString &row : arguments)
            targets << records[size_t(row.toInt())].name;
    for (const QString &name : importing ? arguments : QStringList())
        for (const Record &r : records)
            if (QString::fromUtf8(r.name).compare(name, Qt::CaseInsensitive) == 0)
                targets << r.name;
    const bool creating = operation.startsWith("create");

    // Tearing: run 0 traces a whole run, whose writes give the tears of the runs after it.
    QVERIFY(QDir(dir.path()).mkpath("log"));
    const QString traceFile = path("log/trace");
    QStringList tears;
    bool finished = false;
    int k = tearing ? 0 : 1;
    for (; tearing ? k <= tears.size() : (!finished && k < 200); ++k) {
        QFile::remove(DirPathFor(target));
        QVERIFY(version == 1 ? WriteVer1(target, records) : WriteVer2(target, records));
        for (const QString &leftover : {target + ".rebuilding", DirPathFor(target) + ".rebuilding"})
            QFile::remove(leftover);
        for (const QString &name : throughLinks ? QStringList{p, DirPathFor(p)} : QStringList()) {
            QFile::remove(name);
            QVERIFY(QFile::link(name == p ? target : DirPathFor(target), name));
        }
        const Contents old = Snapshot(p, version);
        for (const QString &t : {converted, DirPathFor(converted), converted + ".rebuilding",
                                 DirPathFor(converted) + ".rebuilding"})
            QFile::remove(t);
        if (existedVersion == 1)
            QVERIFY(WriteVer1(converted, {{0, 2, "there.dff"}}));
        else if (existedVersion == 2)
            QVERIFY(WriteVer2(converted, {{1, 2, "there.dff"}}));
        const Contents existed = existedVersion ? Snapshot(converted, existedVersion) : Contents();
        if (k == 1) {
            IMGClass fixture;
            QVERIFY(fixture.OpenArchive(p));
            QVERIFY(ArchiveChecker(fixture).Check().empty());
        }

        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kChildVariable, operation);
        if (!tearing)
            env.insert("OSTREVALE_CRASH_AFTER_STEP", QString::number(k));
        else if (k == 0)
            env.insert("OSTREVALE_TRACE_FILE", traceFile);
        else
            env.insert("OSTREVALE_TEAR_WRITE", tears[k - 1]);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), args);
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        const int code = child.exitCode();
        QVERIFY2(code == 0 || code == FaultInjection::CrashExitCode,
                 qPrintable(QStringLiteral("step %1: exit code %2").arg(k).arg(code)));
        finished = code == 0;
        QVERIFY(!tearing || finished == (k == 0));
        if (tearing && k == 0) {
            const QStringList trace = QString::fromUtf8(ReadFile(traceFile)).split('\n', Qt::SkipEmptyParts);
            tears = TearPlans(trace, p, SECTOR_SIZE);
            QVERIFY2(!tears.isEmpty(), qPrintable(trace.join('\n')));
        }
        const QString where = tearing && k > 0 ? QStringLiteral("torn write %1: ").arg(tears[k - 1])
                                               : QStringLiteral("after step %1: ").arg(k);

        // The files as a game or another tool reads them, before anything completes them.
        const std::pair<int, Contents> lying = AsTheyLie(p);
        const bool saidWhole = StoppedReplacement::Of(p).FilesAreTheArchive();
        const std::pair<int, Contents> targetLying = AsTheyLie(converted);
        const bool targetSaidWhole = StoppedReplacement::Of(converted).FilesAreTheArchive();
        // Reading writes nothing and reads the archive as the opening below will leave it.
        std::vector<Record> read;
        {
            IMGClass reader;
            QVERIFY2(reader.OpenArchive(p, IMGClass::OpenReadOnly),
                     qPrintable(where + "does not open to read"));
            for (const IMGDirectoryEntryWrap &wrap : reader.directory)
                read.push_back({wrap.entry.offset, wrap.entry.size, QByteArray(wrap.entry.name)});
        }

        // Opening finishes a rebuild that was stopped between its two renames.
        int nowVersion = 0;
        {
            IMGClass opener;
            QVERIFY2(opener.OpenArchive(p), qPrintable(where + "does not open"));
            nowVersion = opener.version;
            const std::vector<ArchiveProblem> problems = ArchiveChecker(opener).Check();
            QVERIFY2(problems.empty(),
                     qPrintable(where + QStringLiteral("the checker finds %1 problems, the first "
                                                       "of kind %2 at entry %3")
                                            .arg(problems.size())
                                            .arg(problems.empty() ? 0 : int(problems[0].kind))
                                            .arg(problems.empty() ? 0 : problems[0].entry)));
        }
        QVERIFY(creating || nowVersion == version);
        const Contents now = Snapshot(p, nowVersion);
        const QString lyingProblem = CheckFilesAsTheyLie(lying, saidWhole, nowVersion, now);
        QVERIFY2(lyingProblem.isEmpty(), qPrintable(where + lyingProblem));
        const std::vector<Record> opened = ReadRecords(p, nowVersion);
        QCOMPARE(read.size(), opened.size());
        for (size_t i = 0; i < read.size(); ++i)
            QVERIFY2(read[i].offset == opened[i].offset && read[i].size == opened[i].size &&
                         read[i].name == opened[i].name,
                     qPrintable(where + "read otherwise than opened: " + read[i].name));

        if (creating) {
            // The old archive whole, or the new, empty one.
            if (!now.empty()) {
                QCOMPARE(nowVersion, version);
                QCOMPARE(VerifyArchive(p, version, old), QString());
            }
            QVERIFY2(!finished || (now.empty() && nowVersion == operation.right(1).toInt()),
                     qPrintable(where));
            continue;
        }

        if (converting) {
            // The source is only read; the target is never half an archive.
            QCOMPARE(VerifyArchive(p, version, old), QString());
            QCOMPARE(CheckConvertTarget(converted, targetVersion, old, existedVersion, existed, finished),
                     QString());
            const std::pair<int, Contents> target = AsTheyLie(converted); // as the opening left it
            QCOMPARE(CheckFilesAsTheyLie(targetLying, targetSaidWhole, target.first, target.second),
                     QString());
            continue;
        }

        // Every entry listed now holds its old bytes or those of the file it was given.
        Contents expected;
        for (const Expected &n : now) {
            Expected e;
            for (const Expected &o : old)
                if (o.name == n.name)
                    e = o;
            for (const QString &name : importing ? arguments : QStringList())
                if (QString::fromUtf8(n.name).compare(name, Qt::CaseInsensitive) == 0 &&
                    (e.name.isEmpty() || n.name == name.toUtf8()))
                    e = Imported(name.toUtf8(), Sources().at(name));
            if (operation == "rename" && n.name == arguments.value(1).toUtf8())
                e = {n.name, old[size_t(arguments.first().toInt())].size,
                     old[size_t(arguments.first().toInt())].content};
            QVERIFY2(!e.name.isEmpty(), qPrintable(where + "an entry that was never there: " + n.name));
            expected.push_back(e);
        }
        QCOMPARE(VerifyArchive(p, version, expected), QString());

        // Untouched entries are all there, in their old order.
        QStringList untouched;
        for (const Expected &o : old)
            if (!targets.contains(o.name))
                untouched << QString::fromUtf8(o.name);
        QStringList kept;
        for (const QString &name : Names(now))
            if (untouched.contains(name))
                kept << name;
        QCOMPARE(kept, untouched);

        // A temporary of a directory write never outlives an opening.
        QVERIFY(!QFileInfo::exists(DirPathFor(target) + ".writing"));
        if (operation != "rebuild") {
            QVERIFY(!QFileInfo::exists(target + ".rebuilding"));
            QVERIFY(!QFileInfo::exists(DirPathFor(target) + ".rebuilding"));
        }
        QVERIFY2(!throughLinks || (QFileInfo(p).isSymLink() && QFileInfo(DirPathFor(p)).isSymLink()),
                 qPrintable(where + "a link was replaced"));
        QVERIFY(!throughLinks || (QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::Hidden) ==
                                  QStringList{"crash.dir", "crash.img"}));

        if (finished) {
            const int added = importing ? arguments.size() - targets.size() : 0;
            const int removed = operation == "delete" ? arguments.size() : 0;
            QCOMPARE(int(now.size()), int(old.size()) + added - removed);
            for (const QString &name : importing ? arguments : QStringList())
                QVERIFY2(Names(now).contains(name), qPrintable(name));
            if (operation == "rename")
                QCOMPARE(QString::fromUtf8(now[size_t(arguments.first().toInt())].name), arguments.value(1));
            if (operation == "rebuild")
                QCOMPARE(ReadRecords(p, version).front().offset, version == 1 ? 1u : 3u);
        }
    }
    if (tearing) {
        ++scenarios;
        killPoints += tears.size();
        qInfo("%d torn writes", int(tears.size()));
        return;
    }
    QVERIFY(finished);
    ++scenarios;
    killPoints += k - 2; // the last run ended by itself
    qInfo("%d kill points", k - 2);
#endif
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString operation = qEnvironmentVariable(kChildVariable);
    if (!operation.isEmpty())
        return RunChild(operation, app.arguments().mid(1));
    TestCrash test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crash.moc"
