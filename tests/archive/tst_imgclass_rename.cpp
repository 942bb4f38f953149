#include "ArchiveFixtures.h"
#include "SignalLog.h"

#include "archive/io/ArchiveIO.h"
#include "archive/IMGClass.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Fixtures;

class TestIMGClassRename : public QObject
{
    Q_OBJECT

private slots:
    void renames_data();
    void renames();
    void refuses_data();
    void refuses();
    void failedWriteKeepsTheOldName();

private:
    QString path(const QString &name) const { return dir.filePath(name); }
    QString WriteFixture(int version);
    QTemporaryDir dir;
};

namespace {

const std::vector<Record> kRecords = {
    {1, 2, "gang01.DFF", 0xBEEF}, {3, 1, "Generic.txd"}, {4, 0, "abcdefghijklmnopqrstuvw"}};

// The raw 24-byte name field of record `row`, read straight from the file.
QByteArray NameField(const QString &imgPath, int version, int row)
{
    const QByteArray bytes = version == 1 ? ReadFile(DirPathFor(imgPath)) : ReadFile(imgPath).mid(VER2_HEADER_SIZE);
    return bytes.mid(row * DIRECTORY_RECORD_SIZE + 8, 24);
}

} // namespace

QString TestIMGClassRename::WriteFixture(int version)
{
    const QString p = path(QStringLiteral("rename%1.img").arg(version));
    if (!(version == 1 ? WriteVer1(p, kRecords) : WriteVer2(p, kRecords)))
        return QString();
    return p;
}

void TestIMGClassRename::renames_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("newName");
    for (int v : {1, 2}) {
        const QByteArray tag = "v" + QByteArray::number(v) + ": ";
        QTest::newRow(tag + "new name") << v << 1 << "road.txd";
        QTest::newRow(tag + "only the letter case changes") << v << 0 << "GANG01.dff";
        QTest::newRow(tag + "23 bytes") << v << 1 << "abcdefghijklmnopqrst.xy";
        QTest::newRow(tag + "seven Chinese characters, 21 bytes") << v << 1 << "树木树木树木树";
        // The long old name must not leave stray bytes behind the short new one.
        QTest::newRow(tag + "short name over a long one") << v << 2 << "x";
    }
}

void TestIMGClassRename::renames()
{
    QFETCH(int, version);
    QFETCH(int, row);
    QFETCH(QString, newName);
    const QString p = WriteFixture(version);
    QVERIFY(!p.isEmpty());
    const QByteArray dataBefore = ReadFile(p).mid(SECTOR_SIZE);

    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    const QByteArray oldName = QByteArray(kRecords[size_t(row)].name);
    SignalLog log(img);
    QVERIFY(img.RenameEntry(row, newName));
    QCOMPARE(log.lines, QStringList{"directory 3"});
    QCOMPARE(EntryName(log.lastDirectory[size_t(row)].entry), newName);
    QCOMPARE(img.FindEntry(newName.toUtf8()), row);
    if (QString::fromUtf8(oldName).compare(newName, Qt::CaseInsensitive) != 0)
        QCOMPARE(img.FindEntry(oldName), -1);
    img.CloseArchive();

    QByteArray field = newName.toUtf8();
    field.append(QByteArray(24 - field.size(), '\0'));
    QCOMPARE(NameField(p, version, row), field);
    const auto records = ReadRecords(p, version);
    QCOMPARE(records.size(), kRecords.size());
    for (size_t i = 0; i < records.size(); ++i) {
        QCOMPARE(records[i].offset, kRecords[i].offset);
        QCOMPARE(records[i].size, kRecords[i].size);
        QCOMPARE(records[i].reserved, kRecords[i].reserved);
        if (int(i) != row)
            QCOMPARE(records[i].name, kRecords[i].name);
    }
    QCOMPARE(ReadFile(p).mid(SECTOR_SIZE), dataBefore);

    // Reopened, the new name is what lookups find.
    IMGClass again;
    QVERIFY(again.OpenArchive(p));
    QCOMPARE(again.FindEntry(newName.toUpper().toUtf8()), row);
}

void TestIMGClassRename::refuses_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("newName");
    QTest::addColumn<QString>("message"); // empty: refused without a message
    for (int v : {1, 2}) {
        const QByteArray tag = "v" + QByteArray::number(v) + ": ";
        QTest::newRow(tag + "24 bytes") << v << 1 << "abcdefghijklmnopqrst.xyz"
                                        << "文件名 abcdefghijklmnopqrst.xyz 太长";
        QTest::newRow(tag + "eight Chinese characters") << v << 1 << "树木树木树木树木"
                                                        << "文件名 树木树木树木树木 太长";
        QTest::newRow(tag + "another entry's name, other case") << v << 1 << "GANG01.dff"
                                                                << "文件名 GANG01.dff 已存在";
        QTest::newRow(tag + "empty") << v << 1 << ""
                                     << "文件名  不合法";
        QTest::newRow(tag + "dot-dot") << v << 1 << ".."
                                       << "文件名 .. 不合法";
        QTest::newRow(tag + "slash") << v << 1 << "../x.txd"
                                     << "文件名 ../x.txd 不合法";
        QTest::newRow(tag + "backslash") << v << 1 << "a\\b"
                                         << "文件名 a\\b 不合法";
        QTest::newRow(tag + "row past the end") << v << 3 << "x"
                                                << "";
        QTest::newRow(tag + "negative row") << v << -1 << "x"
                                            << "";
    }
}

void TestIMGClassRename::refuses()
{
    QFETCH(int, version);
    QFETCH(int, row);
    QFETCH(QString, newName);
    QFETCH(QString, message);
    const QString p = WriteFixture(version);
    QVERIFY(!p.isEmpty());
    const QByteArray imgBefore = ReadFile(p);
    const QByteArray dirBefore = ReadFile(DirPathFor(p));

    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    const auto directoryBefore = img.directory;
    SignalLog log(img);
    QVERIFY(!img.RenameEntry(row, newName));
    QCOMPARE(log.lines, message.isEmpty() ? QStringList() : QStringList{"error " + message});
    for (size_t i = 0; i < directoryBefore.size(); ++i)
        QVERIFY(SameEntryName(img.directory[i].entry, directoryBefore[i].entry));
    QCOMPARE(img.FindEntry("Generic.txd"), 1);
    img.CloseArchive();
    QCOMPARE(ReadFile(p), imgBefore);
    QCOMPARE(ReadFile(DirPathFor(p)), dirBefore);
}

void TestIMGClassRename::failedWriteKeepsTheOldName()
{
#ifndef OSTREVALE_FAULT_INJECTION
    QSKIP("needs the fault points (-DOSTREVALE_FAULT_INJECTION=ON)");
#else
    for (int version : {1, 2}) {
        const QString p = WriteFixture(version);
        QVERIFY(!p.isEmpty());
        const QByteArray dirBefore = ReadFile(version == 1 ? DirPathFor(p) : p);
        IMGClass img;
        QVERIFY(img.OpenArchive(p));
        SignalLog log(img);
        FaultInjection::Reset();
        FaultInjection::FailAt(FaultInjection::Step::Write, 1);
        QVERIFY(!img.RenameEntry(1, "road.txd"));
        FaultInjection::Reset();
        const QString written = version == 1 ? DirPathFor(p) : p;
        QCOMPARE(log.lines, QStringList{"error 写入 " + written + " 失败"});
        QCOMPARE(EntryName(img.directory[1].entry), QStringLiteral("Generic.txd"));
        QCOMPARE(img.FindEntry("road.txd"), -1);
        QCOMPARE(img.FindEntry("generic.TXD"), 1);
        img.CloseArchive();
        QCOMPARE(ReadFile(version == 1 ? DirPathFor(p) : p), dirBefore);
    }
#endif
}

QTEST_GUILESS_MAIN(TestIMGClassRename)
#include "tst_imgclass_rename.moc"
