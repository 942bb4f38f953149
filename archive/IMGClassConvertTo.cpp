#include "archive/IMGClass.h"

#include "archive/ArchiveReader.h"
#include "archive/PackedWriter.h"
#include "archive/format/ArchiveProbe.h"
#include "archive/io/ArchiveIO.h"
#include "archive/io/ArchiveLock.h"
#include "archive/io/FileIdentity.h"

#include <QFileInfo>

// A copy packed by PackedWriter, as a rebuild packs, from a read-only handle of
// its own, version 1 data from sector 0. A version 1 target whose directory did
// not follow is completed by the next OpenArchive, as after a rebuild.
bool IMGClass::ConvertTo(const QString &path, int newVersion, bool replaceExisting)
{
    BeginOperation();
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
    PackedWriter writer(newVersion, imgTarget, newVersion == 1 ? dirTarget : QString());
    std::vector<quint32> offsets;
    if (!writer.Write(
            source.File(), false, directory, PackedStart::FromSectorZero, true,
            [this](const IMGDirectoryEntry &entry) { Step(&IMGClass::RebuildingFileName, EntryName(entry)); },
            offsets)) {
        ReportPackingFailure(writer);
        return false;
    }
    if (writer.Commit())
        return true;
    // Nothing changed unless the new data file counts; then the next opening completes it.
    ReportWriteFailure(writer.FailedPath() == imgTarget ? imgPath : dirPath);
    return false;
}
