#include "archive/IMGClass.h"

#include "archive/ArchiveIO.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The window repaints from the event loop; letting it run after every entry of
// a large export costs more than the repaint it allows, so it runs at most once
// per frame of this length (and always for the first entry).
constexpr qint64 kEventsIntervalMs = 16;

// The entry name as a plain file name inside the output folder: separators, drive
// colons and control characters become '_', so no name can reach outside the
// folder. Names that still mean no file of their own ("", ".", "..") give "".
QString ExportFileName(const QString &name)
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

// The archive's own files by device and inode number, taken once per export,
// so that an output file never truncates one of them: not by name, not through
// a symbolic link, not through a hard link.
class OwnFiles
{
public:
    OwnFiles(const QFile &img, const QFile *dir)
    {
        for (const QFile *own : {&img, dir}) {
            struct stat st = {};
            if (own && (own->isOpen() ? ::fstat(own->handle(), &st) == 0
                                      : !own->fileName().isEmpty() &&
                                            ::stat(QFile::encodeName(own->fileName()).constData(), &st) == 0))
                ids.push_back({st.st_dev, st.st_ino});
        }
    }

    // Opens `file` (its name set) for writing, empty; false when it cannot be
    // created or is one of the archive's own files.
    bool OpenForExport(QFile &file) const
    {
        // A new file: nothing was there to follow or to overwrite. One system call.
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            return true;
        // An existing file (also through a link) is overwritten, unless it is the archive's:
        // opened without truncation, checked, and only then emptied.
        const int fd = ::open(QFile::encodeName(file.fileName()).constData(), O_WRONLY | O_CLOEXEC);
        struct stat st = {};
        if (fd < 0)
            return false;
        if (::fstat(fd, &st) != 0 || IsOwn(st) || ::ftruncate(fd, 0) != 0 ||
            !file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            return false;
        }
        return true;
    }

private:
    struct FileId
    {
        dev_t device;
        ino_t inode;
    };

    bool IsOwn(const struct stat &st) const
    {
        for (const FileId &own : ids)
            if (own.device == st.st_dev && own.inode == st.st_ino)
                return true;
        return false;
    }

    std::vector<FileId> ids;
};

} // namespace

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
    QDir out = QDir::current();
    if (!out.cd(folder)) {
        emit ErrorOccoured({QStringLiteral("访问输出文件夹失败")});
        return;
    }

    const OwnFiles ownFiles(imgFile, version == 1 ? &dirFile : nullptr);
    QElapsedTimer sinceEvents;
    QByteArray buffer; // used only where the system cannot copy in the kernel
    for (int row : rows) {
        if (row < 0 || size_t(row) >= directory.size())
            continue;
        const IMGDirectoryEntry entry = directory[size_t(row)].entry;
        const QString name = EntryName(entry);

        emit ExportingFileName(name);
        emit IncreaseProgressBar();
        if (!sinceEvents.isValid() || sinceEvents.elapsed() >= kEventsIntervalMs) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            sinceEvents.start();
        }

        const QString fileName = ExportFileName(name);
        const QString outPath = out.absoluteFilePath(fileName.isEmpty() ? name : fileName);
        QFile file(outPath);
        if (fileName.isEmpty() || !ownFiles.OpenForExport(file)) {
            emit ErrorOccoured({QStringLiteral("创建 "), outPath, QStringLiteral(" 失败")});
            return;
        }
        const bool written = ArchiveIO::CopyRange(imgFile, SectorToBytes(entry.offset), file, 0,
                                                  qint64(entry.size) * SECTOR_SIZE, buffer);
        file.close();
        if (!written) {
            // A cut-off file must not pass for the entry.
            file.remove();
            ReportWriteFailure(outPath);
            return;
        }
    }
}
