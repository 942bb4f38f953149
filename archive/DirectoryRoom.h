#pragma once

#include "archive/format/IMGFormat.h"

#include <QFile>
#include <QString>

#include <functional>
#include <utility>
#include <vector>

// Room for the version 2 directory: the records at the start of the data file
// must always end before the lowest-placed entry data. When they would not, the
// lowest entries are copied to the end of the file until the directory fits.
// Works on the archive object's own file and directories, which it is given.
class DirectoryRoom
{
public:
    // When the record of a moved entry reaches the disk.
    enum class MovedRecords {
        WrittenAtOnce,        // importing: rewritten in place after its data is synced
        WrittenWithDirectory, // deleting: only with the whole directory afterwards
    };

    DirectoryRoom(QFile &imgFile, const QString &imgTarget, std::vector<IMGDirectoryEntryWrap> &directory,
                  std::vector<IMGDirectoryEntryWrap> &committedDirectory, int &freeDirectorySlots,
                  std::function<void()> announceDirectory);

    // Drops what is known about the entries' places; the next question rebuilds it.
    void Forget();
    // Entry `position` has a new offset.
    void NoteOffset(int position);
    // Sets the free slots from the lowest entry (no change when there are no entries).
    void RecountFreeSlots();
    // Moves the lowest entries until the directory fits, then recounts the free slots.
    bool MakeRoom(MovedRecords records, bool *dataWritten);
    // The first sector after the file's end and, in version 2, after a directory
    // of `entryCount` records; false when it lies beyond what an offset can hold.
    bool NextFreeSector(int version, qint64 entryCount, quint32 *sector) const;

private:
    int LowestEntry();
    bool DirectoryFitsBeforeData();
    bool MoveLowestEntryToEnd();
    bool MoveEntryToEnd(int position, bool writeRecordInPlace, bool *dataWritten);

    QFile &imgFile;
    const QString &imgTarget; // the data file, links resolved: its journal lies beside it
    std::vector<IMGDirectoryEntryWrap> &directory;
    std::vector<IMGDirectoryEntryWrap> &committedDirectory;
    int &freeDirectorySlots;
    std::function<void()> announceDirectory;
    // Min-heap of (offset, position); stale pairs are dropped when they surface.
    std::vector<std::pair<quint32, int>> lowestEntries;
    bool lowestEntriesBuilt = false;
};
