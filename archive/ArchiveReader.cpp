#include "archive/ArchiveReader.h"

#include "archive/IMGClass.h"
#include "archive/io/ArchiveIO.h"

#include <algorithm>

ArchiveReader::ArchiveReader(const IMGClass &archive)
    : path(archive.ImgFileName())
    , file(archive.imgFile.fileName())
{
    if (archive.version != 0)
        ArchiveIO::Open(file, QIODevice::ReadOnly | QIODevice::Unbuffered);
}

bool ArchiveReader::ReadSectors(const IMGDirectoryEntry &entry, qint64 from, qint64 length,
                                QByteArray &buffer)
{
    const qint64 entryBytes = qint64(entry.size) * SECTOR_SIZE;
    length = std::max<qint64>(0, std::min(length, entryBytes - from));
    if (!ArchiveIO::ReadInto(file, SectorToBytes(entry.offset) + from, length, buffer))
        return false;
    if (buffer.size() < length)
        buffer.append(QByteArray(int(length - buffer.size()), '\0'));
    return true;
}
