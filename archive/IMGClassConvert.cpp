#include "archive/IMGClass.h"

#include "archive/format/ArchiveFormat.h"
#include "archive/io/ArchiveIO.h"
#include "archive/io/ArchiveLock.h"
#include "archive/ArchiveReader.h"
#include "archive/io/FileIdentity.h"
#include "archive/io/FileReplacement.h"
#include "archive/io/JoinedCopy.h"

#include <QCoreApplication>
#include <QFileInfo>

// Writes the new archive into temporaries beside the target (beside the targets
// of links), named as a rebuild names its own, and puts them in their place at
// the end as a rebuild does (FileReplacement): the data file first, then at once the
// directory. A version 1 target whose directory did not follow is completed by
// the next OpenArchive (the lone .dir.rebuilding), as after a rebuild.
bool IMGClass::ConvertTo(const QString &path, int newVersion, bool replaceExisting)
{
    if (version == 0)
        return false;
    if (newVersion != 1 && newVersion != 2) {
        emit ErrorOccoured(
            {QStringLiteral("IMG版本 "), QString::number(newVersion), QStringLiteral(" 不受支持")});
        return false;
    }
    const QString imgPath = path;
    const QString dirPath = DirPathFor(path);
    if (newVersion == 1 && (NamesItsOwnDirectory(path) || FileIdentity::SameFile(path, dirPath))) {
        ReportOneFileForBoth(path, QString());
        return false;
    }
    const QStringList targets = newVersion == 1 ? QStringList{imgPath, dirPath} : QStringList{imgPath};
    for (const QString &target : targets) {
        for (const QString &own :
             {archivePath, imgFile.fileName(), version == 1 ? dirFile.fileName() : QString()}) {
            if (!own.isEmpty() && FileIdentity::SameFile(target, own)) {
                emit ErrorOccoured({QStringLiteral("目标 "), target, QStringLiteral(" 是源IMG文件")});
                return false;
            }
        }
        if (!replaceExisting && (QFileInfo::exists(target) || QFileInfo(target).isSymLink())) {
            emit ErrorOccoured({QStringLiteral("文件 "), target, QStringLiteral(" 已存在")});
            return false;
        }
    }
    // Replacing an archive that another opener holds for changes would pull its
    // files from under it. The probe's lock is held until the new files are in place.
    ArchiveLock probe;
    QFile existing(imgPath);
    if (QFileInfo(imgPath).isFile() && existing.open(QIODevice::ReadOnly) &&
        probe.Take(existing) == ArchiveLock::HeldElsewhere) {
        ReportFileInUse(imgPath);
        return false;
    }
    const QString imgTarget = FileIdentity::ResolvedPath(imgPath);
    const QString dirTarget = FileIdentity::ResolvedPath(dirPath);

    ArchiveReader source(*this);
    if (!source.IsOpen()) {
        emit ErrorOccoured({QStringLiteral("打开 "), archivePath, QStringLiteral(" 失败")});
        return false;
    }
    const QString imgTemp = RebuildTemporaryOf(imgTarget);
    const QString dirTemp = RebuildTemporaryOf(dirTarget);
    // Created with the owner, mode and extended attributes of the files they replace, if any.
    QFile newImg;
    QFile newDir;
    if (!ArchiveIO::CreateReplacement(newImg, imgTemp, imgTarget)) {
        emit ErrorOccoured({QStringLiteral("创建临时文件失败")});
        return false;
    }
    if (newVersion == 1 && !ArchiveIO::CreateReplacement(newDir, dirTemp, dirTarget)) {
        newImg.close();
        ArchiveIO::RemoveFile(imgTemp);
        emit ErrorOccoured({QStringLiteral("创建临时文件失败")});
        return false;
    }
    // Until the first rename the target is untouched; the directory temporary
    // goes first, so no lone .dir.rebuilding is ever left.
    const auto abandon = [&](const QString &failedPath) {
        newDir.close();
        newImg.close();
        if (newVersion == 1)
            ArchiveIO::RemoveFile(dirTemp);
        ArchiveIO::RemoveFile(imgTemp);
        ReportWriteFailure(failedPath);
        return false;
    };

    // Version 1 data begins at sector 0; version 2 data as after a rebuild, two
    // spare sectors behind the directory.
    // A version 1 data file whose first entry begins with "VER2" would open as
    // version 2: that entry then begins at sector 1.
    const qint64 count = qint64(directory.size());
    quint32 firstSector =
        newVersion == 1 ? 0u : BytesToSectors(VER2_HEADER_SIZE + DIRECTORY_RECORD_SIZE * count) + 2;
    if (newVersion == 1) {
        for (const IMGDirectoryEntryWrap &wrap : directory) {
            if (wrap.entry.size == 0)
                continue;
            QByteArray magic;
            if (!source.ReadSectors(wrap.entry, 0, 4, magic)) {
                emit ErrorOccoured({QStringLiteral("读取 "), source.Path(), QStringLiteral(" 失败")});
                newDir.close();
                newImg.close();
                ArchiveIO::RemoveFile(dirTemp);
                ArchiveIO::RemoveFile(imgTemp);
                return false;
            }
            if (magic == VER2_MAGIC)
                firstSector = 1;
            break;
        }
    }
    IMGClass converted; // only holds the new directory for its writers
    converted.directory = directory;
    qint64 running = firstSector;
    JoinedCopy copy(source.File(), newImg, false);
    for (IMGDirectoryEntryWrap &wrap : converted.directory) {
        const IMGDirectoryEntry entry = wrap.entry;
        emit IncreaseProgressBar();
        emit RebuildingFileName(EntryName(entry));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (running > qint64(0xFFFFFFFFu))
            return abandon(imgTemp);
        wrap.entry.offset = quint32(running);
        if (entry.size > 0 && !copy.Add(SectorToBytes(entry.offset), SectorToBytes(wrap.entry.offset),
                                        qint64(entry.size) * SECTOR_SIZE))
            return abandon(imgTemp);
        running += entry.size;
    }
    if (!copy.Finish())
        return abandon(imgTemp);
    // Sectors that the source file cut short are zeros in the copy, written out in
    // full, so every entry of the new archive lies inside its data file.
    const qint64 end = newVersion == 2 && count == 0 ? 0 : SectorToBytes(quint32(running));
    if (newImg.size() < end && !ArchiveIO::Resize(newImg, end))
        return abandon(imgTemp);

    const bool directoryWritten = newVersion == 1
                                      ? converted.WriteVER1Directory(newDir) && ArchiveIO::Sync(newDir)
                                      : converted.WriteVER2Directory(newImg);
    if (!directoryWritten)
        return abandon(newVersion == 1 ? dirTemp : imgTemp);
    if (!ArchiveIO::Sync(newImg))
        return abandon(imgTemp);
    newDir.close();
    newImg.close();

    QString failedTarget = imgTarget;
    const bool committed =
        newVersion == 1 ? FileReplacement::CommitPair(imgTemp, imgTarget, dirTemp, dirTarget, &failedTarget)
                        : FileReplacement::Commit(imgTemp, imgTarget, true);
    if (committed)
        return true;
    // Nothing changed while the new data file waits; else the next opening completes it.
    if (QFileInfo::exists(imgTemp)) {
        if (newVersion == 1)
            ArchiveIO::RemoveFile(dirTemp);
        ArchiveIO::RemoveFile(imgTemp);
    }
    ReportWriteFailure(failedTarget == imgTarget ? imgPath : dirPath);
    return false;
}
