#include "archive/IMGClass.h"

#include "archive/format/ArchiveProbe.h"
#include "archive/io/ArchiveIO.h"
#include "archive/io/FileIdentity.h"
#include "archive/io/FileReplacement.h"
#include "archive/io/JoinedCopy.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <utility>

// Copies every entry, in directory order and without gaps, into temporary files
// beside the archive's files (beside the targets of links) and then puts them in
// their place (FileReplacement: a rename, or for a file with further names a
// journal copied in place), a version 1 pair with its two renames directly one
// after the other. Until the data file is committed the archive is untouched; a
// version 1 archive whose directory did not follow is completed by the next
// OpenArchive (the lone .dir.rebuilding).
void IMGClass::Rebuild()
{
    if (version == 0 || RefusesChanges())
        return;

    const QString imgPath = archivePath;
    const QString dirPath = dirFile.fileName();
    const QString imgTemp = RebuildTemporaryOf(imgTarget);
    const QString dirTemp = RebuildTemporaryOf(dirTarget);
    const qint64 count = qint64(directory.size());
    // Version 2 keeps two spare sectors behind its directory for later growth.
    const quint32 firstSector =
        version == 1 ? 1u : BytesToSectors(VER2_HEADER_SIZE + DIRECTORY_RECORD_SIZE * count) + 2;

    // Created with the owner, mode and extended attributes of the files they replace.
    QFile newImg;
    QFile newDir;
    if (!ArchiveIO::CreateReplacement(newImg, imgTemp, imgTarget)) {
        emit ErrorOccoured({QStringLiteral("创建临时文件失败")});
        return;
    }
    if (version == 1 && !ArchiveIO::CreateReplacement(newDir, dirTemp, dirTarget)) {
        newImg.close();
        ArchiveIO::RemoveFile(imgTemp);
        emit ErrorOccoured({QStringLiteral("创建临时文件失败")});
        return;
    }
    // Before the first rename every failure leaves the archive as it was. The
    // directory temporary goes first, so no lone .dir.rebuilding is ever left.
    const auto abandon = [&](const QString &failedPath) {
        newDir.close();
        newImg.close();
        if (version == 1)
            ArchiveIO::RemoveFile(dirTemp);
        ArchiveIO::RemoveFile(imgTemp);
        ReportWriteFailure(failedPath);
    };

    std::vector<quint32> offsets(directory.size());
    qint64 running = firstSector;
    JoinedCopy copy(imgFile, newImg, true);
    for (size_t i = 0; i < directory.size(); ++i) {
        const IMGDirectoryEntry entry = directory[i].entry;
        emit IncreaseProgressBar();
        emit RebuildingFileName(EntryName(entry));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

        if (running > qint64(0xFFFFFFFFu)) {
            abandon(imgTemp);
            return;
        }
        offsets[i] = quint32(running);
        if (entry.size > 0 && !copy.Add(SectorToBytes(entry.offset), SectorToBytes(offsets[i]),
                                        qint64(entry.size) * SECTOR_SIZE)) {
            abandon(imgTemp);
            return;
        }
        running += entry.size;
    }
    if (!copy.Finish()) {
        abandon(imgTemp);
        return;
    }

    // The directory of the new layout; the old offsets are kept aside until the swap is done.
    for (size_t i = 0; i < directory.size(); ++i)
        std::swap(directory[i].entry.offset, offsets[i]);
    const auto restoreOffsets = [&] {
        for (size_t i = 0; i < directory.size(); ++i)
            std::swap(directory[i].entry.offset, offsets[i]);
    };
    const bool directoryWritten =
        version == 1 ? WriteVER1Directory(newDir) && ArchiveIO::Sync(newDir) : WriteVER2Directory(newImg);
    if (!directoryWritten || !ArchiveIO::Sync(newImg)) {
        restoreOffsets();
        abandon(directoryWritten ? imgTemp : (version == 1 ? dirTemp : imgTemp));
        return;
    }
    // A new data file that takes the archive's place by a rename is locked first,
    // so the lock passes to it with no moment in which another writer could get in.
    ArchiveLock newLock;
    const bool renaming = FileIdentity::LinkCount(imgTarget) <= 1;
    if (renaming)
        newLock.Take(newImg);
    newDir.close();
    newImg.close();

    imgFile.close();
    dirFile.close();
    QString failedTarget = imgTarget;
    const bool committed =
        version == 1 ? FileReplacement::CommitPair(imgTemp, imgTarget, dirTemp, dirTarget, &failedTarget)
                     : FileReplacement::Commit(imgTemp, imgTarget, true);
    if (!committed) {
        ReportWriteFailure(failedTarget == imgTarget ? imgPath : dirPath);
        // A new data file in place (or its journal) is committed: opening completes the rest.
        if (QFileInfo::exists(imgTemp)) {
            restoreOffsets();
            if (version == 1)
                ArchiveIO::RemoveFile(dirTemp);
            ArchiveIO::RemoveFile(imgTemp);
            return;
        }
    }
    // The old data file's lock goes last: releasing it may free the replaced file.
    if (renaming && !QFileInfo::exists(imgTemp))
        lock = std::move(newLock);
}
