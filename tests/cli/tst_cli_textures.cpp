// ostrevale-cli textures and the strict check's dictionary and model problems,
// through the real binary, on archives of both versions holding dictionaries of
// both PC platforms: exact output, files, messages and exit statuses.

#include "ArchiveFixtures.h"
#include "CliRunner.h"
#include "ContentFixtures.h"
#include "RwFixtures.h"
#include "TestFolder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <png.h>

using namespace RwFixtures;

namespace {

const QString kErr = QStringLiteral("ostrevale-cli: ");

QString Lines(const QStringList &lines)
{
    return lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

// The PNG file's pixels as 0xRRGGBBAA, read back with libpng; empty when it is no PNG.
QVector<quint32> ReadPng(const QString &path, int &width, int &height)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    const QByteArray bytes = Fixtures::ReadFile(path);
    QVector<quint32> pixels;
    if (!png_image_begin_read_from_memory(&image, bytes.constData(), size_t(bytes.size())))
        return pixels;
    image.format = PNG_FORMAT_RGBA;
    std::vector<quint8> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr))
        return pixels;
    width = int(image.width);
    height = int(image.height);
    for (size_t i = 0; i + 3 < rgba.size(); i += 4)
        pixels << (quint32(rgba[i]) << 24 | quint32(rgba[i + 1]) << 16 | quint32(rgba[i + 2]) << 8 | rgba[i + 3]);
    return pixels;
}

// "body": 4×4 DXT1 of red and blue (pixel 1 blue), mask "bodya", with alpha; "glass": 2×1 8888 in two levels.
std::vector<Native> CarTextures(quint32 platform)
{
    Native body;
    body.platform = platform;
    body.name = "body";
    body.mask = "bodya";
    body.width = body.height = 4;
    body.rasterFormat = 0x0100;
    body.depth = 16;
    if (platform == 9) {
        body.d3dFormat = FourCc("DXT1");
        body.compressionOrFlags = 0x01;
    } else {
        body.d3dFormat = 1;
        body.compressionOrFlags = 1;
    }
    body.levels = {Dxt1Block(0xF800, 0x001F, 0x4)};
    Native glass;
    glass.platform = platform;
    glass.name = "glass";
    glass.width = 2;
    glass.levels = {QByteArray("\x10\x20\x30\x40\x50\x60\x70\x80", 8), QByteArray("\x01\x02\x03\x04", 4)};
    return {body, glass};
}

QByteArray DictionaryOf(const std::vector<Native> &natives, quint32 library)
{
    std::vector<QByteArray> chunks;
    for (const Native &n : natives)
        chunks.push_back(NativeChunk(n, library));
    return Dictionary(chunks, library);
}

quint32 LibraryFor(quint32 platform)
{
    return platform == 9 ? kSA : kVC;
}

} // namespace

class TestCliTextures : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void listsDictionary_data();
    void listsDictionary();
    void writesPngFiles_data();
    void writesPngFiles();
    void numbersAndMakesSafeFileNames();
    void skipsWhatItCannotDecode();
    void listsModelTexturesAndMissingOnes_data();
    void listsModelTexturesAndMissingOnes();
    void errors_data();
    void errors();
    void checkStrictReadsDictionariesAndModels_data();
    void checkStrictReadsDictionariesAndModels();

private:
    QString path(const QString &name) const { return dir.filePath(name); }
    void WriteCarArchive(int version, quint32 platform);
    TestFolder dir;
};

void TestCliTextures::init()
{
    QVERIFY(dir.Renew());
}

void TestCliTextures::WriteCarArchive(int version, quint32 platform)
{
    const quint32 library = LibraryFor(platform);
    QVERIFY(Fixtures::WriteArchive(path("a.img"), version,
                                   {{"car.dff", Model({{"body", "Glass"}, {"wheel"}}, library)},
                                    {"CAR.TXD", DictionaryOf(CarTextures(platform), library)},
                                    {"notes.txt", QByteArray("plain text")}}));
}

void TestCliTextures::listsDictionary_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<quint32>("platform");
    for (int version : {1, 2})
        for (quint32 platform : {8u, 9u})
            QTest::addRow("version %d, platform %u", version, platform) << version << platform;
}

void TestCliTextures::listsDictionary()
{
    QFETCH(int, version);
    QFETCH(quint32, platform);
    WriteCarArchive(version, platform);
    const auto before = FolderSnapshot(dir.path());

    CliResult r = RunCli(dir.path(), {"textures", "a.img", "car.txd"});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.out, Lines({"body\t4x4\tDXT1\t1\talpha\tbodya", "glass\t2x1\t8888\t2\t-\t-"}));
    QCOMPARE(r.exitCode, 0);

    r = RunCli(dir.path(), {"textures", "a.img", "car.txd", "--json"});
    QCOMPARE(r.exitCode, 0);
    const QJsonArray array = QJsonDocument::fromJson(r.out.toUtf8()).array();
    QCOMPARE(array.size(), 2);
    const QString platformName = platform == 9 ? "D3D9" : "D3D8";
    QCOMPARE(array[0].toObject(), (QJsonObject{{"name", "body"}, {"mask", "bodya"}, {"width", 4}, {"height", 4},
                                               {"format", "DXT1"}, {"levels", 1}, {"alpha", true},
                                               {"platform", platformName}}));
    QCOMPARE(array[1].toObject(), (QJsonObject{{"name", "glass"}, {"mask", ""}, {"width", 2}, {"height", 1},
                                               {"format", "8888"}, {"levels", 2}, {"alpha", false},
                                               {"platform", platformName}}));
    QCOMPARE(FolderSnapshot(dir.path()), before); // only read
}

void TestCliTextures::writesPngFiles_data()
{
    listsDictionary_data();
}

void TestCliTextures::writesPngFiles()
{
    QFETCH(int, version);
    QFETCH(quint32, platform);
    WriteCarArchive(version, platform);
    QVERIFY(QDir(dir.path()).mkdir("out"));
    Fixtures::WriteFile(path("out/glass.png"), "an older file, replaced");

    const CliResult r = RunCli(dir.path(), {"textures", "a.img", "CAR.txd", "-o", "out"});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.out, QString());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(QDir(path("out")).entryList(QDir::Files), (QStringList{"body.png", "glass.png"}));
    int width = 0;
    int height = 0;
    QVector<quint32> body(16, 0xFF0000FF);
    body[1] = 0x0000FFFF;
    QCOMPARE(ReadPng(path("out/body.png"), width, height), body);
    QCOMPARE(width, 4);
    QCOMPARE(height, 4);
    QCOMPARE(ReadPng(path("out/glass.png"), width, height), (QVector<quint32>{0x30201040, 0x70605080}));
    QCOMPARE(width, 2);
    QCOMPARE(height, 1);
}

void TestCliTextures::numbersAndMakesSafeFileNames()
{
    std::vector<Native> natives = CarTextures(9);
    Native second = natives[1];
    second.name = "GLASS";
    Native third = natives[1];
    Native slashed = natives[1];
    slashed.name = "../up";
    natives.push_back(second);
    natives.push_back(third);
    natives.push_back(slashed);
    QVERIFY(Fixtures::WriteArchive(path("a.img"), 2, {{"car.txd", DictionaryOf(natives, kSA)}}));
    QVERIFY(QDir(dir.path()).mkdir("out"));
    Fixtures::WriteFile(path("out/glass~2.png"), "kept");

    const CliResult r = RunCli(dir.path(), {"textures", "a.img", "car.txd", "-o", "out"});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.out, Lines({"GLASS -> GLASS~3.png", "glass -> glass~4.png", "../up -> .._up.png"}));
    QCOMPARE(r.exitCode, 0);
    QStringList files = QDir(path("out")).entryList(QDir::Files | QDir::Hidden);
    files.sort();
    QCOMPARE(files, (QStringList{".._up.png", "GLASS~3.png", "body.png", "glass.png", "glass~2.png", "glass~4.png"}));
    QCOMPARE(Fixtures::ReadFile(path("out/glass~2.png")), QByteArray("kept"));
    QVERIFY(!QFile::exists(path("up.png")));
}

void TestCliTextures::skipsWhatItCannotDecode()
{
    std::vector<Native> natives = CarTextures(8);
    Native odd = natives[1];
    odd.name = "odd";
    odd.rasterFormat = 0x0700;
    Native shortLevel = natives[0];
    shortLevel.name = "short";
    shortLevel.levels = {QByteArray(4, '\0')};
    const QByteArray ps2 =
        Chunk(0x15, Struct(LE32(0x00325350) + LE32(0)) + String("ps2tex") + String("") + Extension(), kVC);
    QVERIFY(Fixtures::WriteArchive(
        path("a.img"), 1,
        {{"mixed.txd", Dictionary({NativeChunk(natives[0], kVC), NativeChunk(odd, kVC), ps2,
                                   NativeChunk(shortLevel, kVC), NativeChunk(natives[1], kVC)},
                                  kVC)}}));
    QVERIFY(QDir(dir.path()).mkdir("out"));

    CliResult r = RunCli(dir.path(), {"textures", "a.img", "mixed.txd"});
    QCOMPARE(r.out, Lines({"body\t4x4\tDXT1\t1\talpha\tbodya", "odd\t2x1\traster 0x0700\t2\t-\t-",
                           "ps2tex\t-\tPS2\t-\t-\t-", "short\t4x4\tDXT1\t1\talpha\tbodya",
                           "glass\t2x1\t8888\t2\t-\t-"}));
    QCOMPARE(r.exitCode, 0);

    r = RunCli(dir.path(), {"textures", "a.img", "mixed.txd", "-o", "out"});
    QCOMPARE(r.out, QString());
    QCOMPARE(r.err, kErr + "mixed.txd: texture 'odd' has format raster 0x0700, which is not decoded; skipped\n" +
                        kErr + "mixed.txd: texture 'ps2tex' is for the PS2, which is not decoded; skipped\n" + kErr +
                        "mixed.txd: texture 'short': level 0 holds 4 bytes, 4x4 DXT1 needs 8; skipped\n");
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(QDir(path("out")).entryList(QDir::Files), (QStringList{"body.png", "glass.png"}));
}

void TestCliTextures::listsModelTexturesAndMissingOnes_data()
{
    listsDictionary_data();
}

void TestCliTextures::listsModelTexturesAndMissingOnes()
{
    QFETCH(int, version);
    QFETCH(quint32, platform);
    WriteCarArchive(version, platform);
    QVERIFY(Fixtures::WriteArchive(path("b.img"), version,
                                   {{"car.dff", Model({{"body", "Glass"}, {"wheel"}}, LibraryFor(platform))},
                                    {"car.txd", DictionaryOf(CarTextures(platform), LibraryFor(platform))},
                                    {"full.txd", Dictionary({NativeChunk(CarTextures(platform)[0]),
                                                             NativeChunk(CarTextures(platform)[1]), [&] {
                                                                 Native wheel = CarTextures(platform)[1];
                                                                 wheel.name = "WHEEL";
                                                                 return NativeChunk(wheel);
                                                             }()})}}));

    CliResult r = RunCli(dir.path(), {"textures", "a.img", "Car.DFF"});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.out, Lines({"body", "Glass", "wheel"}));
    QCOMPARE(r.exitCode, 0);

    r = RunCli(dir.path(), {"textures", "a.img", "car.dff", "--json"});
    QCOMPARE(QJsonDocument::fromJson(r.out.toUtf8()).array(), (QJsonArray{"body", "Glass", "wheel"}));
    QCOMPARE(r.exitCode, 0);

    r = RunCli(dir.path(), {"textures", "a.img", "car.dff", "--txd", "car.txd"});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.out, Lines({"wheel"}));
    QCOMPARE(r.exitCode, 1);

    r = RunCli(dir.path(), {"textures", "b.img", "car.dff", "--txd", "full.txd"});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.out, QString());
    QCOMPARE(r.exitCode, 0);
}

void TestCliTextures::errors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("err");
    QTest::addColumn<int>("exitCode");

    const auto usage = [](const QString &message) {
        return kErr + message + QStringLiteral("\nTry 'ostrevale-cli textures --help'.\n");
    };
    QTest::newRow("no such entry") << QStringList{"textures", "a.img", "bike.txd"}
                                   << kErr + "no entry named 'bike.txd'\n" << 1;
    QTest::newRow("no such dictionary for --txd")
        << QStringList{"textures", "a.img", "car.dff", "--txd", "bike.txd"} << kErr + "no entry named 'bike.txd'\n"
        << 1;
    QTest::newRow("neither dictionary nor model")
        << QStringList{"textures", "a.img", "notes.txt"}
        << kErr + "notes.txt is neither a Texture Dictionary nor a Clump: it holds data\n" << 1;
    QTest::newRow("--txd names a model") << QStringList{"textures", "a.img", "car.dff", "--txd", "car.dff"}
                                         << kErr + "car.dff is not a Texture Dictionary: it holds Clump\n" << 1;
    QTest::newRow("--txd with a dictionary")
        << QStringList{"textures", "a.img", "car.txd", "--txd", "car.txd"}
        << kErr + "--txd goes with a model; CAR.TXD is a Texture Dictionary\n" << 1;
    QTest::newRow("-o with a model") << QStringList{"textures", "a.img", "car.dff", "-o", "."}
                                     << kErr + "-o goes with a Texture Dictionary; car.dff is a Clump\n" << 1;
    QTest::newRow("-o into a missing folder")
        << QStringList{"textures", "a.img", "car.txd", "-o", "missing"}
        << kErr + "the output folder 'missing' cannot be opened\n" << 1;
    QTest::newRow("hostile dictionary")
        << QStringList{"textures", "a.img", "huge.txd"}
        << kErr + "huge.txd: texture 't' runs past its chunk: level 0 claims 4294967295 bytes at byte 92 of its "
                  "struct, which has 100\n"
        << 1;
    QTest::newRow("-o and --txd") << QStringList{"textures", "a.img", "car.txd", "-o", ".", "--txd", "x"}
                                  << usage("give -o or --txd, not both") << 2;
    QTest::newRow("-o and --json") << QStringList{"textures", "a.img", "car.txd", "-o", ".", "--json"}
                                   << usage("give -o or --json, not both") << 2;
    QTest::newRow("no name") << QStringList{"textures", "a.img"} << QString() << 2;
}

void TestCliTextures::errors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, err);
    QFETCH(int, exitCode);
    WriteCarArchive(2, 9);
    // 65535 × 65535 whose level claims 4 GiB.
    Native huge;
    huge.name = "t";
    huge.width = huge.height = 65535;
    huge.levels = {QByteArray(8, '\0')};
    QByteArray body = NativeStructBody(huge);
    body.replace(88, 4, LE32(0xFFFFFFFF));
    QVERIFY(Fixtures::WriteArchive(path("a.img"), 2,
                                   {{"car.dff", Model({{"body"}})},
                                    {"CAR.TXD", DictionaryOf(CarTextures(9), kSA)},
                                    {"notes.txt", QByteArray("plain text")},
                                    {"huge.txd", Dictionary({Chunk(0x15, Struct(body) + Extension())})}}));
    const auto before = FolderSnapshot(dir.path());
    const CliResult r = RunCli(dir.path(), args);
    if (!err.isEmpty())
        QCOMPARE(r.err, err);
    QCOMPARE(r.out, QString());
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(FolderSnapshot(dir.path()), before);
}

void TestCliTextures::checkStrictReadsDictionariesAndModels_data()
{
    Fixtures::AddVersionRows();
}

void TestCliTextures::checkStrictReadsDictionariesAndModels()
{
    QFETCH(int, version);
    std::vector<Native> natives = CarTextures(9);
    Native shortLevel = natives[1];
    shortLevel.name = "short";
    shortLevel.levels = {QByteArray(5, '\0')};
    QByteArray pastChunk = NativeStructBody(natives[1]);
    pastChunk.replace(88, 4, LE32(17)); // one byte more than the struct has left
    QVERIFY(Fixtures::WriteArchive(
        path("a.img"), version,
        {{"car.dff", Model({{"body", "Glass"}, {"wheel", "tyre"}})},
         {"car.txd", DictionaryOf(natives, kSA)},
         {"counted.txd", Dictionary({NativeChunk(natives[0]), NativeChunk(shortLevel)}, kSA, 3)},
         {"past.txd", Dictionary({Chunk(0x15, Struct(pastChunk) + Extension())})},
         {"lonely.dff", Model({{"nowhere"}})},
         {"good.dff", Model({{"body"}})},
         {"good.txd", DictionaryOf(natives, kSA)}}));

    CliResult r = RunCli(dir.path(), {"check", "a.img"});
    QCOMPARE(r.out, QString("7 entries checked, 0 problems found\n"));
    QCOMPARE(r.exitCode, 0);

    r = RunCli(dir.path(), {"check", "a.img", "--strict"});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.out.split(QLatin1Char('\n')), Lines({"entry 0 (car.dff): its materials use texture 'wheel', which car.txd lacks",
                           "entry 0 (car.dff): its materials use texture 'tyre', which car.txd lacks",
                           "entry 2 (counted.txd): its struct counts 3 textures, it holds 2",
                           "entry 2 (counted.txd): texture 'short': level 0 holds 5 bytes, 2x1 8888 needs 8",
                           "entry 3 (past.txd): texture 'glass' runs past its chunk: level 0 claims 17 bytes at "
                           "byte 92 of its struct, which has 108",
                           "7 entries checked, 5 problems found"})
                                               .split(QLatin1Char('\n')));
    QCOMPARE(r.exitCode, 1);
}

QTEST_GUILESS_MAIN(TestCliTextures)
#include "tst_cli_textures.moc"
