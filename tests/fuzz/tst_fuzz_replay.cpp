// Replays the committed fuzz corpus and every input that once broke the engine
// through the same entry function as the fuzzer, under the sanitizers of this build,
// and puts hostile and odd archives written here through the same operations (every
// one of the engine, FuzzArchive.h). The fuzzer's findings in the engine are pinned
// down once more by tests of their own.

#include "ArchiveFixtures.h"
#include "FuzzArchive.h"
#include "TestFolder.h"
#include "archive/IMGClass.h"

#include <QDir>
#include <QtTest>

class TestFuzzReplay : public QObject
{
    Q_OBJECT

private slots:
    void replays_data();
    void replays();
    void hostileArchives_data();
    void hostileArchives();
    // Findings of the fuzzer, pinned down outside it.
    void convertToVersion1KeepsADataFileBeginningVer2Apart();
    void importIntoEmptyVersion1KeepsADataFileBeginningVer2Apart();
};

namespace {

using namespace Fixtures;

// Options of the fuzz input (FuzzArchive.h).
constexpr quint8 kNoDir = 1, kReplaceFirst = 2;

QByteArray Input(quint8 options, const QByteArray &dir, const QByteArray &img)
{
    return QByteArray(1, char(options)) + char(7) + LE16(quint16(dir.size())) + dir + img;
}

QByteArray Version1(const std::vector<Record> &records, quint8 options = kReplaceFirst)
{
    QByteArray img;
    for (size_t i = 0; i < records.size(); ++i)
        if (qint64(records[i].offset) + records[i].size < 64)
            PutData(img, records[i].offset, Pattern(int(i), qint64(records[i].size) * SECTOR_SIZE));
    return Input(options, DirectoryBytes(records), img);
}

QByteArray Version2(const std::vector<Record> &records, quint8 options = kReplaceFirst)
{
    QByteArray img = Ver2Header(records);
    for (size_t i = 0; i < records.size(); ++i)
        if (records[i].offset > 0 && qint64(records[i].offset) + records[i].size < 64)
            PutData(img, records[i].offset, Pattern(int(i), qint64(records[i].size) * SECTOR_SIZE));
    return Input(options, QByteArray(), img);
}

} // namespace

void TestFuzzReplay::replays_data()
{
    QTest::addColumn<QString>("file");
    int rows = 0;
    for (const char *folder : {"corpus", "regressions"}) {
        const QDir dir(QStringLiteral(OSTREVALE_FUZZ_DIR "/") + QLatin1String(folder));
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
            QTest::newRow(qPrintable(QLatin1String(folder) + '/' + name)) << dir.filePath(name);
            ++rows;
        }
    }
    QVERIFY2(rows > 0, "the corpus is missing");
}

void TestFuzzReplay::replays()
{
    QFETCH(QString, file);
    QFile input(file);
    QVERIFY(input.open(QIODevice::ReadOnly));
    const QByteArray bytes = input.readAll();
    // A broken promise aborts the process, naming the input in the test log.
    QCOMPARE(FuzzArchiveInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())), 0);
}

void TestFuzzReplay::hostileArchives_data()
{
    QTest::addColumn<QByteArray>("input");
    const std::vector<std::pair<const char *, std::vector<Record>>> both = {
        {"names with separators, parent and drive",
         {{1, 1, "../up.dff"}, {2, 1, "a/b.txd"}, {3, 1, "C:\\x.col"}, {4, 1, ".."}, {5, 1, "C:"}}},
        {"names without a terminating zero", {{1, 1, QByteArray(24, 'n')}, {2, 1, QByteArray(24, 'm')}}},
        {"names that are not UTF-8", {{1, 1, "\xff\xfe.dff"}, {2, 1, "\xc3(\xa9"}, {3, 1, ""}}},
        {"offset and size overflowing 32 bits", {{1, 1, "a.dff"}, {0xFFFFFFFFu, 0xFFFF, "far.dff"}}},
        {"offsets far past the end",
         {{0x00100000u, 4, "far.dff"}, {0xFFFFFFF0u, 1, "farther.dff"}, {1, 1, "a"}}},
        {"overlapping entries", {{1, 4, "a.dff"}, {2, 4, "b.dff"}, {3, 1, "c.dff"}}},
        {"size 0 sharing its offset with the next entry",
         {{1, 0, "a.col"}, {1, 2, "b.dff"}, {3, 0, "c.col"}}},
        {"names equal but for case", {{1, 1, "a.dff"}, {2, 1, "A.DFF"}, {3, 1, "a.DfF"}}},
        {"entry running past the end", {{1, 1, "a.dff"}, {2, 60000, "long.dff"}}},
    };
    for (const auto &row : both) {
        QTest::newRow(qPrintable(QStringLiteral("version 1, ") + row.first)) << Version1(row.second);
        QTest::newRow(qPrintable(QStringLiteral("version 2, ") + row.first)) << Version2(row.second);
    }
    QTest::newRow("version 1, .dir of odd length") << Input(0, QByteArray(33, 'r'), QByteArray(4096, 'd'));
    QTest::newRow("version 1, no .dir, foreign magic")
        << Input(kNoDir, QByteArray(), "VER3" + QByteArray(64, 0));
    QTest::newRow("version 2, count far larger than the file")
        << Input(0, QByteArray(), "VER2" + LE32(0xFFFFFFF0u) + RecordBytes({1, 1, "a"}));
    QTest::newRow("version 2, count one more than the file holds")
        << Input(0, QByteArray(), Ver2Header({{1, 1, "a"}, {1, 1, "b"}}).left(VER2_HEADER_SIZE + DIRECTORY_RECORD_SIZE + 31));
    std::vector<Record> under = {{1, 1, "low.dff"}};
    for (int i = 0; i < 62; ++i)
        under.push_back({0, quint16(i < 10 ? 2 : 31232), ""});
    QTest::newRow("version 2, many large records on the sector under the directory") << Version2(under);
    QTest::newRow("version 2, entries under the directory")
        << Version2({{0, 1, "header.dat"}, {0, 0, "zero.col"}, {1, 1, "b.dff"}});
    QTest::newRow("version 2, room larger than an int") << Version2({{0xFFFFFFFEu, 1, "far.dff"}}, 0);
}

void TestFuzzReplay::hostileArchives()
{
    QFETCH(QByteArray, input);
    QCOMPARE(FuzzArchiveInput(reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size())), 0);
}

// A version 2 archive whose first entry begins with "VER2" (here: lies under the
// directory and so holds the header): converted to version 1, that entry once
// began the new data file, which then opened as version 2.
void TestFuzzReplay::convertToVersion1KeepsADataFileBeginningVer2Apart()
{
    TestFolder folder;
    QVERIFY(folder.Renew());
    const QString source = folder.filePath(QStringLiteral("source.img"));
    const QString target = folder.filePath(QStringLiteral("target.img"));
    QVERIFY(WriteVer2HeaderOverData(source, {{0, 1, "header.dat"}, {1, 1, "b.dff"}}));
    IMGClass img;
    QVERIFY(img.OpenArchive(source, IMGClass::OpenReadOnly));
    QCOMPARE(img.version, 2);
    QVERIFY(img.ConvertTo(target, 1, false));

    IMGClass converted;
    QVERIFY(converted.OpenArchive(target, IMGClass::OpenReadOnly));
    QCOMPARE(converted.version, 1);
    QCOMPARE(converted.directory.size(), size_t(2));
    QCOMPARE(converted.directory[0].entry.offset, 1u);
    QCOMPARE(converted.directory[1].entry.offset, 2u);
    ArchiveDifference difference;
    QVERIFY(converted.CompareWith(img, difference));
    QVERIFY(difference.Same());
    QVERIFY(ReadFile(target).left(SECTOR_SIZE) == QByteArray(SECTOR_SIZE, '\0'));
}

// The first file imported into an empty version 1 archive went to sector 0; one
// beginning with "VER2" made the archive open as version 2.
void TestFuzzReplay::importIntoEmptyVersion1KeepsADataFileBeginningVer2Apart()
{
    TestFolder folder;
    QVERIFY(folder.Renew());
    const QString path = folder.filePath(QStringLiteral("a.img"));
    const QString file = folder.filePath(QStringLiteral("head.bin"));
    const QByteArray content = "VER2" + Pattern(3, 3000);
    QVERIFY(WriteFile(file, content));
    {
        IMGClass img;
        QVERIFY(img.CreateArchive(path, 1));
        QVERIFY(img.OpenArchive(path));
        img.ImportFiles({file});
        QCOMPARE(img.directory.size(), size_t(1));
    }
    IMGClass img;
    QVERIFY(img.OpenArchive(path, IMGClass::OpenReadOnly));
    QCOMPARE(img.version, 1);
    QCOMPARE(img.directory.size(), size_t(1));
    QCOMPARE(img.directory[0].entry.offset, 1u);
    QCOMPARE(img.directory[0].entry.size, quint16(2));
    QCOMPARE(ReadFile(path).mid(SECTOR_SIZE, content.size()), content);
}

QTEST_GUILESS_MAIN(TestFuzzReplay)
#include "tst_fuzz_replay.moc"
