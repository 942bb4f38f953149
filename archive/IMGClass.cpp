#include "archive/IMGClass.h"

#include "archive/format/ArchiveProbe.h"
#include "archive/io/ArchiveIO.h"
#include "archive/io/DirectoryJournal.h"
#include "archive/io/FileIdentity.h"
#include "archive/io/FileReplacement.h"
#include "archive/io/LargePages.h"

#include "archive/PackedWriter.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMetaMethod>

#include <algorithm>
#include <climits>

namespace {

// The window repaints from the event loop; letting it run after every step of a
// long operation costs more than the repaint it allows, so it runs at most once
// per frame of this length (and always for an operation's first step).
constexpr qint64 kEventsIntervalMs = 16;

constexpr QIODevice::OpenMode kArchiveMode = QIODevice::ReadWrite | QIODevice::Unbuffered;
constexpr QIODevice::OpenMode kReadOnlyMode = QIODevice::ReadOnly | QIODevice::Unbuffered;

} // namespace

IMGClass::IMGClass(QObject *parent)
    : QObject(parent)
{
    // Connected first, so the message is kept before any client's slot runs.
    connect(this, &IMGClass::ErrorOccoured, this, [this](std::initializer_list<QString> pieces) {
        lastError.clear();
        for (const QString &piece : pieces)
            lastError += piece;
    });
}

IMGClass::~IMGClass() = default;

QString IMGClass::ImgFileName() const
{
    return archivePath;
}

bool IMGClass::OpenArchive(const QString &path)
{
    return OpenArchive(path, OpenForChanges);
}

bool IMGClass::OpenArchive(const QString &path, OpenMode mode)
{
    BeginOperation();
    openFailure = OpenFailure::None;
    archivePath = path;
    readOnly = mode == OpenReadOnly;
    unfinishedReplacement = false;
    ArchiveProbe format = ArchiveProbe::Of(path);
    // Nothing there (a dangling link included): only an opening for changes creates it.
    if (mode != OpenForChanges && !QFileInfo::exists(path)) {
        openFailure = OpenFailure::Missing;
        CloseFiles();
        imgFile.setFileName(path);
        emit ErrorOccoured({QStringLiteral("打开 "), path, QStringLiteral(" 失败")});
        return false;
    }
    // Refused before anything is opened: opening for changes would create the file.
    if (format.kind == ArchiveProbe::OneFileForBoth) {
        ReportOneFileForBoth(path, format.pairedImg);
        return false;
    }

    // A failed opening leaves the object closed, its files and lock released.
    const auto closeAgain = [&] {
        CloseFiles();
        imgFile.setFileName(path);
    };
    const auto failOpening = [&](const QString &failedPath) {
        if (openFailure == OpenFailure::None)
            openFailure = OpenFailure::Other;
        closeAgain();
        emit ErrorOccoured({QStringLiteral("打开 "), failedPath, QStringLiteral(" 失败")});
        return false;
    };
    if (readOnly) {
        imgFile.setFileName(format.dataFile);
        if (format.kind == ArchiveProbe::Missing)
            openFailure = OpenFailure::Missing;
        // Never opened to read when it is no plain file: a pipe would wait for a writer.
        if (format.kind == ArchiveProbe::Missing || format.kind == ArchiveProbe::Unreadable ||
            !ArchiveIO::Open(imgFile, kReadOnlyMode))
            return failOpening(path);
        unfinishedReplacement = format.unfinished;
    } else {
        imgFile.setFileName(path);
        // Opening for changes would create the file, or the .dir beside it.
        if (mode == OpenExisting && format.kind == ArchiveProbe::Missing) {
            openFailure = OpenFailure::Missing;
            return failOpening(path);
        }
        if (mode == OpenExisting &&
            (format.kind == ArchiveProbe::Version1 || format.kind == ArchiveProbe::Foreign) &&
            !format.hasDirectory) {
            openFailure = OpenFailure::NoDirectory;
            return failOpening(path);
        }
        if (!ArchiveIO::Open(imgFile, kArchiveMode))
            return failOpening(path);
        // Locked before anything is read or completed: the holder may be writing.
        if (lock.Take(imgFile) == ArchiveLock::HeldElsewhere) {
            imgFile.close();
            ReportFileInUse(path);
            return false;
        }
        // A data file whose replacement stopped half way is completed first, and
        // so is a version 2 directory write that a stop may have torn.
        if (!FileReplacement::FinishJournal(format.imgTarget) ||
            !DirectoryJournal::Finish(imgFile, format.imgTarget))
            return failOpening(path);
        format = ArchiveProbe::Of(path); // as the files stand now
        if (format.kind == ArchiveProbe::OneFileForBoth) {
            closeAgain();
            ReportOneFileForBoth(path, format.pairedImg);
            return false;
        }
    }
    // Not a plain file this process can read (a folder, a pipe, a device).
    if (format.kind == ArchiveProbe::Missing || format.kind == ArchiveProbe::Unreadable)
        return failOpening(path);
    imgTarget = format.imgTarget;
    dirTarget.clear();

    if (format.kind == ArchiveProbe::Version2) {
        // A reading opening reads a directory write that a stop left in its journal
        // as the next opening for changes will make it.
        const DirectoryJournal::Pending pending =
            readOnly ? DirectoryJournal::Read(format.imgTarget) : DirectoryJournal::Pending();
        bool countRead = false;
        const QByteArray head =
            DirectoryJournal::Overlay(pending, 0, ArchiveIO::ReadAt(imgFile, 0, 8, &countRead));
        const quint32 count = head.size() == 8 ? ReadUInt32LE(head.constData() + 4) : 0;
        const qint64 fileSize = std::max(imgFile.size(), pending.End());
        const qint64 recordBytes = DIRECTORY_RECORD_SIZE * qint64(count);
        // A count that claims more records than the file holds is refused before
        // anything is reserved or read: a truncated or hostile header.
        if (!countRead || head.size() != 8 || VER2_HEADER_SIZE + recordBytes > fileSize ||
            !(pending.complete ? DecodeDirectory(DirectoryJournal::Overlay(
                                                     pending, VER2_HEADER_SIZE,
                                                     ArchiveIO::ReadAt(imgFile, VER2_HEADER_SIZE, recordBytes)
                                                         .leftJustified(int(recordBytes), '\0')),
                                                 count)
                               : ReadDirectory(imgFile, VER2_HEADER_SIZE, count))) {
            closeAgain();
            emit ErrorOccoured({QStringLiteral("IMG目录 "), path, QStringLiteral(" 大小不合法")});
            return false;
        }
        unfinishedReplacement = unfinishedReplacement || pending.complete;
        UpdateFreeDirectorySlots();
        version = 2;
        AnnounceDirectory();
        return true;
    }

    // Other containers of this family also live in files named .img. Without a
    // directory beside it, such a file is not taken for an empty version 1
    // archive: that would create a stray .dir and let an import append to a
    // file this program cannot read.
    if (format.kind == ArchiveProbe::Foreign) {
        if (mode != OpenForChanges)
            openFailure = OpenFailure::NoDirectory;
        closeAgain();
        emit ErrorOccoured({QStringLiteral("IMG文件 "), path, QStringLiteral(" 格式不受支持")});
        return false;
    }
    if (readOnly && !format.hasDirectory)
        openFailure = OpenFailure::NoDirectory;
    if (!OpenVER1Directory(format))
        return failOpening(format.dirPath);
    const qint64 dirSize = dirFile.size();
    if (dirSize % DIRECTORY_RECORD_SIZE != 0 || dirSize / DIRECTORY_RECORD_SIZE > qint64(UINT_MAX) ||
        !ReadDirectory(dirFile, 0, quint32(dirSize / DIRECTORY_RECORD_SIZE))) {
        closeAgain();
        emit ErrorOccoured({QStringLiteral("IMG目录 "), format.dirPath, QStringLiteral(" 大小不合法")});
        return false;
    }
    version = 1;
    AnnounceDirectory();
    return true;
}

void IMGClass::CloseFiles()
{
    directory.clear();
    nameIndex.Clear();
    dirFile.close();
    imgFile.close();
    lock.Release();
    version = 0;
}

bool IMGClass::OpenVER1Directory(const ArchiveProbe &format)
{
    if (readOnly) {
        dirFile.setFileName(format.directoryFile);
        return ArchiveIO::Open(dirFile, kReadOnlyMode);
    }
    // A rebuild that was stopped between its two swaps left the new directory
    // beside the new data file: finish it, so data and directory belong together.
    if (!format.waitingDirectory.isEmpty() &&
        !FileReplacement::Commit(format.waitingDirectory, format.dirTarget, false))
        return false;
    if (!FileReplacement::FinishJournal(format.dirTarget))
        return false;
    // A directory that was being written when the process stopped never
    // replaced the real one; it is only litter now.
    const QString dirNext = NextDirectoryOf(format.dirTarget);
    if (QFileInfo(dirNext).isFile())
        ArchiveIO::RemoveFile(dirNext);

    dirFile.setFileName(format.dirPath);
    if (!ArchiveIO::Open(dirFile, kArchiveMode))
        return false;
    dirTarget = FileIdentity::ResolvedPath(format.dirPath); // it exists now
    return true;
}

bool IMGClass::ReadDirectory(QFile &file, qint64 position, quint32 count)
{
    // One read of every record straight into the directory's own memory, decoded
    // there: the 32-byte records fill the last 32 × count bytes of the entries'
    // storage, and entry i, written from the front, ends at or before record
    // i + 1 begins (sizeof(IMGDirectoryEntryWrap) >= 32), so no record is
    // overwritten before it is decoded. One allocation, no copy, no block buffer.
    static_assert(sizeof(IMGDirectoryEntryWrap) >= size_t(DIRECTORY_RECORD_SIZE), "room for the records");
    directory.clear();
    directory.reserve(size_t(count) * 2);
    AdviseLargePages(directory.data(), size_t(count) * sizeof(IMGDirectoryEntryWrap));
    directory.resize(count);
    const qint64 rawBytes = qint64(count) * DIRECTORY_RECORD_SIZE;
    char *const raw = reinterpret_cast<char *>(directory.data()) +
                      qint64(count) * qint64(sizeof(IMGDirectoryEntryWrap)) - rawBytes;
    if (count > 0 && (!ArchiveIO::Seek(file, position) || file.read(raw, rawBytes) != rawBytes))
        return false;
    for (quint32 i = 0; i < count; ++i) {
        const IMGDirectoryEntry entry = DecodeEntry(raw + qint64(i) * DIRECTORY_RECORD_SIZE);
        IMGDirectoryEntryWrap &wrap = directory[i];
        wrap.entry = entry;
        wrap.nameHash = NameHash(entry.name);
    }
    RebuildNameIndex();
    return true;
}

bool IMGClass::DecodeDirectory(const QByteArray &records, quint32 count)
{
    if (records.size() != qint64(count) * DIRECTORY_RECORD_SIZE)
        return false;
    directory.assign(count, IMGDirectoryEntryWrap());
    for (quint32 i = 0; i < count; ++i) {
        IMGDirectoryEntryWrap &wrap = directory[i];
        wrap.entry = DecodeEntry(records.constData() + qint64(i) * DIRECTORY_RECORD_SIZE);
        wrap.nameHash = NameHash(wrap.entry.name);
    }
    RebuildNameIndex();
    return true;
}

void IMGClass::UpdateFreeDirectorySlots()
{
    if (directory.empty()) {
        // An empty version 2 archive is its header sector alone. Best effort, and
        // never on a read-only opening: a file left shorter only means that the
        // first import's data begins at sector 1 all the same.
        if (!readOnly && imgFile.size() != SECTOR_SIZE)
            ArchiveIO::Resize(imgFile, SECTOR_SIZE);
        freeDirectorySlots = 63;
        return;
    }
    quint32 lowest = directory.front().entry.offset;
    for (const IMGDirectoryEntryWrap &wrap : directory)
        lowest = std::min(lowest, wrap.entry.offset);
    const qint64 room = Ver2DirectoryRoom(lowest, qint64(directory.size()));
    freeDirectorySlots = int(std::clamp<qint64>(room, INT_MIN, INT_MAX));
}

void IMGClass::CloseArchive()
{
    BeginOperation();
    imgFile.close();
    dirFile.close();
    lock.Release();
    readOnly = false;
    unfinishedReplacement = false;
    version = 0;
    directory.clear();
    nameIndex.Clear();
    emit IMGDirectoryChanged(directory);
}

bool IMGClass::CreateArchive(const QString &path, int newVersion)
{
    BeginOperation();
    if (version != 0 && RefusesChanges())
        return false;
    const QString dirPath = DirPathFor(path);
    if (newVersion == 1 && (NamesItsOwnDirectory(path) || FileIdentity::SameFile(path, dirPath))) {
        ReportOneFileForBoth(path, QString());
        return false;
    }
    const bool imgExisted = QFileInfo::exists(path);
    QFile img(path);
    QFile dir(dirPath);

    // Both files are opened before either is emptied, so a failure leaves
    // whatever stood at these paths as it was.
    if (!ArchiveIO::Open(img, QIODevice::ReadWrite)) {
        emit ErrorOccoured({QStringLiteral("创建 "), path, QStringLiteral(" 失败")});
        return false;
    }
    // Emptying an archive that another opener holds would pull its files from under
    // it; the archive this object holds itself (New over the open one) is its own.
    ArchiveLock probe;
    if (!lock.IsOn(img) && probe.Take(img) == ArchiveLock::HeldElsewhere) {
        img.close();
        ReportFileInUse(path);
        return false;
    }
    if (newVersion == 1 && !ArchiveIO::Open(dir, QIODevice::ReadWrite)) {
        img.close();
        if (!imgExisted)
            img.remove();
        emit ErrorOccoured({QStringLiteral("创建 "), dirPath, QStringLiteral(" 失败")});
        return false;
    }

    // Whatever instant the process stops at, the files hold the old archive or a
    // valid empty one: version 1 empties the directory before the data file,
    // version 2 writes the empty header before cutting off what followed it.
    if (newVersion == 1) {
        if (!ArchiveIO::Resize(dir, 0)) {
            ReportWriteFailure(dirPath);
            return false;
        }
        if (!ArchiveIO::Resize(img, 0)) {
            ReportWriteFailure(path);
            return false;
        }
    } else {
        const QByteArray header = QByteArray(VER2_MAGIC) + QByteArray(VER2_HEADER_SIZE - VER2_MAGIC_SIZE, 0);
        if (!ArchiveIO::WriteAt(img, 0, header) || !ArchiveIO::Resize(img, header.size())) {
            ReportWriteFailure(path);
            return false;
        }
    }
    return true;
}

bool IMGClass::WriteVER1Directory(QFile &file)
{
    const QByteArray bytes = EncodeVer1Directory(directory);
    if (!ArchiveIO::WriteAt(file, 0, bytes))
        return false;
    return file.size() == bytes.size() || ArchiveIO::Resize(file, bytes.size());
}

bool IMGClass::WriteVER2Directory(QFile &file)
{
    return ArchiveIO::WriteAt(file, 0, EncodeVer2Directory(directory));
}

bool IMGClass::WriteDirectoryBack()
{
    if (readOnly)
        return false;
    // The version 2 directory is rewritten where it stands, through its journal.
    return version == 1 ? ReplaceVER1Directory()
                        : DirectoryJournal::WriteAt(imgFile, imgTarget, 0, EncodeVer2Directory(directory));
}

bool IMGClass::ReplaceVER1Directory()
{
    // Rewritten in place, a shorter directory would first stand in front of the
    // stale tail of the longer one, and a torn write could leave a length that is
    // no multiple of 32. So the new directory is written whole beside the old one
    // (beside the link's target) and put in its place (FileReplacement): the .dir
    // file is always wholly old or wholly new.
    const QString next = NextDirectoryOf(dirTarget);
    QFile nextFile;
    // A folder that takes no new files: the old way, in place, is all there is.
    if (!ArchiveIO::CreateReplacement(nextFile, next, dirTarget))
        return WriteVER1Directory(dirFile) && ArchiveIO::Sync(dirFile);
    if (!WriteVER1Directory(nextFile) || !ArchiveIO::Sync(nextFile)) {
        nextFile.close();
        ArchiveIO::RemoveFile(next);
        return false;
    }
    nextFile.close();
    // Closed first: some systems refuse to replace a file that is open.
    dirFile.close();
    const bool replaced = FileReplacement::Commit(next, dirTarget, false);
    if (!replaced && QFileInfo::exists(next))
        ArchiveIO::RemoveFile(next);
    const bool reopened = ArchiveIO::Open(dirFile, kArchiveMode);
    return replaced && reopened;
}

QString IMGClass::DirectoryFileName() const
{
    return version == 1 ? dirFile.fileName() : imgFile.fileName();
}

void IMGClass::BeginDirectoryChange()
{
    committedDirectory.reserve(directory.size());
    AdviseLargePages(committedDirectory.data(), directory.size() * sizeof(IMGDirectoryEntryWrap));
    committedDirectory = directory;
    committedFreeSlots = freeDirectorySlots;
    room.Forget();
}

bool IMGClass::CommitDirectoryChange(bool dataWritten, QString *failedPath)
{
    // Entry data is on the disk before any record on the disk points at it.
    bool committed = true;
    if (dataWritten && !ArchiveIO::Sync(imgFile)) {
        *failedPath = imgFile.fileName();
        committed = false;
    } else if (!WriteDirectoryBack()) {
        *failedPath = DirectoryFileName();
        committed = false;
    }
    if (!committed)
        RestoreCommittedDirectory();
    std::vector<IMGDirectoryEntryWrap>().swap(committedDirectory);
    return committed;
}

void IMGClass::RestoreCommittedDirectory()
{
    directory = committedDirectory;
    freeDirectorySlots = committedFreeSlots;
    RebuildNameIndex();
    room.Forget();
    if (version == 2)
        room.RecountFreeSlots();
    // A failed write may have left part of the new directory behind: put the old one back
    // (it only points at data that was on the disk before the operation began).
    WriteDirectoryBack();
}

bool IMGClass::RefusesChanges()
{
    if (!readOnly)
        return false;
    emit ErrorOccoured(
        {QStringLiteral("IMG文件 "), archivePath, QStringLiteral(" 以只读方式打开，不能修改")});
    return true;
}

void IMGClass::ReportFileInUse(const QString &path)
{
    emit ErrorOccoured({QStringLiteral("IMG文件 "), path, QStringLiteral(" 正被另一个程序使用")});
}

void IMGClass::ReportOneFileForBoth(const QString &path, const QString &pairedImg)
{
    if (pairedImg.isEmpty())
        emit ErrorOccoured(
            {QStringLiteral("IMG文件 "), path, QStringLiteral(" 不能同时作为数据文件和目录文件")});
    else
        emit ErrorOccoured(
            {QStringLiteral("IMG文件 "), path, QStringLiteral(" 是目录文件，请打开 "), pairedImg});
}

void IMGClass::Step(void (IMGClass::*label)(QString), const QString &text)
{
    if (label)
        emit(this->*label)(text);
    emit IncreaseProgressBar();
    if (!sinceEvents.isValid() || sinceEvents.elapsed() >= kEventsIntervalMs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        sinceEvents.start();
    }
}

void IMGClass::ReportPackingFailure(const PackedWriter &writer)
{
    switch (writer.LastFailure()) {
    case PackedWriter::Failure::Temporary:
        emit ErrorOccoured({QStringLiteral("创建临时文件失败")});
        break;
    case PackedWriter::Failure::Read:
        emit ErrorOccoured({QStringLiteral("读取 "), writer.FailedPath(), QStringLiteral(" 失败")});
        break;
    default:
        ReportWriteFailure(writer.FailedPath());
        break;
    }
}

void IMGClass::ReportWriteFailure(const QString &path)
{
    emit ErrorOccoured({QStringLiteral("写入 "), path, QStringLiteral(" 失败")});
}

void IMGClass::AnnounceDirectory()
{
    // The signal takes the directory by value; skip building that copy when nobody listens.
    if (isSignalConnected(QMetaMethod::fromSignal(&IMGClass::IMGDirectoryChanged))) {
        std::vector<IMGDirectoryEntryWrap> copy;
        copy.reserve(directory.size());
        AdviseLargePages(copy.data(), directory.size() * sizeof(IMGDirectoryEntryWrap));
        copy.assign(directory.begin(), directory.end());
        emit IMGDirectoryChanged(std::move(copy));
    }
}

void IMGClass::RebuildNameIndex()
{
    nameIndex.Clear();
    nameIndex.Reserve(directory.size());
    for (size_t i = 0; i < directory.size(); ++i)
        nameIndex.Insert(directory[i].nameHash, int(i));
}

void IMGClass::AppendEntry(const IMGDirectoryEntryWrap &wrap)
{
    directory.push_back(wrap);
    nameIndex.Insert(wrap.nameHash, int(directory.size() - 1));
}

void IMGClass::RemoveLastEntry()
{
    nameIndex.Erase(directory.back().nameHash, int(directory.size()) - 1);
    directory.pop_back();
}

int IMGClass::FindEntry(const IMGDirectoryEntry &entry, quint32 hash) const
{
    int found = -1;
    nameIndex.ForEach(hash, [&](int position) {
        if ((found < 0 || position < found) && SameEntryName(directory[size_t(position)].entry, entry))
            found = position;
        return true;
    });
    return found;
}

int IMGClass::FindEntry(const QByteArray &utf8Name) const
{
    // As for FindEntries: a zero byte would end the stored name early.
    if (utf8Name.size() > ENTRY_NAME_FIELD_SIZE || utf8Name.contains('\0'))
        return -1;
    IMGDirectoryEntry probe;
    std::copy(utf8Name.constBegin(), utf8Name.constEnd(), probe.name);
    return FindEntry(probe, NameHash(probe.name));
}

std::vector<int> IMGClass::FindEntries(const QByteArray &utf8Name) const
{
    std::vector<int> found;
    // A zero byte would end the stored name early: no entry has such a name.
    if (utf8Name.size() > ENTRY_NAME_FIELD_SIZE || utf8Name.contains('\0'))
        return found;
    IMGDirectoryEntry probe;
    std::copy(utf8Name.constBegin(), utf8Name.constEnd(), probe.name);
    nameIndex.ForEach(NameHash(probe.name), [&](int position) {
        if (SameEntryName(directory[size_t(position)].entry, probe))
            found.push_back(position);
        return true;
    });
    std::sort(found.begin(), found.end());
    return found;
}
