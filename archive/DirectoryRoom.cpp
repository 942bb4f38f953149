#include "archive/DirectoryRoom.h"

#include "archive/io/ArchiveIO.h"
#include "archive/io/DirectoryJournal.h"

#include <algorithm>
#include <climits>
#include <functional>

namespace {

using OffsetKey = std::pair<quint32, int>; // offset, directory position
// A min-heap: the lowest offset first, and among equal offsets the first position.
const std::greater<OffsetKey> kLowestFirst;

} // namespace

DirectoryRoom::DirectoryRoom(QFile &imgFile, const QString &imgTarget,
                             std::vector<IMGDirectoryEntryWrap> &directory,
                             std::vector<IMGDirectoryEntryWrap> &committedDirectory, int &freeDirectorySlots,
                             std::function<void()> announceDirectory)
    : imgFile(imgFile)
    , imgTarget(imgTarget)
    , directory(directory)
    , committedDirectory(committedDirectory)
    , freeDirectorySlots(freeDirectorySlots)
    , announceDirectory(std::move(announceDirectory))
{
}

void DirectoryRoom::Forget()
{
    lowestEntries.clear();
    lowestEntriesBuilt = false;
}

int DirectoryRoom::LowestEntry()
{
    if (!lowestEntriesBuilt) {
        lowestEntries.clear();
        lowestEntries.reserve(directory.size());
        for (size_t i = 0; i < directory.size(); ++i)
            lowestEntries.emplace_back(directory[i].entry.offset, int(i));
        std::make_heap(lowestEntries.begin(), lowestEntries.end(), kLowestFirst);
        lowestEntriesBuilt = true;
    }
    // Pairs whose entry has moved since, or is gone, are dropped as they surface.
    while (!lowestEntries.empty()) {
        const OffsetKey top = lowestEntries.front();
        if (size_t(top.second) < directory.size() && directory[size_t(top.second)].entry.offset == top.first)
            return top.second;
        std::pop_heap(lowestEntries.begin(), lowestEntries.end(), kLowestFirst);
        lowestEntries.pop_back();
    }
    return -1;
}

void DirectoryRoom::NoteOffset(int position)
{
    if (!lowestEntriesBuilt)
        return;
    lowestEntries.emplace_back(directory[size_t(position)].entry.offset, position);
    std::push_heap(lowestEntries.begin(), lowestEntries.end(), kLowestFirst);
}

bool DirectoryRoom::DirectoryFitsBeforeData()
{
    const int lowest = LowestEntry();
    return lowest < 0 || VER2_HEADER_SIZE + DIRECTORY_RECORD_SIZE * qint64(directory.size()) <=
                             SectorToBytes(directory[size_t(lowest)].entry.offset);
}

void DirectoryRoom::RecountFreeSlots()
{
    const int lowest = LowestEntry();
    if (lowest < 0)
        return;
    const qint64 bytes = SectorToBytes(directory[size_t(lowest)].entry.offset) - VER2_HEADER_SIZE -
                         DIRECTORY_RECORD_SIZE * qint64(directory.size());
    // Whole records only: a directory that overlaps data by a few bytes has no room.
    const qint64 room = bytes >= 0 ? bytes / DIRECTORY_RECORD_SIZE
                                   : -((-bytes + DIRECTORY_RECORD_SIZE - 1) / DIRECTORY_RECORD_SIZE);
    freeDirectorySlots = int(std::clamp<qint64>(room, INT_MIN, INT_MAX));
}

bool DirectoryRoom::NextFreeSector(int version, qint64 entryCount, quint32 *sector) const
{
    qint64 end = imgFile.size();
    // Data never goes where the version 2 directory of this many entries will lie.
    if (version == 2)
        end = std::max(end, VER2_HEADER_SIZE + DIRECTORY_RECORD_SIZE * entryCount);
    if (end < 0 || end > qint64(0xFFFFFFFEu) * SECTOR_SIZE)
        return false;
    *sector = BytesToSectors(end);
    return true;
}

bool DirectoryRoom::MakeRoom(MovedRecords records, bool *dataWritten)
{
    // Each pass takes the lowest entry behind the end of the directory, so no
    // entry moves twice and the loop ends; one pass in the common case.
    while (!DirectoryFitsBeforeData()) {
        if (records == MovedRecords::WrittenAtOnce) {
            if (!MoveLowestEntryToEnd())
                return false;
            *dataWritten = true;
        } else if (!MoveEntryToEnd(LowestEntry(), false, dataWritten)) {
            return false;
        }
    }
    RecountFreeSlots();
    return true;
}

bool DirectoryRoom::MoveLowestEntryToEnd()
{
    const int lowest = LowestEntry();
    if (lowest < 0)
        return true;
    bool dataWritten = false;
    if (!MoveEntryToEnd(lowest, true, &dataWritten))
        return false;
    announceDirectory();
    return true;
}

bool DirectoryRoom::MoveEntryToEnd(int position, bool writeRecordInPlace, bool *dataWritten)
{
    IMGDirectoryEntryWrap &wrap = directory[size_t(position)];
    quint32 target = 0;
    if (!NextFreeSector(2, qint64(directory.size()), &target))
        return false;

    if (wrap.entry.size > 0) {
        QByteArray data;
        if (!ArchiveIO::ReadInto(imgFile, SectorToBytes(wrap.entry.offset),
                                 qint64(wrap.entry.size) * SECTOR_SIZE, data))
            return false;
        if (!data.isEmpty()) {
            const qint64 before = imgFile.size();
            if (!ArchiveIO::WriteAt(imgFile, SectorToBytes(target), data)) {
                ArchiveIO::Resize(imgFile, before); // best effort: no half-written tail
                return false;
            }
            *dataWritten = true;
            // The record below must never reach the disk before the copy it points at.
            if (writeRecordInPlace && !ArchiveIO::Sync(imgFile))
                return false;
        }
    }
    // The old place is left as it is: it becomes room for the directory.
    const quint32 from = wrap.entry.offset;
    const quint16 movedSize = wrap.entry.size;
    wrap.entry.offset = target;
    NoteOffset(position);

    // The record is rewritten where it stands on the disk, unless that spot is
    // not part of the directory on the disk yet or still lies over entry data.
    if (writeRecordInPlace && size_t(position) < committedDirectory.size()) {
        const qint64 at = VER2_HEADER_SIZE + DIRECTORY_RECORD_SIZE * position;
        const int lowest = LowestEntry();
        if (at + DIRECTORY_RECORD_SIZE <= SectorToBytes(directory[size_t(lowest)].entry.offset)) {
            QByteArray record(int(DIRECTORY_RECORD_SIZE), Qt::Uninitialized);
            EncodeEntry(wrap.entry, record.data());
            if (!DirectoryJournal::WriteAt(imgFile, imgTarget, at, record))
                return false;
            committedDirectory[size_t(position)] = wrap;
        }
    }

    // Entries that begin at the same sector and are no longer hold a prefix of the
    // bytes just copied: they follow the copy instead of being copied again, so
    // data that many records share is moved once. (Without this, a hostile archive
    // with many large records on one sector doubled its file with every move.)
    for (int s = LowestEntry();
         s >= 0 && directory[size_t(s)].entry.offset == from && directory[size_t(s)].entry.size <= movedSize;
         s = LowestEntry()) {
        directory[size_t(s)].entry.offset = target;
        NoteOffset(s);
    }
    return true;
}
