#include "archive/IMGClass.h"

#include "archive/ArchiveIO.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <cerrno>
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

// The output folder, held open so that every file is created relative to it
// (the folder's path is not resolved again per entry), and the identities of the archive's own
// files, so that an export never truncates one of them: not by name, not
// through a symbolic link, not through a hard link.
class ExportFolder
{
public:
    ExportFolder(const QString &path, const QFile &img, const QFile *dir)
        : fd(::open(QFile::encodeName(path).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC))
    {
        for (const QFile *own : {&img, dir}) {
            struct stat st = {};
            if (!own)
                continue;
            if (own->isOpen() ? ::fstat(own->handle(), &st) == 0
                              : !own->fileName().isEmpty() &&
                                    ::stat(QFile::encodeName(own->fileName()).constData(), &st) == 0)
                ownFiles.push_back({st.st_dev, st.st_ino});
        }
    }
    ~ExportFolder()
    {
        if (fd >= 0)
            ::close(fd);
    }
    ExportFolder(const ExportFolder &) = delete;
    ExportFolder &operator=(const ExportFolder &) = delete;

    bool IsOpen() const { return fd >= 0; }

    // Opens `fileName` (a plain name, no separator) in the folder for writing,
    // empty; -1 when it cannot be created or is one of the archive's own files.
    int OpenFile(const QByteArray &fileName) const
    {
        // A new file: nothing was there to follow or to overwrite.
        int out =
            ::openat(fd, fileName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (out >= 0 || errno != EEXIST)
            return out;
        // An existing file (through a link too) is overwritten, unless it is the archive's.
        out = ::openat(fd, fileName.constData(), O_WRONLY | O_CLOEXEC);
        struct stat st = {};
        if (out < 0)
            return -1;
        if (::fstat(out, &st) != 0 || IsOwn(st) || ::ftruncate(out, 0) != 0) {
            ::close(out);
            return -1;
        }
        return out;
    }

    void RemoveFile(const QByteArray &fileName) const { ::unlinkat(fd, fileName.constData(), 0); }

private:
    struct FileId
    {
        dev_t device;
        ino_t inode;
    };

    bool IsOwn(const struct stat &st) const
    {
        for (const FileId &own : ownFiles)
            if (own.device == st.st_dev && own.inode == st.st_ino)
                return true;
        return false;
    }

    int fd;
    std::vector<FileId> ownFiles;
};

} // namespace

void IMGClass::ExportEntries(const QString &folder, const QModelIndexList &rows)
{
    QDir out = QDir::current();
    if (!out.cd(folder)) {
        emit ErrorOccoured({QStringLiteral("访问输出文件夹失败")});
        return;
    }

    const ExportFolder target(out.absolutePath(), imgFile, version == 1 ? &dirFile : nullptr);
    if (!target.IsOpen()) {
        emit ErrorOccoured({QStringLiteral("访问输出文件夹失败")});
        return;
    }
    QElapsedTimer sinceEvents;
    QByteArray buffer; // used only where the system cannot copy in the kernel
    for (const QModelIndex &index : rows) {
        if (index.row() < 0 || size_t(index.row()) >= directory.size())
            continue;
        const IMGDirectoryEntry entry = directory[size_t(index.row())].entry;
        const QString name = EntryName(entry);

        emit ExportingFileName(name);
        emit IncreaseProgressBar();
        if (!sinceEvents.isValid() || sinceEvents.elapsed() >= kEventsIntervalMs) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            sinceEvents.start();
        }

        const QString fileName = ExportFileName(name);
        const QByteArray encodedName = QFile::encodeName(fileName);
        const int fd = fileName.isEmpty() ? -1 : target.OpenFile(encodedName);
        QFile file;
        if (fd < 0 ||
            !file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
            if (fd >= 0)
                ::close(fd);
            emit ErrorOccoured({QStringLiteral("创建 "),
                                out.absoluteFilePath(fileName.isEmpty() ? name : fileName),
                                QStringLiteral(" 失败")});
            return;
        }
        const bool written = ArchiveIO::CopyRange(imgFile, SectorToBytes(entry.offset), file, 0,
                                                  qint64(entry.size) * SECTOR_SIZE, buffer);
        file.close();
        if (!written) {
            // A cut-off file must not pass for the entry.
            target.RemoveFile(encodedName);
            ReportWriteFailure(out.absoluteFilePath(fileName));
            return;
        }
    }
}
