// Exporting with numbered names for further entries of a name already written,
// and writing one entry's bytes to a device.

#include "ArchiveFixtures.h"
#include "ContentFixtures.h"
#include "SignalLog.h"

#include "archive/IMGClass.h"

#include <QBuffer>
#include <QDir>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QtTest>

#include <numeric>

using namespace Fixtures;

class TestExportNumbered : public QObject
{
    Q_OBJECT

private slots:
    void numberedNamesNeverCollide_data();
    void numberedNamesNeverCollide();
    void catWritesWhatExportWrites_data();
    void catWritesWhatExportWrites();
};

void TestExportNumbered::numberedNamesNeverCollide_data()
{
    AddVersionRows();
}

void TestExportNumbered::numberedNamesNeverCollide()
{
    QFETCH(int, version);
    QTemporaryDir dir;
    const QString p = dir.filePath("dup.img");
    // Namesakes in other case; an entry already named like a numbered file; a
    // name without extension; two names that mean one file once made safe.
    QVERIFY(WriteArchive(p, version,
                         {{"a.txd", Pattern(0, 100)},
                          {"A.TXD", Pattern(1, 100)},
                          {"a.txd", Pattern(2, 100)},
                          {"a~2.txd", Pattern(3, 100)},
                          {"noext", Pattern(4, 100)},
                          {"NOEXT", Pattern(5, 100)},
                          {"x/y.dff", Pattern(6, 100)},
                          {"x_y.dff", Pattern(7, 100)}}));
    const QString out = dir.filePath("out");
    QVERIFY(QDir().mkpath(out));
    // A file already there under the next number is neither used nor touched.
    QVERIFY(WriteFile(out + "/A~3.txd", "mine"));

    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    std::vector<int> all(img.directory.size());
    std::iota(all.begin(), all.end(), 0);
    std::vector<RenamedExport> renamed;
    QVERIFY(img.ExportEntriesNumbered(out, all, renamed));
    QCOMPARE(log.errors(), QStringList());

    QStringList shown;
    for (const RenamedExport &r : renamed)
        shown << QStringLiteral("%1 -> %2").arg(r.entry).arg(r.fileName);
    QCOMPARE(shown, QStringList({"1 -> A~4.TXD", "2 -> a~5.txd", "5 -> NOEXT~2", "7 -> x_y~2.dff"}));
    const QStringList expectedFiles = {"A~3.txd", "A~4.TXD", "NOEXT~2", "a.txd",    "a~2.txd",
                                       "a~5.txd", "noext",   "x_y.dff", "x_y~2.dff"};
    QCOMPARE(QDir(out).entryList(QDir::Files, QDir::Name), expectedFiles);
    QCOMPARE(ReadFile(out + "/A~3.txd"), QByteArray("mine"));
    const QByteArray data = ReadFile(p);
    const std::vector<Record> records = ReadRecords(p, version);
    const QStringList writtenAs = {"a.txd", "A~4.TXD", "a~5.txd", "a~2.txd",
                                   "noext", "NOEXT~2", "x_y.dff", "x_y~2.dff"};
    for (int i = 0; i < writtenAs.size(); ++i)
        QCOMPARE(ReadFile(out + "/" + writtenAs[i]), EntryData(data, records[size_t(i)]));

    // Again into the same folder: the first-of-name files are written again, the
    // numbered ones go to new numbers, nothing is overwritten.
    QVERIFY(img.ExportEntriesNumbered(out, all, renamed));
    QCOMPARE(renamed.front().fileName, QStringLiteral("A~6.TXD"));
}

void TestExportNumbered::catWritesWhatExportWrites_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("cut");
    QTest::newRow("version 1") << 1 << false;
    QTest::newRow("version 2") << 2 << false;
    QTest::newRow("version 1, last sector cut short") << 1 << true;
    QTest::newRow("version 2, last sector cut short") << 2 << true;
}

void TestExportNumbered::catWritesWhatExportWrites()
{
    QFETCH(int, version);
    QFETCH(bool, cut);
    QTemporaryDir dir;
    const QString p = dir.filePath("cat.img");
    QVERIFY(WriteArchive(
        p, version,
        {{"big.dff", Pattern(1, 3 * 1024 * 1024 + 5)}, {"empty", {}}, {"tail.txd", Pattern(2, 100)}}, cut));
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    QStringListModel model(QStringList{"", "", ""});
    img.ExportEntries(dir.path(), {model.index(0, 0), model.index(1, 0), model.index(2, 0)});
    for (int row = 0; row < 3; ++row) {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QVERIFY(img.WriteEntryTo(row, out, "out"));
        QCOMPARE(out.data(), ReadFile(dir.filePath(EntryName(img.directory[size_t(row)].entry))));
    }

    // A device that takes nothing is a write failure named by the caller.
    SignalLog log(img);
    QBuffer closed;
    QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QBuffer): device not open");
    QVERIFY(!img.WriteEntryTo(0, closed, "标准输出"));
    QCOMPARE(log.errors(), QStringList{"写入 标准输出 失败"});
}

QTEST_GUILESS_MAIN(TestExportNumbered)
#include "tst_exportnumbered.moc"
