#include "archive/format/ContentType.h"

#include "archive/io/ArchiveIO.h"
#include "archive/format/IMGFormat.h"
#include "archive/format/ChunkWalker.h"

#include <QFile>

#include <algorithm>
#include <numeric>

namespace {

bool IsPlausibleRwVersion(quint32 libraryId)
{
    if ((libraryId & 0xFFFF0000u) == 0)
        return libraryId >= 0x300 && libraryId <= 0x3FF; // old form: 3.x.x only
    // Packed form: the two top bits are the version less 3, and no game was ever
    // linked against anything but version 3.
    return (libraryId >> 30) == 0;
}

// Core chunk types are small numbers; plugin chunks of the games' own
// extensions live under the vendor prefix 0x0253F2.
bool IsPlausibleChunkType(quint32 type)
{
    return (type != 0 && type < 0x10000) || (type >> 8) == 0x0253F2;
}

} // namespace

quint32 RwVersionFromLibraryId(quint32 libraryId)
{
    if ((libraryId & 0xFFFF0000u) == 0)
        return libraryId << 8;
    return (((libraryId >> 14) & 0x3FF00u) + 0x30000u) | ((libraryId >> 16) & 0x3Fu);
}

ContentType DetectContentType(const QByteArray &head, qint64 entryBytes)
{
    ContentType type;
    if (entryBytes <= 0) {
        type.kind = ContentType::Kind::Empty;
        return type;
    }
    if (head.size() >= 4) {
        const QByteArray magic = head.left(4);
        if (magic == "COLL" || magic == "COL2" || magic == "COL3" || magic == "COL4")
            type.kind = ContentType::Kind::Collision;
        else if (magic == "ANP3" || magic == "ANPK")
            type.kind = ContentType::Kind::Animation;
        else if (magic == "bnry")
            type.kind = ContentType::Kind::Placement;
        if (type.kind != ContentType::Kind::Data) {
            type.magic = magic;
            return type;
        }
    }
    if (head.size() >= CONTENT_HEAD_BYTES) {
        const RwChunkHeader header = ReadRwChunkHeader(head.constData());
        const quint32 chunkType = header.type;
        const quint32 chunkSize = header.size;
        const quint32 libraryId = header.libraryId;
        if (IsPlausibleChunkType(chunkType) && IsPlausibleRwVersion(libraryId)) {
            type.kind = ContentType::Kind::RenderWare;
            type.chunkType = chunkType;
            type.chunkSize = chunkSize;
            type.libraryId = libraryId;
            type.rwVersion = RwVersionFromLibraryId(libraryId);
            type.chunkRunsPastEntry = CONTENT_HEAD_BYTES + qint64(chunkSize) > entryBytes;
        }
    }
    return type;
}

QString ContentType::Name() const
{
    switch (kind) {
    case Kind::Empty:
        return QStringLiteral("empty");
    case Kind::RenderWare:
        if (chunkType == RW_CHUNK_CLUMP)
            return QStringLiteral("Clump");
        if (chunkType == RW_CHUNK_TEXTURE_DICTIONARY)
            return QStringLiteral("Texture Dictionary");
        return QStringLiteral("chunk 0x") + QString::number(chunkType, 16).toUpper();
    case Kind::Collision:
    case Kind::Animation:
    case Kind::Placement:
        return QString::fromLatin1(magic);
    case Kind::Data:
        break;
    }
    return QStringLiteral("data");
}

QString ContentType::RwVersionText() const
{
    if (kind != Kind::RenderWare)
        return QString();
    return QStringLiteral("%1.%2.%3.%4")
        .arg(rwVersion >> 16)
        .arg((rwVersion >> 12) & 0xF)
        .arg((rwVersion >> 8) & 0xF)
        .arg(rwVersion & 0xFF);
}

QString ContentType::Game() const
{
    if (kind != Kind::RenderWare)
        return QString();
    switch (rwVersion) {
    case 0x31001:
    case 0x33002:
        return QStringLiteral("III");
    case 0x34003:
        return QStringLiteral("VC");
    case 0x36003:
        return QStringLiteral("SA");
    default:
        return RwVersionText();
    }
}

bool DetectEntryTypes(QFile &imgFile, const std::vector<IMGDirectoryEntryWrap> &directory,
                      std::vector<ContentType> &types, const std::function<void()> &beforeEach)
{
    std::vector<int> byOffset(directory.size());
    std::iota(byOffset.begin(), byOffset.end(), 0);
    std::stable_sort(byOffset.begin(), byOffset.end(), [&](int a, int b) {
        return directory[size_t(a)].entry.offset < directory[size_t(b)].entry.offset;
    });
    types.assign(directory.size(), ContentType());
    char head[CONTENT_HEAD_BYTES];
    for (const int position : byOffset) {
        if (beforeEach)
            beforeEach();
        const IMGDirectoryEntry &e = directory[size_t(position)].entry;
        const qint64 entryBytes = qint64(e.size) * SECTOR_SIZE;
        const qint64 wanted = std::min<qint64>(CONTENT_HEAD_BYTES, entryBytes);
        const qint64 got = wanted > 0 ? ArchiveIO::ReadSmallAt(imgFile, SectorToBytes(e.offset), head, wanted) : 0;
        if (got < 0)
            return false;
        std::fill(head + got, head + wanted, '\0'); // a last sector cut short reads as zeros
        types[size_t(position)] = DetectContentType(QByteArray::fromRawData(head, int(wanted)), entryBytes);
    }
    return true;
}
