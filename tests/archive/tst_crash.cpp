// A process killed after any single changing step of an operation must leave an
// archive that opens and whose every entry holds either its old bytes or the
// bytes of the file it was given: the write order alone has to guarantee that.
// Each case runs the operation in a child process (this program, started again)
// that ends itself right after step k, for k = 1, 2, ... until it finishes.

#include "ArchiveCheck.h"
#include "ArchiveFixtures.h"

#include "archive/ArchiveIO.h"
#include "archive/IMGClass.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QtTest>

using namespace Fixtures;

namespace {

const char kChildVariable[] = "OSTREVALE_CRASH_TEST_CHILD";

// In the child: one operation on the archive, as the window would run it.
int RunChild(const QString &operation, const QStringList &args)
{
    IMGClass img;
    if (!img.OpenArchive(args.value(0)))
        return 2;
    if (operation == "import") {
        img.ImportFiles(args.mid(1));
    } else if (operation == "delete") {
        QStringListModel model(QStringList(QVector<QString>(int(img.directory.size())).toList()));
        QModelIndexList rows;
        for (const QString &row : args.mid(1))
            rows << model.index(row.toInt(), 0);
        img.DeleteEntries(rows);
    } else if (operation == "rebuild") {
        img.Rebuild();
    }
    return 0;
}

} // namespace

class TestCrash : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void everyStepLeavesAWholeArchive_data();
    void everyStepLeavesAWholeArchive();

private:
    QString path(const QString &name) const { return dir.filePath(name); }

    QTemporaryDir dir;
};

void TestCrash::init()
{
    QVERIFY(dir.isValid());
    for (const QString &f : QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot))
        QVERIFY(QFileInfo(path(f)).isDir() ? QDir(path(f)).removeRecursively() : QFile::remove(path(f)));
}

void TestCrash::everyStepLeavesAWholeArchive_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("full"); // version 2 without a free directory slot
    QTest::addColumn<QString>("operation");
    QTest::newRow("version 1, import") << 1 << false << "import";
    QTest::newRow("version 2, import") << 2 << false << "import";
    QTest::newRow("version 2, import that moves data") << 2 << true << "import";
    QTest::newRow("version 1, delete") << 1 << false << "delete";
    QTest::newRow("version 2, delete") << 2 << false << "delete";
    QTest::newRow("version 1, rebuild") << 1 << false << "rebuild";
    QTest::newRow("version 2, rebuild") << 2 << false << "rebuild";
}

void TestCrash::everyStepLeavesAWholeArchive()
{
#ifndef OSTREVALE_FAULT_INJECTION
    QSKIP("needs a build with OSTREVALE_FAULT_INJECTION");
#else
    QFETCH(int, version);
    QFETCH(bool, full);
    QFETCH(QString, operation);
    std::vector<Record> records = {{1, 3, "a.dff"}, {4, 0, "b.col"}, {9, 2, "C.TXD"}, {4, 1, "d.ifp"}};
    for (quint32 i = 0; full && records.size() < 63; ++i)
        records.push_back({11 + i, 1, "f" + QByteArray::number(i)});
    const QString p = path("crash.img");
    QVERIFY(QDir(dir.path()).mkdir("src"));
    std::vector<std::pair<QByteArray, QByteArray>> sources = {
        {"new.dff", Pattern(40, 5000)}, {"c.txd", Pattern(41, 3000)}, {"last.bin", Pattern(42, 10)}};
    QStringList args = {p};
    if (operation == "import") {
        for (const auto &s : sources) {
            args << path("src/" + QString::fromUtf8(s.first));
            QVERIFY(WriteFile(args.last(), s.second));
        }
    } else if (operation == "delete") {
        args << "2"
             << "0";
    }

    bool finished = false;
    for (int k = 1; !finished && k < 100; ++k) {
        QVERIFY(version == 1 ? WriteVer1(p, records) : WriteVer2(p, records));
        for (const QString &leftover : {p + ".rebuilding", DirPathFor(p) + ".rebuilding"})
            QFile::remove(leftover);
        const Contents old = Snapshot(p, version);

        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kChildVariable, operation);
        env.insert("OSTREVALE_CRASH_AFTER_STEP", QString::number(k));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), args);
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        const int code = child.exitCode();
        QVERIFY2(code == 0 || code == FaultInjection::CrashExitCode, qPrintable(QString::number(code)));
        finished = code == 0;

        // Opening finishes a rebuild that was stopped between its two renames.
        {
            IMGClass opener;
            QVERIFY(opener.OpenArchive(p));
        }
        // Every entry the archive now lists holds its old bytes or its new file's.
        const std::vector<Record> now = ReadRecords(p, version);
        Contents expected;
        for (size_t i = 0; i < now.size(); ++i) {
            const QString name = QString::fromUtf8(now[i].name);
            Expected e;
            for (const Expected &o : old)
                if (o.name == now[i].name)
                    e = o;
            for (const auto &s : sources)
                if (operation == "import" &&
                    QString::fromUtf8(s.first).compare(name, Qt::CaseInsensitive) == 0 &&
                    (e.name.isEmpty() || now[i].name == s.first))
                    e = Imported(s.first, s.second);
            expected.push_back(e);
        }
        QCOMPARE(VerifyArchive(p, version, expected), QString());
        if (operation == "rebuild")
            QCOMPARE(ReadRecords(p, version).size(), old.size());
        if (finished && operation == "import")
            QCOMPARE(now.size(), old.size() + 2);
        if (finished && operation == "delete")
            QCOMPARE(now.size(), old.size() - 2);
    }
    QVERIFY(finished);
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
