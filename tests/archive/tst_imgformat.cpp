#include "archive/format/IMGFormat.h"

#include <QtTest>

#include <cstring>

class TestIMGFormat : public QObject
{
    Q_OBJECT

private slots:
    void nameHash_data();
    void nameHash();
    void nameHashIgnoresAsciiCaseOnly();
    void bytesToSectors_data();
    void bytesToSectors();
    void dirPath_data();
    void dirPath();
    void recordRoundTripIsLittleEndian();
    void entryNameStopsAtZeroOrField();
    void setEntryNameClearsTrailingBytes();
    void directoryRoom_data();
    void directoryRoom();
};

void TestIMGFormat::nameHash_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<quint32>("hash");
    // Expected values are the complement of the standard CRC-32 of the upper-cased name.
    QTest::newRow("empty") << QByteArray() << 0xFFFFFFFFu;
    QTest::newRow("abc") << QByteArray("abc") << 0x5C7CFCB7u;
    QTest::newRow("ABC") << QByteArray("ABC") << 0x5C7CFCB7u;
    QTest::newRow("tree.bin") << QByteArray("tree.bin") << 0xB35170AAu;
    QTest::newRow("utf8 bytes unchanged") << QByteArray("树木.bin") << 0xE8A85406u;
    QTest::newRow("player.dff") << QByteArray("player.dff") << 0xDD197986u;
    // A full field without a zero byte: exactly 24 bytes count, nothing behind them.
    QTest::newRow("24 bytes then more") << QByteArray(24, 'a') + "zzzz" << 0xC1D65389u;
}

void TestIMGFormat::nameHash()
{
    QFETCH(QByteArray, name);
    QFETCH(quint32, hash);
    QCOMPARE(NameHash(name.constData()), hash);
}

void TestIMGFormat::nameHashIgnoresAsciiCaseOnly()
{
    // 0xC3 0xA9 (é) and 0xC3 0x89 (É) are different bytes above 0x7F: never folded.
    QVERIFY(NameHash("\xC3\xA9.txd") != NameHash("\xC3\x89.TXD"));
    QCOMPARE(NameHash("Generic.txd"), NameHash("GENERIC.TXD"));
}

void TestIMGFormat::bytesToSectors_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<quint32>("sectors");
    QTest::newRow("0") << qint64(0) << 0u;
    QTest::newRow("1") << qint64(1) << 1u;
    QTest::newRow("2048") << qint64(2048) << 1u;
    QTest::newRow("2049") << qint64(2049) << 2u;
    QTest::newRow("largest entry") << qint64(134215680) << 65535u;
    QTest::newRow("one past largest entry") << qint64(134215681) << 65536u;
    QTest::newRow("past 4 GiB") << qint64(5) * 1024 * 1024 * 1024 << 2621440u;
    QTest::newRow("just under saturation") << qint64(0x7FFFFFFF800) - 1 << 0xFFFFFFFFu;
    QTest::newRow("saturates") << qint64(0x7FFFFFFF800) << 0xFFFFFFFFu;
    QTest::newRow("far beyond") << std::numeric_limits<qint64>::max() << 0xFFFFFFFFu;
}

void TestIMGFormat::bytesToSectors()
{
    QFETCH(qint64, bytes);
    QFETCH(quint32, sectors);
    QCOMPARE(BytesToSectors(bytes), sectors);
}

void TestIMGFormat::dirPath_data()
{
    QTest::addColumn<QString>("img");
    QTest::addColumn<QString>("dir");
    QTest::newRow("plain") << "D:/data/models.img"
                           << "D:/data/models.dir";
    QTest::newRow("upper-case extension") << "D:/data/MODELS.IMG"
                                          << "D:/data/MODELS.dir";
    QTest::newRow("no extension") << "D:/data/archive"
                                  << "D:/data/archdir";
    QTest::newRow("three characters") << "img"
                                      << "dir";
    QTest::newRow("shorter than three") << "ab"
                                        << "ab";
    QTest::newRow("empty") << ""
                           << "";
}

void TestIMGFormat::dirPath()
{
    QFETCH(QString, img);
    QFETCH(QString, dir);
    QCOMPARE(DirPathFor(img), dir);
}

void TestIMGFormat::recordRoundTripIsLittleEndian()
{
    const char raw[32] = {0x04, 0x03, 0x02, 0x01, 0x06, 0x05, char(0xFF), 0x7F, 'a', '.', 'd', 'f', 'f'};
    const IMGDirectoryEntry e = DecodeEntry(raw);
    QCOMPARE(e.offset, 0x01020304u);
    QCOMPARE(e.size, quint16(0x0506));
    QCOMPARE(e.reserved, quint16(0x7FFF));
    QCOMPARE(EntryName(e), QStringLiteral("a.dff"));
    char back[32];
    EncodeEntry(e, back);
    QCOMPARE(QByteArray(back, 32), QByteArray(raw, 32));
}

void TestIMGFormat::entryNameStopsAtZeroOrField()
{
    IMGDirectoryEntry e;
    std::memcpy(e.name, "abc\0junk", 8);
    QCOMPARE(EntryNameLength(e), 3);
    std::memset(e.name, 'x', sizeof e.name);
    QCOMPARE(EntryNameLength(e), 24);
    QCOMPARE(EntryName(e), QString(24, QLatin1Char('x')));
}

void TestIMGFormat::setEntryNameClearsTrailingBytes()
{
    IMGDirectoryEntry e;
    std::memset(e.name, 'x', sizeof e.name);
    SetEntryName(e, QByteArray("a.txd"));
    QCOMPARE(QByteArray(e.name, 24), QByteArray("a.txd") + QByteArray(19, '\0'));
}

void TestIMGFormat::directoryRoom_data()
{
    QTest::addColumn<quint32>("lowest");
    QTest::addColumn<qint64>("count");
    QTest::addColumn<qint64>("room");
    QTest::newRow("L1 N0") << 1u << qint64(0) << qint64(63);
    QTest::newRow("L1 N63") << 1u << qint64(63) << qint64(0);
    QTest::newRow("L3 N10") << 3u << qint64(10) << qint64(181);
    QTest::newRow("L16 N1000") << 16u << qint64(1000) << qint64(23);
    QTest::newRow("offset 0 gives negative room") << 0u << qint64(5) << qint64(-5);
    QTest::newRow("far offset") << 0xFFFFFFFFu << qint64(1) << qint64(0xFFFFFFFF) * 64 - 1 - 1;
}

void TestIMGFormat::directoryRoom()
{
    QFETCH(quint32, lowest);
    QFETCH(qint64, count);
    QFETCH(qint64, room);
    QCOMPARE(Ver2DirectoryRoom(lowest, count), room);
}

QTEST_APPLESS_MAIN(TestIMGFormat)
#include "tst_imgformat.moc"
