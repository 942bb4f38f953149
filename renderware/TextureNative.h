#pragma once

#include "archive/format/ChunkWalker.h"

#include <QByteArray>
#include <QString>

#include <vector>

// The pixel layouts a texture native's levels may hold.
enum class TextureFormat {
    Dxt1,
    Dxt3,
    Dxt5,
    Bgra8888, // 32 bits, B, G, R, A in memory
    Bgr888,   // 24 or 32 bits (by the depth), B, G, R and an unused byte
    Argb1555, // 16-bit little-endian words, Direct3D's bit order
    Rgb565,
    Argb4444,
    Rgb555,
    Lum8,
    Pal8, // one index per byte into 256 colours
    Pal4, // 16 colours; indices packed two per byte or one per byte (see TextureDecoder)
    Unknown,
};

// One texture of a dictionary: a Texture Native chunk, its Struct read.
struct TextureNative
{
    enum class Platform { D3D8, D3D9, PS2, Xbox, Other };

    struct Level
    {
        qint64 offset = 0; // of the level's bytes in the dictionary's bytes
        qint64 size = 0;   // as its 4-byte size says
    };

    Platform platform = Platform::Other;
    quint32 platformId = 0;
    quint32 filterAddressing = 0;
    QByteArray name; // without the zero byte
    QByteArray mask;
    quint32 rasterFormat = 0;
    quint32 d3dFormat = 0; // D3D9: the Direct3D format; D3D8: the alpha flag
    int width = 0;
    int height = 0;
    int depth = 0;
    int levelCount = 0;
    int rasterType = 0;
    quint8 compressionOrFlags = 0; // D3D8: the compression byte; D3D9: the flags
    qint64 paletteOffset = -1;     // of the palette's bytes, when the raster format has a palette flag
    int paletteColours = 0;        // 256 for PAL8, 16 for PAL4; 4 bytes each, R, G, B, A
    std::vector<Level> levels;     // only read for the two PC platforms

    bool IsPc() const { return platform == Platform::D3D8 || platform == Platform::D3D9; }
    TextureFormat Format() const;
    // "DXT1", "8888", "PAL8", …; "raster 0x0700" for a raster format without a name; "-" off the PC.
    QString FormatName() const;
    // "D3D8", "D3D9", "PS2", "Xbox" or "platform N".
    QString PlatformName() const;
    bool HasAlpha() const;
    // Width and height of level `level` (each halved per level, at least 1).
    int LevelWidth(int level) const;
    int LevelHeight(int level) const;
    // Bytes level `level` needs for its width, height and format; -1 for an unknown format.
    qint64 LevelBytesNeeded(int level) const;

    // Reads the Texture Native chunk `chunk` of `data`. False, with `error` saying
    // why, when its struct runs past its chunk, a name lacks its zero byte, or it
    // claims no size at all.
    static bool Read(const char *data, const RwChunk &chunk, TextureNative &native, QString &error);
};

// Raster format bits.
constexpr quint32 RW_RASTER_PIXEL_FORMAT_MASK = 0x0F00;
constexpr quint32 RW_RASTER_PAL8 = 0x2000;
constexpr quint32 RW_RASTER_PAL4 = 0x4000;
// The header of a PC texture native's struct, before the palette and the levels.
constexpr int RW_PC_NATIVE_HEADER_BYTES = 88;
