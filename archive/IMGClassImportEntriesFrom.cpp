// Copying entries of another archive into this one, under the import's rules:
// a name this archive has (ASCII case ignored) replaces that entry in place,
// any other is appended, and version 2 room is made as for an import. The data
// goes from file to file inside the kernel where the system can.
#include "archive/IMGClass.h"

#include "archive/ArchiveReader.h"
#include "archive/format/EntryNameRules.h"
#include "archive/io/ArchiveIO.h"
#include "archive/io/FileIdentity.h"

void IMGClass::ImportEntriesFrom(const IMGClass &source, const std::vector<int> &entries)
{
    BeginOperation();
    if (entries.empty() || version == 0 || RefusesChanges())
        return;
    const QString sourcePath = source.ImgFileName();
    // Through links and hard links alike.
    if (&source == this || FileIdentity::SameFile(sourcePath, imgFile.fileName())) {
        emit ErrorOccoured({QStringLiteral("源IMG文件 "), sourcePath, QStringLiteral(" 与目标相同")});
        return;
    }
    // Every name is checked before anything changes, by the rules of an import and a rename.
    for (const int position : entries) {
        if (position < 0 || size_t(position) >= source.directory.size())
            continue;
        const IMGDirectoryEntry &e = source.directory[size_t(position)].entry;
        const EntryNameFault fault = CheckEntryName(QByteArray(e.name, EntryNameLength(e)));
        if (fault == EntryNameFault::TooLong) {
            emit ErrorOccoured({QStringLiteral("文件名 "), EntryName(e), QStringLiteral(" 太长")});
            return;
        }
        if (fault != EntryNameFault::None) {
            emit ErrorOccoured({QStringLiteral("文件名 "), EntryName(e), QStringLiteral(" 不合法")});
            return;
        }
    }
    ArchiveReader reader(source);
    if (!reader.IsOpen()) {
        emit ErrorOccoured({QStringLiteral("打开 "), sourcePath, QStringLiteral(" 失败")});
        return;
    }

    BeginDirectoryChange();
    bool touched = false;
    bool dataWritten = false;
    bool failed = false;
    QByteArray buffer; // used only where the system cannot copy in the kernel
    for (const int position : entries) {
        if (position < 0 || size_t(position) >= source.directory.size())
            continue;
        const IMGDirectoryEntry &e = source.directory[size_t(position)].entry;
        const QByteArray utf8Name(e.name, EntryNameLength(e));
        Step(&IMGClass::ImportingFileFullPath, EntryName(e));

        touched = true;
        const qint64 bytes = qint64(e.size) * SECTOR_SIZE;
        const auto copy = [&](qint64 at) {
            qint64 copied = 0;
            if (!ArchiveIO::CopyRange(reader.File(), SectorToBytes(e.offset), imgFile, at, bytes, buffer,
                                      &copied))
                return false;
            // Sectors that the source file cut short read as zeros, and are written as such.
            return copied == bytes || ArchiveIO::Resize(imgFile, at + bytes);
        };
        if (!ImportEntry(utf8Name, bytes, copy, &dataWritten)) {
            failed = true;
            break;
        }
    }
    if (failed)
        FinishImport(touched, dataWritten, QStringLiteral("写入 "), imgFile.fileName(),
                     QStringLiteral(" 失败"));
    else
        FinishImport(touched, dataWritten, QString(), QString(), QString());
}
