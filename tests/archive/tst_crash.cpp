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
#include "archive/ArchiveIO.h"
#include "archive/IMGClass.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QtTest>

#include <map>

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
    void cleanupTestCase();

private:
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
}

void TestCrash::everyStepLeavesAWholeArchive()
{
#ifndef OSTREVALE_FAULT_INJECTION
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
    const bool importing = operation == "import";
    QStringList args = {p};
    if (importing) {
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

    bool finished = false;
    int k = 1;
    for (; !finished && k < 200; ++k) {
        QFile::remove(DirPathFor(target));
        QVERIFY(version == 1 ? WriteVer1(target, records) : WriteVer2(target, records));
        for (const QString &leftover : {target + ".rebuilding", DirPathFor(target) + ".rebuilding"})
            QFile::remove(leftover);
        for (const QString &name : throughLinks ? QStringList{p, DirPathFor(p)} : QStringList()) {
            QFile::remove(name);
            QVERIFY(QFile::link(name == p ? target : DirPathFor(target), name));
        }
        const Contents old = Snapshot(p, version);
        if (k == 1) {
            IMGClass fixture;
            QVERIFY(fixture.OpenArchive(p));
            QVERIFY(ArchiveChecker(fixture).Check().empty());
        }

        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kChildVariable, operation);
        env.insert("OSTREVALE_CRASH_AFTER_STEP", QString::number(k));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), args);
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        const int code = child.exitCode();
        QVERIFY2(code == 0 || code == FaultInjection::CrashExitCode,
                 qPrintable(QStringLiteral("step %1: exit code %2").arg(k).arg(code)));
        finished = code == 0;
        const QString where = QStringLiteral("after step %1: ").arg(k);

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
