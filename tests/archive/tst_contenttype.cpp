// Content types told from an entry's first bytes: RenderWare streams by their
// chunk type and library ID, collision, animation and placement files by their
// magic; and the strict check's findings built on them.

#include "ArchiveFixtures.h"
#include "ContentFixtures.h"

#include "archive/ArchiveChecker.h"
#include "archive/format/ContentType.h"
#include "archive/IMGClass.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Fixtures;

class TestContentType : public QObject
{
    Q_OBJECT

private slots:
    void detection_data();
    void detection();
    void libraryIdForms_data();
    void libraryIdForms();
    void archiveTypesComeFromBytesNotNames_data();
    void archiveTypesComeFromBytesNotNames();
    void strictFindings_data();
    void strictFindings();
    void plainCheckIgnoresStrictFindings();
};

void TestContentType::detection_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("entryBytes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("rwVersion");
    QTest::addColumn<QString>("game");
    QTest::addColumn<bool>("runsPast");
    const quint32 sa = PackedLibraryId(0x36003);
    QTest::newRow("no bytes") << QByteArray() << qint64(0) << "empty"
                              << ""
                              << "" << false;
    QTest::newRow("clump of SA") << RwChunk(0x10, 100, sa) << qint64(2048) << "Clump"
                                 << "3.6.0.3"
                                 << "SA" << false;
    QTest::newRow("texture dictionary of VC")
        << RwChunk(0x16, 100, PackedLibraryId(0x34003)) << qint64(2048) << "Texture Dictionary"
        << "3.4.0.3"
        << "VC" << false;
    QTest::newRow("clump of III, 3.3.0.2") << RwChunk(0x10, 10, 0x0C02FFFF) << qint64(2048) << "Clump"
                                           << "3.3.0.2"
                                           << "III" << false;
    QTest::newRow("clump of III, 3.1.0.1") << RwChunk(0x10, 10, 0x0401FFFF) << qint64(2048) << "Clump"
                                           << "3.1.0.1"
                                           << "III" << false;
    QTest::newRow("old plain stamp 3.1.0.0")
        << RwChunk(0x16, 10, 0x310) << qint64(2048) << "Texture Dictionary"
        << "3.1.0.0"
        << "3.1.0.0" << false;
    QTest::newRow("3.5.0.0 is no game's own")
        << RwChunk(0x10, 10, PackedLibraryId(0x35000)) << qint64(2048) << "Clump"
        << "3.5.0.0"
        << "3.5.0.0" << false;
    QTest::newRow("other chunk type by number") << RwChunk(0x2B, 10, sa) << qint64(2048) << "chunk 0x2B"
                                                << "3.6.0.3"
                                                << "SA" << false;
    QTest::newRow("chunk exactly fills the entry") << RwChunk(0x10, 2036, sa, 20) << qint64(2048) << "Clump"
                                                   << "3.6.0.3"
                                                   << "SA" << false;
    QTest::newRow("chunk one byte past the entry") << RwChunk(0x10, 2037, sa, 20) << qint64(2048) << "Clump"
                                                   << "3.6.0.3"
                                                   << "SA" << true;
    for (const char *magic : {"COLL", "COL2", "COL3", "COL4", "ANP3", "ANPK", "bnry"})
        QTest::newRow(magic) << Magic(magic) << qint64(2048) << magic << ""
                             << "" << false;
    QTest::newRow("zero sectors are data") << QByteArray(12, '\0') << qint64(2048) << "data"
                                           << ""
                                           << "" << false;
    QTest::newRow("text is data") << QByteArray("# comment line\n") << qint64(2048) << "data"
                                  << ""
                                  << "" << false;
    QTest::newRow("lower-case magic is data") << Magic("coll") << qint64(2048) << "data"
                                              << ""
                                              << "" << false;
    QTest::newRow("stamp of version 4 or later is data")
        << RwChunk(0x10, 10, 0xC0000000u | sa) << qint64(2048) << "data"
        << ""
        << "" << false;
    QTest::newRow("header cut short is data") << RwChunk(0x10, 10, sa).left(11) << qint64(2048) << "data"
                                              << ""
                                              << "" << false;
}

void TestContentType::detection()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, entryBytes);
    QFETCH(QString, name);
    QFETCH(QString, rwVersion);
    QFETCH(QString, game);
    QFETCH(bool, runsPast);
    const ContentType type = DetectContentType(bytes, entryBytes);
    QCOMPARE(type.Name(), name);
    QCOMPARE(type.RwVersionText(), rwVersion);
    QCOMPARE(type.Game(), game);
    QCOMPARE(type.chunkRunsPastEntry, runsPast);
}

void TestContentType::libraryIdForms_data()
{
    QTest::addColumn<quint32>("libraryId");
    QTest::addColumn<quint32>("version");
    // The documented examples of both forms.
    QTest::newRow("packed 3.6.0.3") << 0x1803FFFFu << 0x36003u;
    QTest::newRow("packed 3.4.0.3") << 0x1003FFFFu << 0x34003u;
    QTest::newRow("packed 3.3.0.2") << 0x0C02FFFFu << 0x33002u;
    QTest::newRow("packed 3.1.0.1") << 0x0401FFFFu << 0x31001u;
    QTest::newRow("packed with another build") << 0x18031234u << 0x36003u;
    QTest::newRow("plain 3.1.0.0") << 0x00000310u << 0x31000u;
    QTest::newRow("plain 3.0.2.0") << 0x00000302u << 0x30200u;
}

void TestContentType::libraryIdForms()
{
    QFETCH(quint32, libraryId);
    QFETCH(quint32, version);
    QCOMPARE(RwVersionFromLibraryId(libraryId), version);
}

void TestContentType::archiveTypesComeFromBytesNotNames_data()
{
    AddVersionRows();
}

void TestContentType::archiveTypesComeFromBytesNotNames()
{
    QFETCH(int, version);
    QTemporaryDir dir;
    const QString p = dir.filePath("types.img");
    const quint32 sa = PackedLibraryId(0x36003);
    // Data out of directory order, a name that lies about its content, an empty
    // entry, and a collision file that ends the data file early.
    QVERIFY(WriteArchive(p, version,
                         {{"car.dff", RwChunk(0x16, 50, sa), 20},
                          {"car.txd", RwChunk(0x10, 50, PackedLibraryId(0x34003)), 10},
                          {"nothing.dat", QByteArray(), 10, 0},
                          {"WORLD.COL", Magic("COL3", 30), 30}},
                         true));
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    std::vector<ContentType> types;
    QVERIFY(img.DetectContentTypes(types));
    QCOMPARE(int(types.size()), 4);
    QCOMPARE(types[0].Name(), QStringLiteral("Texture Dictionary"));
    QCOMPARE(types[0].Game(), QStringLiteral("SA"));
    QCOMPARE(types[1].Name(), QStringLiteral("Clump"));
    QCOMPARE(types[1].Game(), QStringLiteral("VC"));
    QCOMPARE(types[2].Name(), QStringLiteral("empty"));
    QCOMPARE(types[3].Name(), QStringLiteral("COL3"));
}

void TestContentType::strictFindings_data()
{
    AddVersionRows();
}

namespace {

using Kind = ArchiveProblem::Kind;

// An archive with one of each strict finding; the problems CheckStrict must give
// (none when the archive could not be written).
std::vector<ArchiveProblem> WriteStrictFixture(const QString &p, int version)
{
    const quint32 sa = PackedLibraryId(0x36003);
    const quint32 first = version == 1 ? 0 : 1;
    const bool written =
        WriteArchive(p, version,
                     {{"good.dff", RwChunk(0x10, 100, sa), first},
                      {"good.txd", RwChunk(0x16, 100, sa), first + 1},
                      {"good.col", Magic("COL2"), first + 2},
                      {"good.ifp", Magic("ANPK"), first + 3},
                      {"Upper.DFF", RwChunk(0x10, 100, sa), first + 4},
                      {"txd.dff", RwChunk(0x16, 100, sa), first + 5},        // 5: not a Clump
                      {"dff.txd", RwChunk(0x10, 100, sa), first + 6},        // 6: not a Texture Dictionary
                      {"plain.col", Pattern(3, 100), first + 7},             // 7: no collision magic
                      {"anim.ifp", Magic("COLL"), first + 8},                // 8: no animation magic
                      {"long.dff", RwChunk(0x10, 5000, sa, 100), first + 9}, // 9: chunk runs past
                      {"after.bin", Pattern(4, 100), first + 12},            // 10: a sector unused before it
                      {"before.bin", Pattern(5, 100), first + 10},           // 11: out of order
                      {"zero.bin", QByteArray(), first + 3, 0},              // size 0: neither
                      {"notes.txt", Magic("COL2"), first + 13}});
    if (!written)
        return {};
    return {{Kind::ContentMismatch, 5, -1},     {Kind::ContentMismatch, 6, -1},
            {Kind::ContentMismatch, 7, -1},     {Kind::ContentMismatch, 8, -1},
            {Kind::ChunkPastEntry, 9, -1},      {Kind::GapBefore, 10, 11},
            {Kind::OutOfDirectoryOrder, 11, 10}};
}

} // namespace

void TestContentType::strictFindings()
{
    QFETCH(int, version);
    QTemporaryDir dir;
    const QString p = dir.filePath("strict.img");
    const std::vector<ArchiveProblem> expected = WriteStrictFixture(p, version);
    QVERIFY(!expected.empty());
    IMGClass img;
    QVERIFY(img.OpenArchive(p));
    ArchiveChecker checker(img);
    const std::vector<ArchiveProblem> problems = checker.CheckStrict();
    QCOMPARE(int(problems.size()), int(expected.size()));
    for (size_t i = 0; i < problems.size(); ++i) {
        QCOMPARE(int(problems[i].kind), int(expected[i].kind));
        QCOMPARE(problems[i].entry, expected[i].entry);
        QCOMPARE(problems[i].other, expected[i].other);
    }
    QCOMPARE(checker.ContentTypes()[5].Name(), QStringLiteral("Texture Dictionary"));
}

void TestContentType::plainCheckIgnoresStrictFindings()
{
    QTemporaryDir dir;
    for (int version : {1, 2}) {
        const QString p = dir.filePath(QStringLiteral("plain%1.img").arg(version));
        QVERIFY(!WriteStrictFixture(p, version).empty());
        IMGClass img;
        QVERIFY(img.OpenArchive(p));
        QVERIFY(ArchiveChecker(img).Check().empty());
    }
}

QTEST_GUILESS_MAIN(TestContentType)
#include "tst_contenttype.moc"
