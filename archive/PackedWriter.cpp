#include "archive/PackedWriter.h"

#include "archive/format/ArchiveProbe.h"
#include "archive/io/ArchiveIO.h"
#include "archive/io/FileIdentity.h"
#include "archive/io/FileReplacement.h"
#include "archive/io/JoinedCopy.h"

#include <QFileInfo>

#include <utility>

namespace {

// Whether the first entry holding data begins with "VER2" in `source`.
bool FirstDataBeginsVer2(QFile &source, const std::vector<IMGDirectoryEntryWrap> &directory, bool *ok)
{
    *ok = true;
    for (const IMGDirectoryEntryWrap &wrap : directory) {
        if (wrap.entry.size == 0)
            continue;
        char magic[VER2_MAGIC_SIZE] = {};
        const qint64 read = ArchiveIO::ReadSmallAt(source, SectorToBytes(wrap.entry.offset), magic, VER2_MAGIC_SIZE);
        *ok = read >= 0;
        return read == VER2_MAGIC_SIZE && QByteArray(magic, VER2_MAGIC_SIZE) == VER2_MAGIC;
    }
    return false;
}

} // namespace

PackedWriter::PackedWriter(int version, QString imgTarget, QString dirTarget)
    : version(version)
    , imgTarget(std::move(imgTarget))
    , dirTarget(std::move(dirTarget))
    , imgTemp(RebuildTemporaryOf(this->imgTarget))
    , dirTemp(RebuildTemporaryOf(this->dirTarget))
{
}

PackedWriter::~PackedWriter() = default;

bool PackedWriter::Fail(Failure kind, const QString &path)
{
    failure = kind;
    failedPath = path;
    return false;
}

void PackedWriter::RemoveTemporaries()
{
    newDir.close();
    newImg.close();
    // The directory goes first, so no lone .dir.rebuilding is ever left.
    if (version == 1)
        ArchiveIO::RemoveFile(dirTemp);
    ArchiveIO::RemoveFile(imgTemp);
}

bool PackedWriter::Write(QFile &source, bool dropSource, const std::vector<IMGDirectoryEntryWrap> &directory,
                         PackedStart start, bool padded,
                         const std::function<void(const IMGDirectoryEntry &)> &onEntry,
                         std::vector<quint32> &offsets)
{
    // Created with the owner, mode and extended attributes of the files they replace.
    if (!ArchiveIO::CreateReplacement(newImg, imgTemp, imgTarget))
        return Fail(Failure::Temporary, imgTemp);
    if (version == 1 && !ArchiveIO::CreateReplacement(newDir, dirTemp, dirTarget)) {
        newImg.close();
        ArchiveIO::RemoveFile(imgTemp);
        return Fail(Failure::Temporary, dirTemp);
    }
    const auto abandon = [this](const QString &path) {
        RemoveTemporaries();
        return Fail(Failure::Write, path);
    };

    bool readable = true;
    const bool ver2First = start == PackedStart::FromSectorZero && version == 1 &&
                           FirstDataBeginsVer2(source, directory, &readable);
    if (!readable) {
        RemoveTemporaries();
        return Fail(Failure::Read, source.fileName());
    }
    qint64 running = FirstPackedSector(version, qint64(directory.size()), start, ver2First);
    offsets.assign(directory.size(), 0);
    JoinedCopy copy(source, newImg, dropSource);
    for (size_t i = 0; i < directory.size(); ++i) {
        const IMGDirectoryEntry &entry = directory[i].entry;
        onEntry(entry);
        if (running > qint64(0xFFFFFFFFu))
            return abandon(imgTemp);
        offsets[i] = quint32(running);
        if (entry.size > 0 && !copy.Add(SectorToBytes(entry.offset), SectorToBytes(offsets[i]),
                                        qint64(entry.size) * SECTOR_SIZE))
            return abandon(imgTemp);
        running += entry.size;
    }
    if (!copy.Finish())
        return abandon(imgTemp);
    const qint64 end = version == 2 && directory.empty() ? 0 : SectorToBytes(quint32(running));
    if (padded && newImg.size() < end && !ArchiveIO::Resize(newImg, end))
        return abandon(imgTemp);

    std::vector<IMGDirectoryEntryWrap> packed = directory;
    for (size_t i = 0; i < packed.size(); ++i)
        packed[i].entry.offset = offsets[i];
    if (version == 1) {
        if (!ArchiveIO::WriteAt(newDir, 0, EncodeVer1Directory(packed)) || !ArchiveIO::Sync(newDir))
            return abandon(dirTemp);
    } else if (!ArchiveIO::WriteAt(newImg, 0, EncodeVer2Directory(packed))) {
        return abandon(imgTemp);
    }
    if (!ArchiveIO::Sync(newImg))
        return abandon(imgTemp);
    return true;
}

bool PackedWriter::RenamesDataFile() const
{
    return FileIdentity::LinkCount(imgTarget) <= 1;
}

void PackedWriter::LockNewDataFile(ArchiveLock &lock) const
{
    lock.Take(newImg);
}

bool PackedWriter::Commit()
{
    newDir.close();
    newImg.close();
    QString failedTarget = imgTarget;
    const bool committed =
        version == 1 ? FileReplacement::CommitPair(imgTemp, imgTarget, dirTemp, dirTarget, &failedTarget)
                     : FileReplacement::Commit(imgTemp, imgTarget, true);
    // The new data file counts once its temporary is gone (renamed, or become the journal).
    dataCommitted = !QFileInfo::exists(imgTemp);
    if (committed)
        return true;
    if (!dataCommitted)
        RemoveTemporaries();
    return Fail(Failure::Commit, failedTarget);
}
