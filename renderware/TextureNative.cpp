#include "renderware/TextureNative.h"

#include "archive/format/IMGFormat.h"
#include "renderware/RwChunkTypes.h"
#include "renderware/RwReadError.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr quint32 kPlatformXbox = 5;
constexpr quint32 kPlatformD3D8 = 8;
constexpr quint32 kPlatformD3D9 = 9;
constexpr quint32 kPlatformPS2 = 0x00325350; // "PS2\0"

constexpr quint32 FourCc(const char (&code)[5])
{
    return quint32(quint8(code[0])) | quint32(quint8(code[1])) << 8 | quint32(quint8(code[2])) << 16 |
           quint32(quint8(code[3])) << 24;
}

quint16 ReadUInt16LE(const char *bytes)
{
    return quint16(quint8(bytes[0]) | quint8(bytes[1]) << 8);
}

// A name field of `size` bytes: the bytes before its zero byte; false when it has none.
bool ReadName(const char *field, int size, QByteArray &name)
{
    const void *zero = std::memchr(field, 0, size_t(size));
    if (!zero)
        return false;
    name = QByteArray(field, int(static_cast<const char *>(zero) - field));
    return true;
}

QString NameForError(const QByteArray &name)
{
    return QStringLiteral("'%1'").arg(QString::fromUtf8(name));
}

} // namespace

TextureFormat TextureNative::Format() const
{
    if (platform == Platform::D3D9) {
        switch (d3dFormat) {
        case FourCc("DXT1"):
            return TextureFormat::Dxt1;
        case FourCc("DXT3"):
            return TextureFormat::Dxt3;
        case FourCc("DXT5"):
            return TextureFormat::Dxt5;
        default:
            break;
        }
    } else if (platform == Platform::D3D8) {
        switch (compressionOrFlags) {
        case 0:
            break;
        case 1:
            return TextureFormat::Dxt1;
        case 3:
            return TextureFormat::Dxt3;
        case 5:
            return TextureFormat::Dxt5;
        default:
            return TextureFormat::Unknown;
        }
    } else {
        return TextureFormat::Unknown;
    }
    if (rasterFormat & RW_RASTER_PAL8)
        return TextureFormat::Pal8;
    if (rasterFormat & RW_RASTER_PAL4)
        return TextureFormat::Pal4;
    switch (rasterFormat & RW_RASTER_PIXEL_FORMAT_MASK) {
    case 0x0100:
        return TextureFormat::Argb1555;
    case 0x0200:
        return TextureFormat::Rgb565;
    case 0x0300:
        return TextureFormat::Argb4444;
    case 0x0400:
        return TextureFormat::Lum8;
    case 0x0500:
        return TextureFormat::Bgra8888;
    case 0x0600:
        return TextureFormat::Bgr888;
    case 0x0A00:
        return TextureFormat::Rgb555;
    default:
        return TextureFormat::Unknown;
    }
}

QString TextureNative::FormatName() const
{
    if (!IsPc())
        return QStringLiteral("-");
    switch (Format()) {
    case TextureFormat::Dxt1:
        return QStringLiteral("DXT1");
    case TextureFormat::Dxt3:
        return QStringLiteral("DXT3");
    case TextureFormat::Dxt5:
        return QStringLiteral("DXT5");
    case TextureFormat::Bgra8888:
        return QStringLiteral("8888");
    case TextureFormat::Bgr888:
        return QStringLiteral("888");
    case TextureFormat::Argb1555:
        return QStringLiteral("1555");
    case TextureFormat::Rgb565:
        return QStringLiteral("565");
    case TextureFormat::Argb4444:
        return QStringLiteral("4444");
    case TextureFormat::Rgb555:
        return QStringLiteral("555");
    case TextureFormat::Lum8:
        return QStringLiteral("LUM8");
    case TextureFormat::Pal8:
        return QStringLiteral("PAL8");
    case TextureFormat::Pal4:
        return QStringLiteral("PAL4");
    case TextureFormat::Unknown:
        break;
    }
    if (platform == Platform::D3D8 && compressionOrFlags != 0)
        return QStringLiteral("compression %1").arg(compressionOrFlags);
    return QStringLiteral("raster 0x%1").arg(rasterFormat, 4, 16, QLatin1Char('0'));
}

QString TextureNative::PlatformName() const
{
    switch (platform) {
    case Platform::D3D8:
        return QStringLiteral("D3D8");
    case Platform::D3D9:
        return QStringLiteral("D3D9");
    case Platform::PS2:
        return QStringLiteral("PS2");
    case Platform::Xbox:
        return QStringLiteral("Xbox");
    case Platform::Other:
        break;
    }
    return QStringLiteral("platform %1").arg(platformId);
}

bool TextureNative::HasAlpha() const
{
    if (platform == Platform::D3D9)
        return (compressionOrFlags & 0x01) != 0;
    if (platform == Platform::D3D8)
        return d3dFormat != 0;
    return false;
}

int TextureNative::LevelWidth(int level) const
{
    return std::max(1, width >> std::min(level, 30));
}

int TextureNative::LevelHeight(int level) const
{
    return std::max(1, height >> std::min(level, 30));
}

qint64 TextureNative::LevelBytesNeeded(int level) const
{
    const qint64 w = LevelWidth(level);
    const qint64 h = LevelHeight(level);
    const qint64 blocks = ((w + 3) / 4) * ((h + 3) / 4);
    switch (Format()) {
    case TextureFormat::Dxt1:
        return blocks * 8;
    case TextureFormat::Dxt3:
    case TextureFormat::Dxt5:
        return blocks * 16;
    case TextureFormat::Bgra8888:
        return w * h * 4;
    case TextureFormat::Bgr888:
        return w * h * (depth == 24 ? 3 : 4);
    case TextureFormat::Argb1555:
    case TextureFormat::Rgb565:
    case TextureFormat::Argb4444:
    case TextureFormat::Rgb555:
        return w * h * 2;
    case TextureFormat::Lum8:
    case TextureFormat::Pal8:
        return w * h;
    case TextureFormat::Pal4:
        return ((w + 1) / 2) * h; // packed; one index per byte needs more, and is told by the size
    case TextureFormat::Unknown:
        break;
    }
    return -1;
}

bool TextureNative::Read(const char *data, const RwChunk &chunk, TextureNative &native, QString &error)
{
    native = TextureNative();
    ChunkWalker children(data, chunk);
    if (!children.Next()) {
        error = children.status() == ChunkWalker::Status::End
                    ? QStringLiteral("the texture native at byte %1 holds no struct").arg(chunk.at)
                    : RwReadError::OfWalker(children, data, chunk.End());
        return false;
    }
    const RwChunk body = children.Current();
    if (body.header.type != RwChunkTypes::kStruct) {
        error = QStringLiteral("the texture native at byte %1 begins with chunk 0x%2, not a struct")
                    .arg(chunk.at)
                    .arg(body.header.type, 0, 16);
        return false;
    }
    const char *s = data + body.body;
    const qint64 size = body.header.size;
    if (size < 4) {
        error = QStringLiteral("the texture native at byte %1 runs past its chunk: its struct has %2 bytes")
                    .arg(chunk.at)
                    .arg(size);
        return false;
    }
    native.platformId = ReadUInt32LE(s);
    switch (native.platformId) {
    case kPlatformD3D8:
        native.platform = Platform::D3D8;
        break;
    case kPlatformD3D9:
        native.platform = Platform::D3D9;
        break;
    case kPlatformPS2:
        native.platform = Platform::PS2;
        break;
    case kPlatformXbox:
        native.platform = Platform::Xbox;
        break;
    default:
        native.platform = Platform::Other;
        break;
    }

    if (native.platform == Platform::PS2) {
        // The PS2's names are String chunks after its short struct; taken when they are there.
        if (children.Next() && children.Current().header.type == RwChunkTypes::kString)
            ReadName(data + children.Current().body, int(children.Current().header.size), native.name);
        if (children.Next() && children.Current().header.type == RwChunkTypes::kString)
            ReadName(data + children.Current().body, int(children.Current().header.size), native.mask);
        return true;
    }
    // The other platforms share the first 72 bytes: platform, filter and addressing, name, mask.
    if (size < 72) {
        if (!native.IsPc())
            return true;
        error = QStringLiteral("the texture native at byte %1 runs past its chunk: its header needs %2 bytes, "
                               "its struct has %3")
                    .arg(chunk.at)
                    .arg(RW_PC_NATIVE_HEADER_BYTES)
                    .arg(size);
        return false;
    }
    native.filterAddressing = ReadUInt32LE(s + 4);
    if (!ReadName(s + 8, 32, native.name)) {
        error = QStringLiteral("the texture native at byte %1: its name has no zero byte").arg(chunk.at);
        return false;
    }
    if (!ReadName(s + 40, 32, native.mask)) {
        error = QStringLiteral("texture %1: its mask name has no zero byte").arg(NameForError(native.name));
        return false;
    }
    if (!native.IsPc())
        return true;

    const QString label = QStringLiteral("texture %1").arg(NameForError(native.name));
    if (size < RW_PC_NATIVE_HEADER_BYTES) {
        error = QStringLiteral("%1 runs past its chunk: its header needs %2 bytes, its struct has %3")
                    .arg(label)
                    .arg(RW_PC_NATIVE_HEADER_BYTES)
                    .arg(size);
        return false;
    }
    native.rasterFormat = ReadUInt32LE(s + 72);
    native.d3dFormat = ReadUInt32LE(s + 76);
    native.width = ReadUInt16LE(s + 80);
    native.height = ReadUInt16LE(s + 82);
    native.depth = quint8(s[84]);
    native.levelCount = quint8(s[85]);
    native.rasterType = quint8(s[86]);
    native.compressionOrFlags = quint8(s[87]);
    if (native.width == 0 || native.height == 0) {
        error = QStringLiteral("%1 claims a size of %2x%3").arg(label).arg(native.width).arg(native.height);
        return false;
    }
    if (native.levelCount == 0) {
        error = QStringLiteral("%1 claims no levels").arg(label);
        return false;
    }

    qint64 at = RW_PC_NATIVE_HEADER_BYTES;
    if (native.Format() == TextureFormat::Pal8 || native.Format() == TextureFormat::Pal4) {
        native.paletteColours = native.Format() == TextureFormat::Pal8 ? 256 : 16;
        const qint64 paletteBytes = 4 * native.paletteColours;
        if (size - at < paletteBytes) {
            error = QStringLiteral("%1 runs past its chunk: its palette of %2 bytes at byte %3 of its struct, "
                                   "which has %4")
                        .arg(label)
                        .arg(paletteBytes)
                        .arg(at)
                        .arg(size);
            return false;
        }
        native.paletteOffset = body.body + at;
        at += paletteBytes;
    }
    native.levels.reserve(size_t(native.levelCount)); // at most 255
    for (int level = 0; level < native.levelCount; ++level) {
        if (size - at < 4) {
            error = QStringLiteral("%1 runs past its chunk: the size of level %2 at byte %3 of its struct, "
                                   "which has %4")
                        .arg(label)
                        .arg(level)
                        .arg(at)
                        .arg(size);
            return false;
        }
        const qint64 levelSize = ReadUInt32LE(s + at);
        at += 4;
        if (size - at < levelSize) {
            error = QStringLiteral("%1 runs past its chunk: level %2 claims %3 bytes at byte %4 of its struct, "
                                   "which has %5")
                        .arg(label)
                        .arg(level)
                        .arg(levelSize)
                        .arg(at)
                        .arg(size);
            return false;
        }
        native.levels.push_back({body.body + at, levelSize});
        at += levelSize;
    }
    return true;
}
