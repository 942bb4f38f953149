#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <vector>

// What an entry holds, told from its first bytes alone (never from its name).
struct ContentType
{
    enum class Kind {
        Empty,      // no bytes at all
        RenderWare, // a RenderWare binary stream: chunk type, size, library ID
        Collision,  // COLL, COL2, COL3 or COL4
        Animation,  // an animation package: ANP3 or ANPK
        Placement,  // a binary placement file: bnry
        Data,       // none of these
    };

    Kind kind = Kind::Data;
    QByteArray magic;                // the four magic bytes of a collision, animation or placement file
    quint32 chunkType = 0;           // RenderWare: the first chunk's type
    quint32 chunkSize = 0;           // RenderWare: the first chunk's size, its 12-byte header not counted
    quint32 libraryId = 0;           // RenderWare: the library ID stamp as stored
    quint32 rwVersion = 0;           // RenderWare: the version decoded from it, e.g. 0x36003 for 3.6.0.3
    bool chunkRunsPastEntry = false; // RenderWare: header and chunk need more bytes than the entry has

    // "Clump", "Texture Dictionary", "chunk 0x2B", "COL2", "ANPK", "bnry", "empty" or "data".
    QString Name() const;
    // "3.6.0.3"; empty when not RenderWare.
    QString RwVersionText() const;
    // "III", "VC", "SA", or the version number for any other; empty when not RenderWare.
    QString Game() const;
};

// The RenderWare chunk types this program names.
constexpr quint32 RW_CHUNK_CLUMP = 0x10;
constexpr quint32 RW_CHUNK_TEXTURE_DICTIONARY = 0x16;

// The bytes of an entry's first sectors that the detection looks at.
constexpr int CONTENT_HEAD_BYTES = 12;

// The version in a library ID stamp: the old plain form 0x00000VJN (upper 16 bits
// zero), or the packed form VVJJJJNNNNBBBBBB DDDDDDDDDDDDDDDD of 3.2 and later,
// whose version is stored less 0x30000 and whose low 16 bits are the build.
quint32 RwVersionFromLibraryId(quint32 libraryId);

// Detects the type from `head`, the entry's first bytes (at most CONTENT_HEAD_BYTES
// are used), for an entry of `entryBytes` bytes (its sectors × 2048).
ContentType DetectContentType(const QByteArray &head, qint64 entryBytes);

struct IMGDirectoryEntryWrap;
class QFile;

// The type of every entry of `directory`, whose data is in `imgFile`; the first
// bytes of the entries are read in the order of their data, one read each
// (`beforeEach`, when given, is called before each). Bytes past the end of the
// file read as zeros. False when a read failed.
bool DetectEntryTypes(QFile &imgFile, const std::vector<IMGDirectoryEntryWrap> &directory,
                      std::vector<ContentType> &types, const std::function<void()> &beforeEach = {});
