// Archives past 4 GiB, as sparse files: entries beyond the 4 GiB mark are read,
// checked, exported, kept by a delete and an import, and compacted by a rebuild.
// Byte positions there no longer fit 32 bits; only sector numbers do.

#include "ArchiveFixtures.h"
#include "SignalLog.h"

#include "archive/ArchiveChecker.h"
#include "archive/IMGClass.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace Fixtures;

namespace {

constexpr quint32 kPast4GiB = 0x200000u + 5; // sector 2^21 is byte 4 GiB

QByteArray ReadAt(const QString &path, qint64 position, qint64 size)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || !f.seek(position))
        return QByteArray();
    return f.read(size);
}

bool WriteAt(const QString &path, qint64 position, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::ReadWrite) && f.seek(position) && f.write(bytes) == bytes.size();
}

} // namespace

class TestLargeArchive : public QObject
{
    Q_OBJECT

private slots:
    void entriesBeyond4GiB_data();
    void entriesBeyond4GiB();

private:
    QTemporaryDir dir;
};

void TestLargeArchive::entriesBeyond4GiB_data()
{
    AddVersionRows();
}

void TestLargeArchive::entriesBeyond4GiB()
{
    QFETCH(int, version);
    QVERIFY(dir.isValid());
    const QString p = dir.filePath(QStringLiteral("big%1.img").arg(version));
    const std::vector<Record> records = {
        {1, 1, "low.dff"}, {kPast4GiB, 2, "high.txd"}, {kPast4GiB + 2, 0, "z.col"}};
    const QByteArray low = Pattern(1, SECTOR_SIZE), high = Pattern(2, 2 * SECTOR_SIZE - 100);
    {
        // Holes cost no disk space where the file system keeps them sparse.
        QFile f(p);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        if (!f.resize(SectorToBytes(kPast4GiB)))
            QSKIP("this file system takes no file past 4 GiB");
    }
    QVERIFY(WriteAt(p, SECTOR_SIZE, low));
    QVERIFY(WriteAt(p, SectorToBytes(kPast4GiB), high));
    if (version == 1)
        QVERIFY(WriteFile(DirPathFor(p), DirectoryBytes(records)));
    else
        QVERIFY(WriteAt(p, 0, Ver2Header(records)));
    QVERIFY(QFileInfo(p).size() > (qint64(1) << 32));

    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    SignalLog log(img);
    QCOMPARE(img.directory[1].entry.offset, kPast4GiB);
    QVERIFY(ArchiveChecker(img).Check().empty());

    // Export reads beyond the mark; its file ends with the data file.
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("out%1").arg(version)));
    const QString out = dir.filePath(QStringLiteral("out%1").arg(version));
    img.ExportEntries(out, {1});
    QCOMPARE(ReadFile(out + "/high.txd"), high);

    // A new file goes behind everything, past the mark; the old entries keep their bytes.
    const QString source = dir.filePath("new.bin");
    const QByteArray fresh = Pattern(3, 3000);
    QVERIFY(WriteFile(source, fresh));
    img.DeleteEntries({0});
    img.ImportFiles({source});
    QCOMPARE(log.errors(), QStringList());
    QCOMPARE(img.directory.size(), size_t(3));
    const IMGDirectoryEntry added = img.directory[2].entry;
    QCOMPARE(added.offset, kPast4GiB + 2);
    QCOMPARE(ReadAt(p, SectorToBytes(added.offset), 4096), fresh);
    QCOMPARE(ReadAt(p, SectorToBytes(kPast4GiB), high.size()), high);
    {
        IMGClass reopened;
        QVERIFY(reopened.OpenArchive(p, IMGClass::OpenReadOnly));
        QCOMPARE(reopened.directory.size(), size_t(3));
        QVERIFY(ArchiveChecker(reopened).Check().empty());
    }

    // The rebuild brings everything below the mark again.
    img.Rebuild();
    QCOMPARE(log.errors(), QStringList());
    img.CloseArchive();
    QVERIFY(img.OpenArchive(p));
    QVERIFY(QFileInfo(p).size() < 10 * SECTOR_SIZE);
    QVERIFY(ArchiveChecker(img).Check().empty());
    const QByteArray all = ReadFile(p);
    QCOMPARE(EntryName(img.directory[0].entry), QStringLiteral("high.txd"));
    QVERIFY(EntryData(all, {img.directory[0].entry.offset, 2, ""}).startsWith(high));
    QCOMPARE(EntryName(img.directory[2].entry), QStringLiteral("new.bin"));
    QVERIFY(EntryData(all, {img.directory[2].entry.offset, 2, ""}).startsWith(fresh));
}

QTEST_GUILESS_MAIN(TestLargeArchive)
#include "tst_largearchive.moc"
