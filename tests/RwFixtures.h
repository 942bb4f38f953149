#pragma once

// RenderWare streams built from their documented layout: chunks (type, size,
// library ID, body), texture dictionaries of PC texture natives, and models whose
// materials name textures.

#include "ArchiveFixtures.h"
#include "ContentFixtures.h"

#include <QByteArray>

#include <vector>

namespace RwFixtures {

using Fixtures::LE16;
using Fixtures::LE32;

const quint32 kSA = Fixtures::PackedLibraryId(0x36003);
const quint32 kVC = Fixtures::PackedLibraryId(0x34003);
const quint32 kIII = 0x310; // the old plain stamp, 3.1.0.0

inline QByteArray Chunk(quint32 type, const QByteArray &body, quint32 libraryId = kSA)
{
    return LE32(type) + LE32(quint32(body.size())) + LE32(libraryId) + body;
}

inline QByteArray Struct(const QByteArray &body, quint32 libraryId = kSA)
{
    return Chunk(0x01, body, libraryId);
}

inline QByteArray Extension(quint32 libraryId = kSA)
{
    return Chunk(0x03, QByteArray(), libraryId);
}

// A name field of `size` bytes, zero-padded.
inline QByteArray Field(const QByteArray &text, int size)
{
    QByteArray field = text.left(size);
    field.append(QByteArray(size - field.size(), '\0'));
    return field;
}

constexpr quint32 FourCc(const char (&code)[5])
{
    return quint32(quint8(code[0])) | quint32(quint8(code[1])) << 8 | quint32(quint8(code[2])) << 16 |
           quint32(quint8(code[3])) << 24;
}

// One texture native of the PC platforms.
struct Native
{
    quint32 platform = 9; // 8: the first two games, 9: the third
    QByteArray name = "tex";
    QByteArray mask;
    quint32 rasterFormat = 0x0500;
    quint32 d3dFormat = 0; // platform 9: the Direct3D format; platform 8: the alpha flag
    quint16 width = 1;
    quint16 height = 1;
    quint8 depth = 32;
    int levelCount = -1; // -1: as many as `levels`
    quint8 rasterType = 4;
    quint8 compressionOrFlags = 0; // platform 8: compression byte; platform 9: flags
    QByteArray palette;            // stored as it is, after the header
    std::vector<QByteArray> levels;
    QByteArray nameField; // when set, the 32 name bytes as they are (no padding)
};

inline QByteArray NativeHeader(const Native &n)
{
    const QByteArray name = n.nameField.isEmpty() ? Field(n.name, 32) : n.nameField;
    const int levelCount = n.levelCount < 0 ? int(n.levels.size()) : n.levelCount;
    return LE32(n.platform) + LE32(0x1102) + name + Field(n.mask, 32) + LE32(n.rasterFormat) + LE32(n.d3dFormat) +
           LE16(n.width) + LE16(n.height) + QByteArray(1, char(n.depth)) + QByteArray(1, char(levelCount)) +
           QByteArray(1, char(n.rasterType)) + QByteArray(1, char(n.compressionOrFlags));
}

inline QByteArray NativeStructBody(const Native &n)
{
    QByteArray body = NativeHeader(n) + n.palette;
    for (const QByteArray &level : n.levels)
        body += LE32(quint32(level.size())) + level;
    return body;
}

inline QByteArray NativeChunk(const Native &n, quint32 libraryId = kSA)
{
    return Chunk(0x15, Struct(NativeStructBody(n), libraryId) + Extension(libraryId), libraryId);
}

// A dictionary of the given texture native chunks; `count` -1: their number.
inline QByteArray Dictionary(const std::vector<QByteArray> &natives, quint32 libraryId = kSA, int count = -1,
                             quint16 deviceId = 2)
{
    const quint32 n = quint32(count < 0 ? int(natives.size()) : count);
    const bool packedCount = libraryId == kSA;
    QByteArray body = Struct(packedCount ? LE16(quint16(n)) + LE16(deviceId) : LE32(n), libraryId);
    for (const QByteArray &native : natives)
        body += native;
    body += Extension(libraryId);
    return Chunk(0x16, body, libraryId);
}

// A String chunk: the text, its zero byte, padded to four bytes.
inline QByteArray String(const QByteArray &text, quint32 libraryId = kSA)
{
    QByteArray body = text + '\0';
    while (body.size() % 4)
        body += '\0';
    return Chunk(0x02, body, libraryId);
}

inline QByteArray Material(const QByteArray &textureName, quint32 libraryId = kSA)
{
    QByteArray material = Struct(QByteArray(28, '\0'), libraryId);
    if (!textureName.isNull())
        material += Chunk(0x06,
                          Struct(LE32(0x1106), libraryId) + String(textureName, libraryId) +
                              String(textureName + "a", libraryId) + Extension(libraryId),
                          libraryId);
    return Chunk(0x07, material + Extension(libraryId), libraryId);
}

// A Clump of one geometry per list of texture names (one material per name).
inline QByteArray Model(const std::vector<std::vector<QByteArray>> &geometries, quint32 libraryId = kSA)
{
    QByteArray list = Struct(LE32(quint32(geometries.size())), libraryId);
    for (const std::vector<QByteArray> &materials : geometries) {
        QByteArray materialList = Struct(LE32(quint32(materials.size())) +
                                             QByteArray(4 * int(materials.size()), char(0xFF)),
                                         libraryId);
        for (const QByteArray &name : materials)
            materialList += Material(name, libraryId);
        list += Chunk(0x0F,
                      Struct(Fixtures::Pattern(3, 40), libraryId) + Chunk(0x08, materialList, libraryId) +
                          Extension(libraryId),
                      libraryId);
    }
    const QByteArray frames = Chunk(0x0E, Struct(LE32(0), libraryId), libraryId);
    return Chunk(0x10, Struct(LE32(0) + LE32(0) + LE32(0), libraryId) + frames + Chunk(0x1A, list, libraryId) +
                           Extension(libraryId),
                 libraryId);
}

// A DXT1 block: colours c0 and c1 (565), then 2-bit indices, pixel 0 in the lowest bits.
inline QByteArray Dxt1Block(quint16 c0, quint16 c1, quint32 indices)
{
    return LE16(c0) + LE16(c1) + LE32(indices);
}

} // namespace RwFixtures
