#include "archive/format/IMGFormat.h"

#include "archive/format/EntryNameRules.h"
#include "archive/io/LargePages.h"

#include <algorithm>

#include <array>
#include <cstring>

namespace {

constexpr std::array<quint32, 256> MakeCrcTable()
{
    std::array<quint32, 256> table{};
    for (quint32 i = 0; i < 256; ++i) {
        quint32 c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
        table[i] = c;
    }
    return table;
}

constexpr std::array<quint32, 256> kCrcTable = MakeCrcTable();

inline quint32 ReadLE32(const char *p)
{
    const auto *u = reinterpret_cast<const uchar *>(p);
    return quint32(u[0]) | (quint32(u[1]) << 8) | (quint32(u[2]) << 16) | (quint32(u[3]) << 24);
}

inline quint16 ReadLE16(const char *p)
{
    const auto *u = reinterpret_cast<const uchar *>(p);
    return quint16(u[0] | (u[1] << 8));
}

inline void WriteLE32(quint32 v, char *p)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * i)) & 0xFF);
}

inline void WriteLE16(quint16 v, char *p)
{
    p[0] = char(v & 0xFF);
    p[1] = char((v >> 8) & 0xFF);
}

} // namespace

quint32 NameHash(const char *name)
{
    quint32 value = 0xFFFFFFFFu;
    for (int i = 0; i < ENTRY_NAME_FIELD_SIZE && name[i] != 0; ++i) {
        const uchar byte = FoldAsciiCase(uchar(name[i]));
        value = (value >> 8) ^ kCrcTable[(value ^ byte) & 0xFF];
    }
    return value;
}

quint32 BytesToSectors(qint64 bytes)
{
    if (bytes >= qint64(0xFFFFFFFFu) * SECTOR_SIZE)
        return 0xFFFFFFFFu;
    if (bytes <= 0)
        return 0;
    return quint32((bytes + SECTOR_SIZE - 1) / SECTOR_SIZE);
}

QString DirPathFor(const QString &imgPath)
{
    if (imgPath.size() < 3)
        return imgPath;
    return imgPath.left(imgPath.size() - 3) + QStringLiteral("dir");
}

quint32 ReadUInt32LE(const char *bytes)
{
    return ReadLE32(bytes);
}

void WriteUInt32LE(quint32 value, char *bytes)
{
    WriteLE32(value, bytes);
}

IMGDirectoryEntry DecodeEntry(const char *bytes)
{
    IMGDirectoryEntry e;
    e.offset = ReadLE32(bytes);
    e.size = ReadLE16(bytes + 4);
    e.reserved = ReadLE16(bytes + 6);
    std::memcpy(e.name, bytes + 8, ENTRY_NAME_FIELD_SIZE);
    return e;
}

void EncodeEntry(const IMGDirectoryEntry &entry, char *bytes)
{
    WriteLE32(entry.offset, bytes);
    WriteLE16(entry.size, bytes + 4);
    WriteLE16(entry.reserved, bytes + 6);
    std::memcpy(bytes + 8, entry.name, ENTRY_NAME_FIELD_SIZE);
}

int EntryNameLength(const IMGDirectoryEntry &entry)
{
    int n = 0;
    while (n < ENTRY_NAME_FIELD_SIZE && entry.name[n] != 0)
        ++n;
    return n;
}

QString EntryName(const IMGDirectoryEntry &entry)
{
    return QString::fromUtf8(entry.name, EntryNameLength(entry));
}

bool SameEntryName(const IMGDirectoryEntry &a, const IMGDirectoryEntry &b)
{
    const int n = EntryNameLength(a);
    if (n != EntryNameLength(b))
        return false;
    for (int i = 0; i < n; ++i) {
        if (FoldAsciiCase(uchar(a.name[i])) != FoldAsciiCase(uchar(b.name[i])))
            return false;
    }
    return true;
}

void SetEntryName(IMGDirectoryEntry &entry, const QByteArray &utf8Name)
{
    std::memset(entry.name, 0, ENTRY_NAME_FIELD_SIZE);
    const int n = qMin(utf8Name.size(), MAX_ENTRY_NAME_BYTES);
    std::memcpy(entry.name, utf8Name.constData(), size_t(n));
}

qint64 Ver2DirectoryRoom(quint32 lowestOffset, qint64 count)
{
    return (qint64(lowestOffset) * SECTOR_SIZE - VER2_HEADER_SIZE - DIRECTORY_RECORD_SIZE * count) /
           DIRECTORY_RECORD_SIZE;
}

QByteArray EncodeVer1Directory(const std::vector<IMGDirectoryEntryWrap> &directory)
{
    QByteArray bytes(int(directory.size() * DIRECTORY_RECORD_SIZE), Qt::Uninitialized);
    AdviseLargePages(bytes.data(), size_t(bytes.size()));
    for (size_t i = 0; i < directory.size(); ++i)
        EncodeEntry(directory[i].entry, bytes.data() + i * DIRECTORY_RECORD_SIZE);
    return bytes;
}

QByteArray EncodeVer2Directory(const std::vector<IMGDirectoryEntryWrap> &directory)
{
    // Header and records go out in one write, so the file never holds a count
    // that disagrees with the records behind it.
    QByteArray bytes(int(VER2_HEADER_SIZE + directory.size() * DIRECTORY_RECORD_SIZE), Qt::Uninitialized);
    AdviseLargePages(bytes.data(), size_t(bytes.size()));
    std::copy(VER2_MAGIC, VER2_MAGIC + VER2_MAGIC_SIZE, bytes.data());
    WriteUInt32LE(quint32(directory.size()), bytes.data() + 4);
    for (size_t i = 0; i < directory.size(); ++i)
        EncodeEntry(directory[i].entry, bytes.data() + VER2_HEADER_SIZE + i * DIRECTORY_RECORD_SIZE);
    return bytes;
}

quint32 FirstPackedSector(int version, qint64 entryCount, PackedStart start, bool firstDataBeginsVer2)
{
    if (version == 2)
        return BytesToSectors(VER2_HEADER_SIZE + DIRECTORY_RECORD_SIZE * entryCount) + 2;
    return start == PackedStart::KeepFirstSector || firstDataBeginsVer2 ? 1u : 0u;
}
