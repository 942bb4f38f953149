#include "archive/IMGClass.h"

#include "archive/io/ArchiveIO.h"

#include <QIODevice>

#include <algorithm>

bool IMGClass::WriteEntryTo(int position, QIODevice &out, const QString &outName)
{
    BeginOperation();
    if (position < 0 || size_t(position) >= directory.size())
        return false;
    const IMGDirectoryEntry entry = directory[size_t(position)].entry;
    Step(&IMGClass::ExportingFileName, EntryName(entry));
    constexpr qint64 kPiece = 1024 * 1024;
    // What an export writes: the entry's sectors, fewer bytes when the file ends inside them.
    const qint64 begin = SectorToBytes(entry.offset);
    const qint64 end = std::min(begin + qint64(entry.size) * SECTOR_SIZE, std::max(begin, imgFile.size()));
    QByteArray piece;
    for (qint64 at = begin; at < end; at += kPiece) {
        if (!ArchiveIO::ReadInto(imgFile, at, std::min(kPiece, end - at), piece)) {
            emit ErrorOccoured({QStringLiteral("读取 "), imgFile.fileName(), QStringLiteral(" 失败")});
            return false;
        }
        if (out.write(piece) != piece.size()) {
            ReportWriteFailure(outName);
            return false;
        }
    }
    return true;
}
