#include "archive/StoppedReplacement.h"

#include "archive/format/ArchiveProbe.h"
#include "archive/format/IMGFormat.h"
#include "archive/io/DirectoryJournal.h"
#include "archive/io/FileReplacement.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

constexpr qint64 kPiece = 1 << 20;

// Whether two files hold the same bytes; a missing file equals none.
bool SameBytes(const QString &a, const QString &b)
{
    QFile first(a);
    QFile second(b);
    const bool hasFirst = QFileInfo(a).isFile();
    const bool hasSecond = QFileInfo(b).isFile();
    if (!hasFirst || !hasSecond)
        return hasFirst == hasSecond;
    if (first.size() != second.size() || !first.open(QIODevice::ReadOnly) ||
        !second.open(QIODevice::ReadOnly))
        return false;
    while (!first.atEnd()) {
        const QByteArray piece = first.read(kPiece);
        if (piece.isEmpty() || second.read(kPiece) != piece)
            return false;
    }
    return true;
}

QByteArray ReadAt(QFile &file, qint64 position, qint64 size)
{
    return file.seek(position) ? file.read(size) : QByteArray();
}

// Whether the version 2 directory as it lies already is the archive that the
// pending directory write leaves: the same bytes, or records that differ only
// in pointing at copies of the same data (the room-making move copies an entry
// before its record follows the copy).
bool HoldsWrite(const QString &imgTarget, const DirectoryJournal::Pending &pending)
{
    QFile file(imgTarget);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    if (ReadAt(file, pending.position, pending.bytes.size()) == pending.bytes)
        return true;
    const QByteArray head = ReadAt(file, 0, VER2_HEADER_SIZE);
    if (head.size() != VER2_HEADER_SIZE || DirectoryJournal::Overlay(pending, 0, head) != head)
        return false;
    const qint64 count = ReadUInt32LE(head.constData() + 4);
    const qint64 size = count * DIRECTORY_RECORD_SIZE;
    const QByteArray lying = ReadAt(file, VER2_HEADER_SIZE, size);
    if (lying.size() != size)
        return false;
    const QByteArray made = DirectoryJournal::Overlay(pending, VER2_HEADER_SIZE, lying);
    for (qint64 at = 0; at < size; at += DIRECTORY_RECORD_SIZE) {
        const IMGDirectoryEntry before = DecodeEntry(lying.constData() + at);
        const IMGDirectoryEntry after = DecodeEntry(made.constData() + at);
        // A name reads up to its first zero byte; what lies behind it is no part of it.
        if (before.size != after.size || before.reserved != after.reserved ||
            QByteArray(before.name, EntryNameLength(before)) !=
                QByteArray(after.name, EntryNameLength(after)))
            return false;
        if (before.offset == after.offset)
            continue;
        const qint64 bytes = qint64(before.size) * SECTOR_SIZE;
        if (ReadAt(file, SectorToBytes(before.offset), bytes) !=
            ReadAt(file, SectorToBytes(after.offset), bytes))
            return false;
    }
    return true;
}

} // namespace

StoppedReplacement StoppedReplacement::Of(const QString &path)
{
    StoppedReplacement result;
    const ArchiveProbe format = ArchiveProbe::Of(path);
    if (format.imgTarget.isEmpty())
        return result;
    const auto compare = [&result](const QString &file, const QString &pending) {
        if (SameBytes(file, pending))
            result.leftovers << pending;
        else
            result.unfinished.push_back({file, pending});
    };
    if (QFileInfo(format.dataFile).absoluteFilePath() != QFileInfo(format.imgTarget).absoluteFilePath())
        compare(format.imgTarget, format.dataFile);

    const DirectoryJournal::Pending pending = DirectoryJournal::Read(format.imgTarget);
    const QString journal = DirectoryJournal::PathOf(format.imgTarget);
    if (pending.complete && !HoldsWrite(format.imgTarget, pending))
        result.unfinished.push_back({format.imgTarget, journal});
    else if (pending.present)
        result.leftovers << journal;

    const QString imgRebuilt = RebuildTemporaryOf(format.imgTarget);
    if (QFileInfo::exists(imgRebuilt))
        result.leftovers << imgRebuilt;
    if (format.kind != ArchiveProbe::Version1 || format.dirTarget.isEmpty())
        return result;
    if (!format.directoryFile.isEmpty() && format.directoryFile != format.dirPath)
        compare(format.dirTarget, format.directoryFile);
    const QString dirRebuilt = RebuildTemporaryOf(format.dirTarget);
    if (QFileInfo::exists(dirRebuilt) && dirRebuilt != format.waitingDirectory &&
        dirRebuilt != format.directoryFile)
        result.leftovers << dirRebuilt;
    const QString dirJournal = FileReplacement::JournalPath(format.dirTarget);
    if (QFileInfo::exists(dirJournal) && dirJournal != format.directoryFile)
        result.leftovers << dirJournal;
    const QString dirNext = NextDirectoryOf(format.dirTarget);
    if (QFileInfo::exists(dirNext))
        result.leftovers << dirNext;
    return result;
}
