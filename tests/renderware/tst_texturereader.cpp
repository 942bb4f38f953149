// The reader against dictionaries and models built from the documented layout:
// every format decoded to known pixels on both PC platforms, mip levels, the
// textures of a model, and hostile bytes that must end in a clear error.

#include "RwFixtures.h"

#include "renderware/ModelTextures.h"
#include "renderware/RenderWareReader.h"
#include "renderware/TextureDecoder.h"
#include "renderware/TextureDictionary.h"

#include <QtTest>

using namespace RwFixtures;

Q_DECLARE_METATYPE(RwFixtures::Native)

namespace {

using Pixels = QVector<quint32>; // 0xRRGGBBAA each

Pixels ToPixels(const std::vector<quint8> &rgba)
{
    Pixels pixels;
    for (size_t i = 0; i + 3 < rgba.size(); i += 4)
        pixels << (quint32(rgba[i]) << 24 | quint32(rgba[i + 1]) << 16 | quint32(rgba[i + 2]) << 8 | rgba[i + 3]);
    return pixels;
}

// A palette of `colours` colours, colour 0 = 11 22 33 44 and colour `index` = `rgba`, the rest zero.
QByteArray Palette(int colours, int index, const QByteArray &rgba)
{
    QByteArray palette(4 * colours, '\0');
    palette.replace(0, 4, "\x11\x22\x33\x44");
    palette.replace(4 * index, 4, rgba);
    return palette;
}

} // namespace

class TestTextureReader : public QObject
{
    Q_OBJECT

private slots:
    void decodesFormat_data();
    void decodesFormat();
    void readsHeaderFields_data();
    void readsHeaderFields();
    void readsMipLevelsAndDictionaryCount_data();
    void readsMipLevelsAndDictionaryCount();
    void namesOtherPlatforms();
    void refusesToDecode_data();
    void refusesToDecode();
    void hostileDictionaries_data();
    void hostileDictionaries();
    void modelTextures();
    void hostileModels_data();
    void hostileModels();
};

void TestTextureReader::decodesFormat_data()
{
    QTest::addColumn<Native>("native");
    QTest::addColumn<QString>("format");
    QTest::addColumn<Pixels>("pixels");

    // A DXT1 block of red (c0) and blue (c1); pixel 0 index 0, pixel 1 index 1, the rest index 0.
    const QByteArray dxt1 = Dxt1Block(0xF800, 0x001F, 0x4);
    Pixels dxt1Pixels(16, 0xFF0000FF);
    dxt1Pixels[1] = 0x0000FFFF;
    for (quint32 platform : {8u, 9u}) {
        Native n;
        n.platform = platform;
        n.width = n.height = 4;
        n.rasterFormat = 0x0200;
        n.depth = 16;
        if (platform == 9)
            n.d3dFormat = FourCc("DXT1");
        else
            n.compressionOrFlags = 1;
        n.levels = {dxt1};
        QTest::newRow(qPrintable(QStringLiteral("DXT1, platform %1").arg(platform))) << n << "DXT1" << dxt1Pixels;
    }
    {
        // Explicit 4-bit alpha: pixel 0 opaque, pixel 1 0x8, the rest 0.
        Native n;
        n.width = n.height = 4;
        n.rasterFormat = 0x0300;
        n.d3dFormat = FourCc("DXT3");
        n.levels = {LE16(0x008F) + QByteArray(6, '\0') + dxt1};
        Pixels pixels(16, 0xFF000000);
        pixels[0] = 0xFF0000FF;
        pixels[1] = 0x0000FF88;
        QTest::newRow("DXT3, platform 9") << n << "DXT3" << pixels;
        n.platform = 8;
        n.d3dFormat = 0;
        n.compressionOrFlags = 3;
        QTest::newRow("DXT3, platform 8") << n << "DXT3" << pixels;
    }
    {
        // Alpha endpoints 255 and 0; pixel 0 index 0, pixel 1 index 1, the rest index 0.
        Native n;
        n.width = n.height = 4;
        n.rasterFormat = 0x0300;
        n.d3dFormat = FourCc("DXT5");
        n.levels = {QByteArray("\xFF\x00", 2) + QByteArray("\x08\0\0\0\0\0", 6) + dxt1};
        Pixels pixels(16, 0xFF0000FF);
        pixels[1] = 0x0000FF00;
        QTest::newRow("DXT5") << n << "DXT5" << pixels;
    }
    const auto plain = [](quint32 platform, quint32 rasterFormat, int depth, int width, const QByteArray &level) {
        Native n;
        n.platform = platform;
        n.rasterFormat = rasterFormat;
        n.depth = quint8(depth);
        n.width = quint16(width);
        n.levels = {level};
        return n;
    };
    for (quint32 platform : {8u, 9u}) {
        const QString p = QStringLiteral(", platform %1").arg(platform);
        QTest::newRow(qPrintable("8888 as B, G, R, A" + p))
            << plain(platform, 0x0500, 32, 1, "\x10\x20\x30\x40") << "8888" << Pixels{0x30201040};
        QTest::newRow(qPrintable("888 of depth 32, fourth byte unused" + p))
            << plain(platform, 0x0600, 32, 1, "\x10\x20\x30\x40") << "888" << Pixels{0x302010FF};
        QTest::newRow(qPrintable("1555" + p))
            << plain(platform, 0x0100, 16, 2, LE16(0xFC00) + LE16(0x001F)) << "1555"
            << Pixels{0xFF0000FF, 0x0000FF00};
        QTest::newRow(qPrintable("565" + p))
            << plain(platform, 0x0200, 16, 2, LE16(0xF800) + LE16(0x07E0)) << "565"
            << Pixels{0xFF0000FF, 0x00FF00FF};
        QTest::newRow(qPrintable("4444" + p))
            << plain(platform, 0x0300, 16, 2, LE16(0xF00F) + LE16(0x8421)) << "4444"
            << Pixels{0x0000FFFF, 0x44221188};
        QTest::newRow(qPrintable("555 ignores the top bit" + p))
            << plain(platform, 0x0A00, 16, 2, LE16(0xFC00) + LE16(0x03E0)) << "555"
            << Pixels{0xFF0000FF, 0x00FF00FF};
        QTest::newRow(qPrintable("LUM8" + p)) << plain(platform, 0x0400, 8, 1, "\x80") << "LUM8" << Pixels{0x808080FF};
    }
    QTest::newRow("888 of depth 24, three bytes a pixel")
        << plain(9, 0x0600, 24, 2, "\x10\x20\x30\x40\x50\x60") << "888" << Pixels{0x302010FF, 0x605040FF};
    {
        Native n = plain(9, 0x2500, 8, 2, QByteArray("\x05\x00", 2));
        n.palette = Palette(256, 5, "\x01\x02\x03\x04");
        QTest::newRow("PAL8 looks up R, G, B, A colours") << n << "PAL8"
                                                          << Pixels{0x01020304, 0x11223344};
    }
    {
        // 3 × 2 packed, two indices a byte, the first pixel in the low four bits; rows of two bytes.
        Native n = plain(8, 0x4500, 4, 3, "\x21\x03\x10\x02");
        n.height = 2;
        QByteArray palette;
        for (int i = 0; i < 16; ++i)
            palette += QByteArray(3, char(i * 16)) + char(0xFF);
        n.palette = palette;
        QTest::newRow("PAL4 packed") << n << "PAL4"
                                     << Pixels{0x101010FF, 0x202020FF, 0x303030FF, 0x000000FF, 0x101010FF,
                                               0x202020FF};
        n.levels = {QByteArray("\x01\x02\x03\x0F\x00\x01", 6)};
        QTest::newRow("PAL4 one index a byte") << n << "PAL4"
                                               << Pixels{0x101010FF, 0x202020FF, 0x303030FF, 0xF0F0F0FF,
                                                         0x000000FF, 0x101010FF};
    }
}

void TestTextureReader::decodesFormat()
{
    QFETCH(Native, native);
    QFETCH(QString, format);
    QFETCH(Pixels, pixels);
    for (quint32 library : {kSA, kVC}) {
        TextureDictionary dictionary;
        QVERIFY2(dictionary.Read(Dictionary({NativeChunk(native, library)}, library)),
                 qPrintable(dictionary.Error()));
        QCOMPARE(dictionary.Problems(), QStringList());
        QCOMPARE(int(dictionary.Textures().size()), 1);
        const TextureNative &texture = dictionary.Textures().front();
        QCOMPARE(texture.FormatName(), format);
        std::vector<quint8> rgba;
        QString error;
        QVERIFY2(TextureDecoder::DecodeFirstLevel(dictionary.Bytes().constData(), texture, rgba, error),
                 qPrintable(error));
        QCOMPARE(ToPixels(rgba), pixels);
    }
}

void TestTextureReader::readsHeaderFields_data()
{
    QTest::addColumn<Native>("native");
    QTest::addColumn<QString>("platform");
    QTest::addColumn<bool>("alpha");

    Native n;
    n.name = "body";
    n.mask = "bodya";
    n.width = 2;
    n.height = 1;
    n.levels = {QByteArray(8, 'x')};
    n.platform = 9;
    n.compressionOrFlags = 0x01;
    QTest::newRow("platform 9, alpha in the flags") << n << "D3D9" << true;
    n.compressionOrFlags = 0x08;
    QTest::newRow("platform 9, other flags") << n << "D3D9" << false;
    n.platform = 8;
    n.compressionOrFlags = 0;
    n.d3dFormat = 1;
    QTest::newRow("platform 8, alpha flag") << n << "D3D8" << true;
    n.d3dFormat = 0;
    QTest::newRow("platform 8, no alpha") << n << "D3D8" << false;
}

void TestTextureReader::readsHeaderFields()
{
    QFETCH(Native, native);
    QFETCH(QString, platform);
    QFETCH(bool, alpha);
    TextureDictionary dictionary;
    QVERIFY2(dictionary.Read(Dictionary({NativeChunk(native)})), qPrintable(dictionary.Error()));
    const TextureNative &texture = dictionary.Textures().front();
    QCOMPARE(texture.name, QByteArray("body"));
    QCOMPARE(texture.mask, QByteArray("bodya"));
    QCOMPARE(texture.PlatformName(), platform);
    QCOMPARE(texture.HasAlpha(), alpha);
    QCOMPARE(texture.width, 2);
    QCOMPARE(texture.height, 1);
    QCOMPARE(texture.filterAddressing, 0x1102u);
    QCOMPARE(texture.rasterType, 4);
}

void TestTextureReader::readsMipLevelsAndDictionaryCount_data()
{
    QTest::addColumn<quint32>("library");
    QTest::addRow("3.6: 16-bit count and device id") << kSA;
    QTest::addRow("3.4: 32-bit count") << kVC;
    QTest::addRow("3.1, old stamp: 32-bit count") << kIII;
}

void TestTextureReader::readsMipLevelsAndDictionaryCount()
{
    QFETCH(quint32, library);
    Native mipped;
    mipped.name = "mipped";
    mipped.width = 8;
    mipped.height = 4;
    mipped.d3dFormat = FourCc("DXT1");
    // 8×4, 4×2, 2×1: two blocks, then one, then one.
    mipped.levels = {Dxt1Block(0xF800, 0xF800, 0) + Dxt1Block(0x001F, 0x001F, 0), Dxt1Block(0x07E0, 0x07E0, 0),
                     Dxt1Block(0, 0, 0)};
    Native second;
    second.name = "second";
    second.levels = {"\1\2\3\4"};
    TextureDictionary dictionary;
    QVERIFY2(dictionary.Read(Dictionary({NativeChunk(mipped, library), NativeChunk(second, library)}, library)),
             qPrintable(dictionary.Error()));
    QCOMPARE(dictionary.DeclaredCount(), 2);
    QCOMPARE(dictionary.DeviceId(), library == kSA ? 2 : 0);
    QCOMPARE(dictionary.Problems(), QStringList());
    const TextureNative &texture = dictionary.Textures().front();
    QCOMPARE(texture.levelCount, 3);
    QCOMPARE(int(texture.levels.size()), 3);
    QCOMPARE(texture.levels[1].size, 8);
    QCOMPARE(texture.LevelWidth(2), 2);
    QCOMPARE(texture.LevelHeight(2), 1);
    std::vector<quint8> rgba;
    QString error;
    QVERIFY(TextureDecoder::DecodeFirstLevel(dictionary.Bytes().constData(), texture, rgba, error));
    const Pixels pixels = ToPixels(rgba);
    QCOMPARE(pixels.size(), 32);
    QCOMPARE(pixels[0], 0xFF0000FFu); // the first block, red
    QCOMPARE(pixels[4], 0x0000FFFFu); // the second, blue, to its right
    QCOMPARE(pixels[31], 0x0000FFFFu);
    QCOMPARE(dictionary.Textures()[1].name, QByteArray("second"));
}

void TestTextureReader::namesOtherPlatforms()
{
    // PS2: a short struct, then the names as String chunks. Xbox: the PC's first 72 bytes.
    const QByteArray ps2 = Chunk(0x15, Struct(LE32(0x00325350) + LE32(0x1102)) + String("ps2tex") + String("ps2a") +
                                           Struct(QByteArray(64, '\0')) + Extension());
    Native xbox;
    xbox.platform = 5;
    xbox.name = "xboxtex";
    xbox.levels = {QByteArray(4, 'x')};
    TextureDictionary dictionary;
    QVERIFY2(dictionary.Read(Dictionary({ps2, NativeChunk(xbox)})), qPrintable(dictionary.Error()));
    QCOMPARE(int(dictionary.Textures().size()), 2);
    QCOMPARE(dictionary.Textures()[0].name, QByteArray("ps2tex"));
    QCOMPARE(dictionary.Textures()[0].mask, QByteArray("ps2a"));
    QCOMPARE(dictionary.Textures()[0].PlatformName(), QStringLiteral("PS2"));
    QCOMPARE(dictionary.Textures()[1].name, QByteArray("xboxtex"));
    QCOMPARE(dictionary.Textures()[1].PlatformName(), QStringLiteral("Xbox"));
    std::vector<quint8> rgba;
    QString error;
    QVERIFY(!TextureDecoder::DecodeFirstLevel(dictionary.Bytes().constData(), dictionary.Textures()[0], rgba, error));
    QCOMPARE(error, QStringLiteral("texture 'ps2tex' is for the PS2, which is not decoded"));
}

void TestTextureReader::refusesToDecode_data()
{
    QTest::addColumn<Native>("native");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("problem"); // what the dictionary reports, "" for nothing

    Native n;
    n.name = "t";
    n.width = 4;
    n.height = 4;
    n.d3dFormat = FourCc("DXT1");
    n.levels = {QByteArray(7, '\0')};
    QTest::newRow("level shorter than its blocks")
        << n << "texture 't': level 0 holds 7 bytes, 4x4 DXT1 needs 8"
        << "texture 't': level 0 holds 7 bytes, 4x4 DXT1 needs 8";
    n.width = n.height = 65535;
    n.levels = {QByteArray(8, '\0')};
    QTest::newRow("65535 x 65535 in eight bytes")
        << n << "texture 't': level 0 holds 8 bytes, 65535x65535 DXT1 needs 2147483648"
        << "texture 't': level 0 holds 8 bytes, 65535x65535 DXT1 needs 2147483648";
    n.width = n.height = 1;
    n.d3dFormat = 0;
    n.rasterFormat = 0x0700;
    n.levels = {QByteArray(4, '\0')};
    QTest::newRow("a pixel format without a name") << n << "texture 't' has format raster 0x0700, which is not decoded"
                                                    << "";
    n.platform = 8;
    n.rasterFormat = 0x0500;
    n.compressionOrFlags = 2;
    QTest::newRow("compression byte 2 on platform 8")
        << n << "texture 't' has format compression 2, which is not decoded" << "";
    n.platform = 9;
    n.compressionOrFlags = 0;
    n.rasterFormat = 0x4500;
    n.depth = 4;
    n.width = 2;
    n.palette = QByteArray(64, '\x7F');
    n.levels = {"\x01\xC8"};
    QTest::newRow("palette index past the palette")
        << n << "texture 't': pixel 1,0 uses palette index 200, the palette has 16 colours" << "";
}

void TestTextureReader::refusesToDecode()
{
    QFETCH(Native, native);
    QFETCH(QString, error);
    QFETCH(QString, problem);
    TextureDictionary dictionary;
    QVERIFY2(dictionary.Read(Dictionary({NativeChunk(native)})), qPrintable(dictionary.Error()));
    QCOMPARE(dictionary.Problems(), problem.isEmpty() ? QStringList() : QStringList{problem});
    std::vector<quint8> rgba;
    QString got;
    QVERIFY(!TextureDecoder::DecodeFirstLevel(dictionary.Bytes().constData(), dictionary.Textures().front(), rgba,
                                              got));
    QCOMPARE(got, error);
    QVERIFY(rgba.size() <= 64); // nothing allocated for pixels the bytes cannot hold
}

void TestTextureReader::hostileDictionaries_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");

    Native n;
    n.name = "t";
    n.levels = {"\1\2\3\4"};
    const QByteArray good = Dictionary({NativeChunk(n)});

    QByteArray lying = good;
    lying.replace(4, 4, LE32(quint32(good.size())));
    QTest::newRow("dictionary size past the entry")
        << lying << QStringLiteral("its chunk of %1 bytes runs past the end of the entry (%2 bytes)")
                        .arg(good.size() + 12)
                        .arg(good.size());
    QTest::newRow("entry of 8 bytes") << good.left(8) << "it is not a Texture Dictionary";
    QTest::newRow("a Clump") << Model({{"a"}}) << "it is not a Texture Dictionary";

    // The native (after the dictionary's header and its 16-byte struct) claims more than the dictionary holds.
    QByteArray nativePast = good;
    nativePast.replace(12 + 16 + 4, 4, LE32(quint32(good.size())));
    QTest::newRow("native past its parent")
        << nativePast
        << QStringLiteral("the chunk 0x15 at byte 28 claims %1 bytes and runs past its parent, which ends at byte %2")
               .arg(good.size())
               .arg(good.size());

    Native levelLies = n;
    QByteArray body = NativeStructBody(levelLies);
    body.replace(88, 4, LE32(1000));
    QTest::newRow("level size past its struct")
        << Dictionary({Chunk(0x15, Struct(body) + Extension())})
        << "texture 't' runs past its chunk: level 0 claims 1000 bytes at byte 92 of its struct, which has 96";

    QTest::newRow("struct shorter than its header")
        << Dictionary({Chunk(0x15, Struct(NativeStructBody(n).left(80)) + Extension())})
        << "texture 't' runs past its chunk: its header needs 88 bytes, its struct has 80";

    Native pal = n;
    pal.rasterFormat = 0x2500;
    pal.palette = QByteArray(100, '\0');
    pal.levels.clear();
    pal.levelCount = 1;
    QTest::newRow("palette past its struct")
        << Dictionary({NativeChunk(pal)})
        << "texture 't' runs past its chunk: its palette of 1024 bytes at byte 88 of its struct, which has 188";

    Native unnamed = n;
    unnamed.nameField = QByteArray(32, 'a');
    QTest::newRow("name without a zero byte") << Dictionary({NativeChunk(unnamed)})
                                              << "the texture native at byte 28: its name has no zero byte";

    Native empty = n;
    empty.width = 0;
    QTest::newRow("width 0") << Dictionary({NativeChunk(empty)}) << "texture 't' claims a size of 0x1";

    QTest::newRow("header cut inside the dictionary")
        << Chunk(0x16, Struct(LE16(1) + LE16(2)) + QByteArray(5, '\0')) << "the chunk header at byte 28 is cut short (5 bytes left of its parent)";
    QTest::newRow("no struct") << Chunk(0x16, QByteArray()) << "the dictionary holds no struct";
}

void TestTextureReader::hostileDictionaries()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    TextureDictionary dictionary;
    QVERIFY(!dictionary.Read(bytes));
    QCOMPARE(dictionary.Error(), error);
    const RenderWareReader::Summary summary = RenderWareReader::ReadEverything(bytes);
    QVERIFY(!summary.dictionary);
    QCOMPARE(summary.error, error);
}

void TestTextureReader::modelTextures()
{
    // Two geometries; the second material of the first names no texture; names repeat in another case.
    const QByteArray model = Model({{"body", QByteArray(), "wheel"}, {"BODY", "glass"}});
    std::vector<QByteArray> names;
    QString error;
    QVERIFY2(ModelTextures::Read(model, names, error), qPrintable(error));
    QCOMPARE(names, (std::vector<QByteArray>{"body", "wheel", "glass"}));
    const RenderWareReader::Summary summary = RenderWareReader::ReadEverything(model);
    QVERIFY(summary.model);
    QCOMPARE(summary.modelNames, 3);
}

void TestTextureReader::hostileModels_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");
    const QByteArray good = Model({{"body"}});
    QByteArray lying = good;
    lying.replace(4, 4, LE32(quint32(good.size())));
    QTest::newRow("clump size past the entry")
        << lying << QStringLiteral("its chunk of %1 bytes runs past the end of the entry (%2 bytes)")
                        .arg(good.size() + 12)
                        .arg(good.size());
    QTest::newRow("a dictionary") << Dictionary({}) << "it is not a Clump";

    QByteArray unterminated = good;
    const int at = unterminated.indexOf("body");
    unterminated.replace(at, 8, "bodybody"); // the String's 8 bytes, no zero left
    QTest::newRow("texture name without a zero byte")
        << unterminated << QStringLiteral("the texture name at byte %1 has no zero byte").arg(at);

    // The geometry list (after the clump header, its struct and the frame list) claims more than the clump has.
    QByteArray listPast = good;
    const int list = 12 + 24 + 28;
    const quint32 claimed = ReadUInt32LE(good.constData() + list + 4) + 100;
    listPast.replace(list + 4, 4, LE32(claimed));
    QTest::newRow("geometry list past its parent")
        << listPast
        << QStringLiteral("the chunk 0x1a at byte %1 claims %2 bytes and runs past its parent, which ends at byte %3")
               .arg(list)
               .arg(claimed)
               .arg(good.size());
}

void TestTextureReader::hostileModels()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    std::vector<QByteArray> names;
    QString got;
    QVERIFY(!ModelTextures::Read(bytes, names, got));
    QCOMPARE(got, error);
}

QTEST_APPLESS_MAIN(TestTextureReader)
#include "tst_texturereader.moc"
