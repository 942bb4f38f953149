#include "archive/IMGClass.h"

#include "archive/format/EntryNameRules.h"

bool IMGClass::RenameEntry(int row, const QString &newName)
{
    BeginOperation();
    if (version == 0 || row < 0 || size_t(row) >= directory.size() || RefusesChanges())
        return false;

    const QByteArray utf8 = newName.toUtf8();
    const EntryNameFault fault = CheckEntryName(utf8);
    if (fault == EntryNameFault::TooLong) {
        emit ErrorOccoured({QStringLiteral("文件名 "), newName, QStringLiteral(" 太长")});
        return false;
    }
    if (fault != EntryNameFault::None) {
        emit ErrorOccoured({QStringLiteral("文件名 "), newName, QStringLiteral(" 不合法")});
        return false;
    }

    IMGDirectoryEntryWrap renamed = directory[size_t(row)];
    SetEntryName(renamed.entry, utf8);
    renamed.nameHash = NameHash(renamed.entry.name);
    // Another entry of the same name (ASCII case ignored) would make the two
    // indistinguishable to every lookup; the entry itself may change its case.
    bool taken = false;
    nameIndex.ForEach(renamed.nameHash, [&](int position) {
        taken = position != row && SameEntryName(directory[size_t(position)].entry, renamed.entry);
        return !taken;
    });
    if (taken) {
        emit ErrorOccoured({QStringLiteral("文件名 "), newName, QStringLiteral(" 已存在")});
        return false;
    }

    BeginDirectoryChange();
    directory[size_t(row)] = renamed;
    RebuildNameIndex();
    QString failedPath;
    if (!CommitDirectoryChange(false, &failedPath)) {
        // The old directory is back in memory and on the disk.
        ReportWriteFailure(failedPath);
        return false;
    }
    AnnounceDirectory();
    return true;
}
