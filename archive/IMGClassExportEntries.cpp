#include "archive/IMGClass.h"

#include "archive/io/ArchiveIO.h"
#include "archive/io/OwnFiles.h"

#include <QDir>

// The entry name as a plain file name inside the output folder: separators, drive
// colons and control characters become '_', so no name can reach outside the
// folder. Names that still mean no file of their own ("", ".", "..") give "".
QString IMGClass::ExportFileName(const QString &name)
{
    QString safe = name;
    for (QChar &c : safe) {
        const ushort u = c.unicode();
        if (u == '/' || u == '\\' || u == ':' || u < 0x20 || u == 0x7F)
            c = QLatin1Char('_');
    }
    if (safe.isEmpty() || safe == QLatin1String(".") || safe == QLatin1String(".."))
        return QString();
    return safe;
}

std::vector<int> IMGClass::RowPositions(const QModelIndexList &rows)
{
    std::vector<int> positions;
    positions.reserve(size_t(rows.size()));
    for (const QModelIndex &index : rows)
        positions.push_back(index.row()); // -1 for an invalid index: skipped like any position out of range
    return positions;
}

void IMGClass::ExportEntries(const QString &folder, const QModelIndexList &rows)
{
    ExportEntries(folder, RowPositions(rows));
}

void IMGClass::ExportEntries(const QString &folder, const std::vector<int> &rows)
{
    BeginOperation();
    QDir out = QDir::current();
    if (!out.cd(folder)) {
        emit ErrorOccoured({QStringLiteral("访问输出文件夹失败")});
        return;
    }

    const OwnFiles ownFiles(imgFile, version == 1 ? &dirFile : nullptr);
    QByteArray buffer; // used only where the system cannot copy in the kernel
    for (int row : rows) {
        if (row < 0 || size_t(row) >= directory.size())
            continue;
        const IMGDirectoryEntry entry = directory[size_t(row)].entry;
        const QString name = EntryName(entry);

        Step(&IMGClass::ExportingFileName, name);

        if (!ExportEntryAs(out, entry, ExportFileName(name), ownFiles, buffer, true))
            return;
    }
}

bool IMGClass::ExportEntryAs(const QDir &out, const IMGDirectoryEntry &entry, const QString &fileName,
                             const OwnFiles &ownFiles, QByteArray &buffer, bool mayReplace)
{
    const QString outPath = out.absoluteFilePath(fileName.isEmpty() ? EntryName(entry) : fileName);
    QFile file(outPath);
    if (fileName.isEmpty() || !ownFiles.OpenForExport(file, mayReplace)) {
        emit ErrorOccoured({QStringLiteral("创建 "), outPath, QStringLiteral(" 失败")});
        return false;
    }
    const bool written = ArchiveIO::CopyRange(imgFile, SectorToBytes(entry.offset), file, 0,
                                              qint64(entry.size) * SECTOR_SIZE, buffer);
    file.close();
    if (!written) {
        // A cut-off file must not pass for the entry.
        file.remove();
        ReportWriteFailure(outPath);
        return false;
    }
    return true;
}
