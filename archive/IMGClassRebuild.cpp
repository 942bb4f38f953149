#include "archive/IMGClass.h"

#include "archive/PackedWriter.h"

#include <utility>

// The archive packed anew by PackedWriter, from its own data file, version 1
// data from sector 1. Until the data file is committed the archive is
// untouched; a version 1 archive whose directory did not follow is completed by
// the next OpenArchive (the lone .dir.rebuilding).
void IMGClass::Rebuild()
{
    BeginOperation();
    if (version == 0 || RefusesChanges())
        return;

    const QString imgPath = archivePath;
    const QString dirPath = dirFile.fileName();
    PackedWriter writer(version, imgTarget, dirTarget);
    std::vector<quint32> offsets;
    const bool written = writer.Write(
        imgFile, true, directory, PackedStart::KeepFirstSector, false,
        [this](const IMGDirectoryEntry &entry) { Step(&IMGClass::RebuildingFileName, EntryName(entry)); },
        offsets);
    if (!written) {
        ReportPackingFailure(writer);
        return;
    }
    // A new data file that takes the archive's place by a rename is locked first,
    // so the lock passes to it with no moment in which another writer could get in.
    ArchiveLock newLock;
    const bool renaming = writer.RenamesDataFile();
    if (renaming)
        writer.LockNewDataFile(newLock);
    // Closed first: some systems refuse to replace a file that is open.
    imgFile.close();
    dirFile.close();
    const bool committed = writer.Commit();
    if (!committed)
        ReportWriteFailure(writer.FailedPath() == imgTarget ? imgPath : dirPath);
    if (!writer.Committed())
        return;
    // The new data file (or its journal) counts: the directory is the new layout.
    for (size_t i = 0; i < directory.size(); ++i)
        directory[i].entry.offset = offsets[i];
    // The old data file's lock goes last: releasing it may free the replaced file.
    if (renaming)
        lock = std::move(newLock);
}
