// A version 1 archive is two files, replaced by two renames. Whoever reads the
// files as they lie (a game, another tool, a backup) between the two sees a new
// data file with the old directory, so nothing that takes time may stand between
// them: no sync, no copy, no freeing of a replaced file. The order of the steps
// is read from the fault points' trace.

#include "ArchiveCheck.h"
#include "ArchiveFixtures.h"
#include "TestFolder.h"

#include "archive/io/ArchiveIO.h"
#include "archive/IMGClass.h"

#include <QtTest>

#include <unistd.h>

using namespace Fixtures;

class TestFileReplacement : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void twoRenamesFollowEachOther_data();
    void twoRenamesFollowEachOther();

private:
    QString path(const QString &name) const { return dir.filePath(name); }

    TestFolder dir;
};

void TestFileReplacement::init()
{
    QVERIFY(dir.Renew());
#ifdef OSTREVALE_FAULT_INJECTION
    FaultInjection::Reset();
#endif
}

void TestFileReplacement::cleanup()
{
#ifdef OSTREVALE_FAULT_INJECTION
    FaultInjection::Reset();
#endif
}

void TestFileReplacement::twoRenamesFollowEachOther_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("linked"); // which file of the pair has a second name
    QTest::newRow("rebuild") << "rebuild"
                             << "";
    QTest::newRow("rebuild, hard-linked data file") << "rebuild"
                                                    << "img";
    QTest::newRow("rebuild, hard-linked directory") << "rebuild"
                                                    << "dir";
    QTest::newRow("convert to version 1") << "convert"
                                          << "";
    QTest::newRow("convert to version 1 over an archive") << "convert over"
                                                          << "";
    QTest::newRow("convert to version 1 over a hard-linked archive") << "convert over"
                                                                     << "img";
}

void TestFileReplacement::twoRenamesFollowEachOther()
{
#ifndef OSTREVALE_FAULT_INJECTION
    QSKIP("needs a build with OSTREVALE_FAULT_INJECTION");
#else
    QFETCH(QString, operation);
    QFETCH(QString, linked);
    const std::vector<Record> records = {{5, 2, "a.dff"}, {1, 1, "b.txd"}, {9, 3, "c.col"}};
    const bool converting = operation.startsWith("convert");
    const QString source = path("source.img");
    const QString target = converting ? path("target.img") : source;
    QVERIFY(converting ? WriteVer2(source, records) : WriteVer1(source, records));
    if (operation == "convert over")
        QVERIFY(WriteVer1(target, {{0, 1, "old.dff"}}));
    if (!linked.isEmpty()) {
        const QString file = linked == "img" ? target : DirPathFor(target);
        QCOMPARE(::link(qPrintable(file), qPrintable(path("second"))), 0);
    }

    const Contents before = Snapshot(source, converting ? 2 : 1);
    IMGClass img;
    QVERIFY(img.OpenArchive(source));
    FaultInjection::StartTrace();
    if (converting)
        QVERIFY(img.ConvertTo(target, 1, true));
    else
        img.Rebuild();
    const QStringList trace = FaultInjection::Trace();

    const QString dataTarget = target + (linked == "img" ? ".copying" : "");
    const QString dirTarget = DirPathFor(target) + (linked == "dir" ? ".copying" : "");
    const int first = trace.indexOf(QStringLiteral("rename %1.rebuilding -> %2").arg(target, dataTarget));
    QVERIFY2(first >= 0, qPrintable(trace.join('\n')));
    QCOMPARE(trace.value(first + 1),
             QStringLiteral("rename %1.rebuilding -> %2").arg(DirPathFor(target), dirTarget));
    // The replaced data file is freed only after both names are in place.
    const int released = trace.indexOf(QStringLiteral("release ") + target);
    QVERIFY2(released > first + 1 || (linked == "img" && released < 0), qPrintable(trace.join('\n')));
    for (int i = 0; i < first; ++i)
        QVERIFY2(!trace[i].startsWith("release") && !trace[i].startsWith("unlock"), qPrintable(trace[i]));
    // The folder is synced after the renames, and the journal of a linked file copied.
    QVERIFY2(trace.indexOf(QRegularExpression("sync folder .*"), first) > first + 1,
             qPrintable(trace.join(QLatin1Char(10))));
    if (!linked.isEmpty())
        QVERIFY(trace.indexOf(QRegularExpression("remove .*\\.copying"), first) > first + 1);

    img.CloseArchive();
    QCOMPARE(VerifyArchive(target, 1, before), QString());
#endif
}

QTEST_GUILESS_MAIN(TestFileReplacement)
#include "tst_filereplacement.moc"
