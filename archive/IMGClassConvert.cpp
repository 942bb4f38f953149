#include "archive/IMGClass.h"

#include "archive/ArchiveIO.h"
#include "archive/ArchiveReader.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

constexpr QIODevice::OpenMode kTemporaryMode =
    QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered;
// The most bytes copied in one piece when neighbouring entries are joined.
constexpr qint64 kCopyRangeBytes = 8 * 1024 * 1024;

bool SameFile(const QString &a, const QString &b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

} // namespace

// Writes the new archive into temporaries beside the target, named as a rebuild
// names its own, and renames them into place at the end: the data file first,
// then the directory. A version 1 target whose second rename did not happen is
// completed by the next OpenArchive (the lone .dir.rebuilding), as after a rebuild.
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
    const QStringList targets = newVersion == 1 ? QStringList{imgPath, dirPath} : QStringList{imgPath};
    for (const QString &target : targets) {
        for (const QString &own : {imgFile.fileName(), version == 1 ? dirFile.fileName() : QString()}) {
            if (!own.isEmpty() && SameFile(target, own)) {
                emit ErrorOccoured({QStringLiteral("目标 "), target, QStringLiteral(" 是源IMG文件")});
                return false;
            }
        }
        if (!replaceExisting && QFileInfo::exists(target)) {
            emit ErrorOccoured({QStringLiteral("文件 "), target, QStringLiteral(" 已存在")});
            return false;
        }
    }

    ArchiveReader source(*this);
    if (!source.IsOpen()) {
        emit ErrorOccoured({QStringLiteral("打开 "), imgFile.fileName(), QStringLiteral(" 失败")});
        return false;
    }
    const QString imgTemp = imgPath + QStringLiteral(".rebuilding");
    const QString dirTemp = dirPath + QStringLiteral(".rebuilding");
    QFile newImg(imgTemp);
    QFile newDir(dirTemp);
    if (!ArchiveIO::Open(newImg, kTemporaryMode)) {
        emit ErrorOccoured({QStringLiteral("创建临时文件失败")});
        return false;
    }
    if (newVersion == 1 && !ArchiveIO::Open(newDir, kTemporaryMode)) {
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
    const qint64 count = qint64(directory.size());
    const quint32 firstSector =
        newVersion == 1 ? 0u : BytesToSectors(VER2_HEADER_SIZE + DIRECTORY_RECORD_SIZE * count) + 2;
    IMGClass converted; // only holds the new directory for its writers
    converted.directory = directory;
    qint64 running = firstSector;
    QByteArray buffer; // used only where the system cannot copy in the kernel
    // Entries that lie one behind the other in both files are copied as one range.
    qint64 pendingFrom = 0, pendingTo = 0, pendingBytes = 0;
    qint64 writebackFrom = 0;
    const auto copyPending = [&] {
        if (pendingBytes == 0)
            return true;
        if (!ArchiveIO::CopyRange(source.File(), pendingFrom, newImg, pendingTo, pendingBytes, buffer))
            return false;
        if (pendingTo + pendingBytes - writebackFrom >= kCopyRangeBytes) {
            ArchiveIO::StartWriteback(newImg, writebackFrom, pendingTo + pendingBytes - writebackFrom);
            writebackFrom = pendingTo + pendingBytes;
        }
        pendingBytes = 0;
        return true;
    };
    for (IMGDirectoryEntryWrap &wrap : converted.directory) {
        const IMGDirectoryEntry entry = wrap.entry;
        emit IncreaseProgressBar();
        emit RebuildingFileName(EntryName(entry));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (running > qint64(0xFFFFFFFFu))
            return abandon(imgTemp);
        wrap.entry.offset = quint32(running);
        if (entry.size > 0) {
            const qint64 from = SectorToBytes(entry.offset);
            const qint64 to = SectorToBytes(wrap.entry.offset);
            const qint64 bytes = qint64(entry.size) * SECTOR_SIZE;
            const bool follows = pendingBytes > 0 && from == pendingFrom + pendingBytes &&
                                 to == pendingTo + pendingBytes && pendingBytes + bytes <= kCopyRangeBytes;
            if (!follows) {
                if (!copyPending())
                    return abandon(imgTemp);
                pendingFrom = from;
                pendingTo = to;
            }
            pendingBytes += bytes;
        }
        running += entry.size;
    }
    if (!copyPending())
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

    if (!ArchiveIO::ReplaceFile(imgTemp, imgPath)) {
        if (newVersion == 1)
            ArchiveIO::RemoveFile(dirTemp);
        ArchiveIO::RemoveFile(imgTemp);
        ReportWriteFailure(imgPath);
        return false;
    }
    ArchiveIO::SyncFolderOf(imgPath);
    if (newVersion == 1) {
        if (!ArchiveIO::ReplaceFile(dirTemp, dirPath)) {
            // The new data file is in place and its directory waits beside it:
            // opening the archive finishes the swap.
            ReportWriteFailure(dirPath);
            return false;
        }
        ArchiveIO::SyncFolderOf(dirPath);
    }
    return true;
}
