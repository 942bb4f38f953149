#include "archive/IMGClass.h"

#include <algorithm>
#include <climits>

void IMGClass::DeleteEntries(const QModelIndexList &rows)
{
    DeleteEntries(RowPositions(rows));
}

void IMGClass::DeleteEntries(const std::vector<int> &rows)
{
    BeginOperation();
    if (version == 0 || RefusesChanges())
        return;

    BeginDirectoryChange();
    // Rows name positions in the directory as it was before the call.
    std::vector<char> doomed(directory.size(), 0);
    for (int row : rows) {
        if (row >= 0 && size_t(row) < directory.size())
            doomed[size_t(row)] = 1;
    }
    size_t kept = 0;
    for (size_t i = 0; i < directory.size(); ++i) {
        if (!doomed[i])
            directory[kept++] = directory[i];
    }
    const int removed = int(directory.size() - kept);
    directory.resize(kept);
    RebuildNameIndex();
    room.Forget();

    bool dataWritten = false;
    bool done = true;
    QString failedPath;
    if (version == 2) {
        if (directory.empty()) {
            // Saturating: the room before may already have been the largest count held.
            freeDirectorySlots = int(std::min<qint64>(qint64(freeDirectorySlots) + removed, INT_MAX));
        } else if (!room.MakeRoom(DirectoryRoom::MovedRecords::WrittenWithDirectory, &dataWritten)) {
            // Only an archive whose directory already lay over entry data gets here.
            failedPath = imgFile.fileName();
            RestoreCommittedDirectory();
            std::vector<IMGDirectoryEntryWrap>().swap(committedDirectory);
            done = false;
        }
    }
    if (done && !CommitDirectoryChange(dataWritten, &failedPath))
        done = false;
    if (!done)
        ReportWriteFailure(failedPath);
    AnnounceDirectory();
}
