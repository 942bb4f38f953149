// Converting an archive into a new one of either version: entries in directory
// order, names and `reserved` kept, data packed without gaps, every entry's
// sectors as they were; the source only read; an existing target refused
// unless replacing it was asked for; no temporaries left behind.

#include "ArchiveCheck.h"
#include "ArchiveFixtures.h"
#include "ContentFixtures.h"
#include "SignalLog.h"
#include "TestFolder.h"

#include "archive/ArchiveChecker.h"
#include "archive/io/ArchiveIO.h"
#include "archive/IMGClass.h"

#include <QtTest>

using namespace Fixtures;

class TestConvert : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void convertsEveryEntry_data();
    void convertsEveryEntry();
    void existingTargetIsRefused_data();
    void existingTargetIsRefused();
    void sourceIsNeverTheTarget();
    void failedWriteLeavesTheTargetAsItWas();

private:
    QString path(const QString &name) const { return dir.filePath(name); }
    TestFolder dir;
};

namespace {

// Out of directory order, with gaps, a shared offset, reserved values, namesakes,
// a name of all 24 bytes and a last sector cut short by the end of the file.
std::vector<Item> UntidySource()
{
    return {{"b.txd", Pattern(1, 5000), 30, 0, 7},
            {"a.dff", Pattern(2, 2048), 12},
            {"zero.col", QByteArray(), 12, 0},
            {"A.DFF", Pattern(3, 100), 50, 4, 0xBEEF},
            {"abcdefghijklmnopqrstuvwx", Pattern(4, 300), 40},
            {"last.ifp", Pattern(5, 700), 60}};
}

} // namespace

void TestConvert::init()
{
    QVERIFY(dir.Renew());
#ifdef OSTREVALE_FAULT_INJECTION
    FaultInjection::Reset();
#endif
}

void TestConvert::convertsEveryEntry_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    for (int from : {1, 2})
        for (int to : {1, 2})
            QTest::newRow(qPrintable(QStringLiteral("version %1 to %2").arg(from).arg(to))) << from << to;
}

void TestConvert::convertsEveryEntry()
{
    QFETCH(int, from);
    QFETCH(int, to);
    const QString source = path("source.img"), target = path("target.img");
    std::vector<Record> records;
    QVERIFY(WriteArchive(source, from, UntidySource(), true, &records));
    const QByteArray sourceImg = ReadFile(source), sourceDir = ReadFile(DirPathFor(source));

    IMGClass img;
    QVERIFY(img.OpenArchive(source));
    SignalLog log(img);
    QVERIFY(img.ConvertTo(target, to, false));
    QCOMPARE(log.errors(), QStringList());
    QCOMPARE(log.lines.count(QStringLiteral("progress")), int(records.size()));

    // The source is as it was.
    QCOMPARE(ReadFile(source), sourceImg);
    QCOMPARE(ReadFile(DirPathFor(source)), sourceDir);
    QVERIFY(!QFileInfo::exists(target + ".rebuilding"));
    QVERIFY(!QFileInfo::exists(DirPathFor(target) + ".rebuilding"));
    QCOMPARE(QFileInfo::exists(DirPathFor(target)), to == 1);

    const std::vector<Record> converted = ReadRecords(target, to);
    QCOMPARE(converted.size(), records.size());
    const QByteArray targetImg = ReadFile(target);
    quint32 next = to == 1 ? 0 : BytesToSectors(8 + 32 * qint64(records.size())) + 2;
    for (size_t i = 0; i < records.size(); ++i) {
        QCOMPARE(converted[i].name, records[i].name);
        QCOMPARE(converted[i].size, records[i].size);
        QCOMPARE(converted[i].reserved, records[i].reserved);
        QCOMPARE(converted[i].offset, next);
        next += records[i].size;
        QByteArray expected = EntryData(sourceImg, records[i]);
        expected.append(QByteArray(records[i].size * int(SECTOR_SIZE) - expected.size(), '\0'));
        QCOMPARE(EntryData(targetImg, converted[i]), expected);
    }
    // Packed to the end of its last sector, nothing behind it.
    QCOMPARE(qint64(targetImg.size()), SectorToBytes(next));

    IMGClass result;
    QVERIFY(result.OpenArchive(target));
    QCOMPARE(result.version, to);
    // The checker finds only the source's own namesakes and its unterminated name.
    ArchiveChecker checker(result);
    for (const ArchiveProblem &p : checker.CheckStrict())
        QVERIFY2(p.kind == ArchiveProblem::Kind::DuplicateName ||
                     p.kind == ArchiveProblem::Kind::UnterminatedName ||
                     p.kind == ArchiveProblem::Kind::ContentMismatch,
                 qPrintable(QStringLiteral("kind %1 at %2").arg(int(p.kind)).arg(p.entry)));
    ArchiveDifference difference;
    QVERIFY(img.CompareWith(result, difference));
    QVERIFY(difference.Same());
}

void TestConvert::existingTargetIsRefused_data()
{
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("existing"); // the file of the target pair that is there
    QTest::newRow("version 1, data file there") << 1 << "target.img";
    QTest::newRow("version 1, directory there") << 1 << "target.dir";
    QTest::newRow("version 2, data file there") << 2 << "target.img";
}

void TestConvert::existingTargetIsRefused()
{
    QFETCH(int, to);
    QFETCH(QString, existing);
    const QString source = path("source.img"), target = path("target.img");
    QVERIFY(WriteArchive(source, 2, {{"a.dff", Pattern(1, 3000)}}));
    QVERIFY(WriteFile(path(existing), "keep me"));

    IMGClass img;
    QVERIFY(img.OpenArchive(source));
    SignalLog log(img);
    QVERIFY(!img.ConvertTo(target, to, false));
    QCOMPARE(log.errors(), QStringList{QStringLiteral("文件 ") + path(existing) + QStringLiteral(" 已存在")});
    QCOMPARE(ReadFile(path(existing)), QByteArray("keep me"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);

    // Asked to, it replaces them.
    QVERIFY(img.ConvertTo(target, to, true));
    QCOMPARE(VerifyArchive(target, to, {Imported("a.dff", Pattern(1, 3000))}), QString());
}

void TestConvert::sourceIsNeverTheTarget()
{
    for (int version : {1, 2}) {
        const QString source = path(QStringLiteral("self%1.img").arg(version));
        QVERIFY(WriteArchive(source, version, {{"a.dff", Pattern(1, 3000)}}));
        const QByteArray before = ReadFile(source);
        IMGClass img;
        QVERIFY(img.OpenArchive(source));
        SignalLog log(img);
        // Even when replacing is allowed, and through another spelling of the path.
        QVERIFY(!img.ConvertTo(dir.path() + "/./" + QFileInfo(source).fileName(), version, true));
        QCOMPARE(log.errors().size(), 1);
        QVERIFY(log.errors().first().endsWith(QStringLiteral(" 是源IMG文件")));
        QCOMPARE(ReadFile(source), before);
    }
}

void TestConvert::failedWriteLeavesTheTargetAsItWas()
{
#ifndef OSTREVALE_FAULT_INJECTION
    QSKIP("needs a build with OSTREVALE_FAULT_INJECTION");
#else
    const QString source = path("source.img"), target = path("target.img");
    QVERIFY(WriteArchive(source, 1, {{"a.dff", Pattern(1, 3000)}, {"b.txd", Pattern(2, 300), 9}}));
    QVERIFY(WriteArchive(target, 1, {{"old.dff", Pattern(3, 100)}}));
    const QByteArray oldImg = ReadFile(target), oldDir = ReadFile(DirPathFor(target));
    for (const FaultInjection::Step kind : {FaultInjection::Step::Write, FaultInjection::Step::Rename}) {
        IMGClass img;
        QVERIFY(img.OpenArchive(source));
        SignalLog log(img);
        FaultInjection::Reset();
        FaultInjection::FailAt(kind, 1);
        QVERIFY(!img.ConvertTo(target, 1, true));
        FaultInjection::Reset();
        QCOMPARE(log.errors().size(), 1);
        QCOMPARE(ReadFile(target), oldImg);
        QCOMPARE(ReadFile(DirPathFor(target)), oldDir);
        QVERIFY(!QFileInfo::exists(target + ".rebuilding"));
        QVERIFY(!QFileInfo::exists(DirPathFor(target) + ".rebuilding"));
    }
#endif
}

QTEST_GUILESS_MAIN(TestConvert)
#include "tst_convert.moc"
