#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <vector>

// Space in an archive is counted in sectors of this many bytes.
constexpr qint64 SECTOR_SIZE = 2048;
// One directory record on disk.
constexpr qint64 DIRECTORY_RECORD_SIZE = 32;
// The first four bytes of a version 2 archive.
constexpr char VER2_MAGIC[] = "VER2";
constexpr int VER2_MAGIC_SIZE = 4;
// The magic and the entry count in front of a version 2 directory.
constexpr qint64 VER2_HEADER_SIZE = 8;
// The name field holds at most this many bytes, its terminating zero included.
constexpr int ENTRY_NAME_FIELD_SIZE = 24;
// A name this program writes keeps room for the terminating zero.
constexpr int MAX_ENTRY_NAME_BYTES = ENTRY_NAME_FIELD_SIZE - 1;
// The 16-bit size field holds at most 65,535 sectors.
constexpr qint64 MAX_ENTRY_BYTES = 65535 * SECTOR_SIZE;

// The 32-byte directory record of both archive versions. Its layout matches
// the disk, but records are always encoded and decoded field by field in
// little-endian order (EncodeEntry/DecodeEntry), never copied as raw memory.
struct IMGDirectoryEntry
{
    quint32 offset = 0;                    // first sector of the entry's data
    quint16 size = 0;                      // length of the data in whole sectors
    quint16 reserved = 0;                  // never interpreted; carried through unchanged
    char name[ENTRY_NAME_FIELD_SIZE] = {}; // UTF-8, ended by the first zero byte
};
static_assert(sizeof(IMGDirectoryEntry) == DIRECTORY_RECORD_SIZE, "a directory record is 32 bytes");

// One entry in memory: the record exactly as on disk plus the hash of its name.
struct IMGDirectoryEntryWrap
{
    IMGDirectoryEntry entry;
    quint32 nameHash = 0;
};

// CRC-32 (reflected polynomial 0xEDB88320) over the name with ASCII letters
// upper-cased, without the final inversion; reads up to the first zero byte and
// never more than the 24 bytes of the name field.
quint32 NameHash(const char *name);

// A byte count rounded up to whole sectors, saturating at 0xFFFFFFFF.
quint32 BytesToSectors(qint64 bytes);

// The .dir path of a version 1 archive: the .img path with its last three
// characters replaced by "dir" (paths shorter than three characters stay as they are).
QString DirPathFor(const QString &imgPath);

// Little-endian integers on disk, whatever the host's byte order.
quint32 ReadUInt32LE(const char *bytes);
void WriteUInt32LE(quint32 value, char *bytes);

// Decodes/encodes one 32-byte little-endian record.
IMGDirectoryEntry DecodeEntry(const char *bytes);
void EncodeEntry(const IMGDirectoryEntry &entry, char *bytes);

// Length of the stored name: bytes up to the first zero, at most 24.
int EntryNameLength(const IMGDirectoryEntry &entry);
// The stored name decoded as UTF-8.
QString EntryName(const IMGDirectoryEntry &entry);
// Whether two stored names are the same name, ASCII letters compared without regard to case.
bool SameEntryName(const IMGDirectoryEntry &a, const IMGDirectoryEntry &b);

// Sets the name field from UTF-8 bytes (at most 23) and clears every byte after them,
// so that no stray bytes follow the terminating zero.
void SetEntryName(IMGDirectoryEntry &entry, const QByteArray &utf8Name);

// Free record slots of a version 2 directory of `count` entries whose lowest
// data begins at sector `lowestOffset`: (L × 2048 − 8 − 32 × N) / 32, truncating.
qint64 Ver2DirectoryRoom(quint32 lowestOffset, qint64 count);

// The directory of these entries as it lies on disk: version 1, the records (the
// whole .dir file); version 2, the header and the records (the start of the .img).
QByteArray EncodeVer1Directory(const std::vector<IMGDirectoryEntryWrap> &directory);
QByteArray EncodeVer2Directory(const std::vector<IMGDirectoryEntryWrap> &directory);

// Where the data of an archive packed without gaps begins.
enum class PackedStart {
    // A rebuild: version 1 data from sector 1, sector 0 left free as archives have it.
    KeepFirstSector,
    // A convert: version 1 data from sector 0, unless the first entry's data begins
    // with "VER2" (the data file would read as version 2): then from sector 1.
    FromSectorZero,
};
// Version 2 data begins behind its directory and two spare sectors for later growth.
quint32 FirstPackedSector(int version, qint64 entryCount, PackedStart start, bool firstDataBeginsVer2);

// Byte position of a sector, widened without sign first so offsets past 4 GiB stay exact.
inline qint64 SectorToBytes(quint32 sector)
{
    return qint64(sector) * SECTOR_SIZE;
}
