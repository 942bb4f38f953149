#include "archive/IMGClass.h"

#include "archive/format/EntryNameRules.h"
#include "archive/io/ArchiveIO.h"

#include <QFileInfo>

namespace {

// An error noted during an import; it is reported once the directory on the
// disk again matches the data that really was written.
struct ImportFailure
{
    QString what;
    QString subject;
    QString outcome;
    bool isSet() const { return !what.isEmpty(); }
};

} // namespace

void IMGClass::ImportFiles(const QStringList &paths)
{
    BeginOperation();
    if (paths.isEmpty() || version == 0 || RefusesChanges())
        return;

    BeginDirectoryChange();
    ImportFailure failure;
    bool touched = false;
    bool dataWritten = false;
    for (const QString &path : paths) {
        QFile source(path);
        if (!source.open(QIODevice::ReadOnly)) {
            failure = {QStringLiteral("打开 "), path, QStringLiteral(" 失败")};
            break;
        }
        const qint64 size = source.size();
        if (size > MAX_ENTRY_BYTES) {
            failure = {QStringLiteral("文件 "), path, QStringLiteral(" 太大")};
            break;
        }
        const QString fileName = QFileInfo(path).fileName();
        const QByteArray utf8Name = fileName.toUtf8();
        // Where the file system allows what no entry may be called (a backslash on Linux),
        // the file is refused as a rename to its name would be.
        const EntryNameFault fault = CheckEntryName(utf8Name);
        if (fault == EntryNameFault::TooLong) {
            failure = {QStringLiteral("文件名 "), fileName, QStringLiteral(" 太长")};
            break;
        }
        if (fault != EntryNameFault::None) {
            failure = {QStringLiteral("文件名 "), fileName, QStringLiteral(" 不合法")};
            break;
        }

        Step(&IMGClass::ImportingFileFullPath, path);

        // A short read would make an entry of the wrong bytes: the file is refused instead.
        const QByteArray data = source.read(size);
        source.close();
        if (data.size() != size) {
            failure = {QStringLiteral("打开 "), path, QStringLiteral(" 失败")};
            break;
        }
        touched = true;
        if (!ImportOne(utf8Name, data, &dataWritten)) {
            failure = {QStringLiteral("写入 "), imgFile.fileName(), QStringLiteral(" 失败")};
            break;
        }
    }

    FinishImport(touched, dataWritten, failure.what, failure.subject, failure.outcome);
}

void IMGClass::FinishImport(bool touched, bool dataWritten, QString what, QString subject, QString outcome)
{
    QString failedPath;
    if (touched && !CommitDirectoryChange(dataWritten, &failedPath) && what.isEmpty()) {
        what = QStringLiteral("写入 ");
        subject = failedPath;
        outcome = QStringLiteral(" 失败");
    }
    if (!touched)
        std::vector<IMGDirectoryEntryWrap>().swap(committedDirectory);
    if (!what.isEmpty())
        emit ErrorOccoured({what, subject, outcome});
    AnnounceDirectory();
}

bool IMGClass::ImportOne(const QByteArray &utf8Name, const QByteArray &data, bool *dataWritten)
{
    return ImportEntry(
        utf8Name, data.size(), [&](qint64 position) { return ArchiveIO::WriteAt(imgFile, position, data); },
        dataWritten);
}

bool IMGClass::ImportEntry(const QByteArray &utf8Name, qint64 bytes,
                           const std::function<bool(qint64)> &writeData, bool *dataWritten)
{
    IMGDirectoryEntryWrap wrap;
    SetEntryName(wrap.entry, utf8Name);
    wrap.nameHash = NameHash(wrap.entry.name);
    wrap.entry.size = quint16(BytesToSectors(bytes));
    wrap.entry.reserved = 0;

    const int existing = FindEntry(wrap.entry, wrap.nameHash);
    const qint64 count = qint64(directory.size()) + (existing < 0 ? 1 : 0);
    if (!room.NextFreeSector(version, count, &wrap.entry.offset))
        return false;

    // The data goes to the end of the file first; only then does a record point at it.
    if (bytes > 0) {
        const qint64 before = imgFile.size();
        if (!writeData(SectorToBytes(wrap.entry.offset))) {
            ArchiveIO::Resize(imgFile, before); // best effort: no half-written tail
            return false;
        }
        *dataWritten = true;
        // A version 1 data file that begins with "VER2" would open as version 2:
        // such an entry moves to sector 1.
        if (version == 1 && wrap.entry.offset == 0 &&
            ArchiveIO::ReadAt(imgFile, 0, VER2_MAGIC_SIZE) == VER2_MAGIC) {
            if (!ArchiveIO::Resize(imgFile, before) || !writeData(SectorToBytes(1))) {
                ArchiveIO::Resize(imgFile, before);
                return false;
            }
            wrap.entry.offset = 1;
        }
    }

    if (existing >= 0) {
        // Same name, ASCII case aside: the entry keeps its place and takes the new data.
        const IMGDirectoryEntryWrap previous = directory[size_t(existing)];
        directory[size_t(existing)] = wrap;
        room.NoteOffset(existing);
        if (version == 2 && !room.MakeRoom(DirectoryRoom::MovedRecords::WrittenAtOnce, dataWritten)) {
            directory[size_t(existing)] = previous;
            room.NoteOffset(existing);
            room.RecountFreeSlots();
            return false;
        }
        return true;
    }

    AppendEntry(wrap);
    room.NoteOffset(int(directory.size()) - 1);
    if (version == 2 && !room.MakeRoom(DirectoryRoom::MovedRecords::WrittenAtOnce, dataWritten)) {
        // No room could be made for its record: the entry is not added.
        RemoveLastEntry();
        room.RecountFreeSlots();
        return false;
    }
    return true;
}
