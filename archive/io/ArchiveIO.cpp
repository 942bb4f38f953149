#include "archive/io/ArchiveIO.h"

#include "archive/io/FileIdentity.h"

#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef OSTREVALE_FAULT_INJECTION
#include "archive/io/FaultInjection.h"

#define FAULT_BEFORE(kind)                                                                                   \
    do {                                                                                                     \
        if (!FaultInjection::BeforeStep(FaultInjection::Step::kind))                                         \
            return false;                                                                                    \
    } while (false)
#define FAULT_AFTER() FaultInjection::AfterStep()
#define FAULT_NOTE(event) FaultInjection::Note(event)
#else
#define FAULT_BEFORE(kind)                                                                                   \
    do {                                                                                                     \
    } while (false)
#define FAULT_AFTER()                                                                                        \
    do {                                                                                                     \
    } while (false)
#define FAULT_NOTE(event)                                                                                    \
    do {                                                                                                     \
    } while (false)
#endif

namespace {

// Hands all `size` bytes to the file, however many calls that takes.
bool WriteFully(QFile &file, const char *data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const qint64 n = file.write(data + done, size - done);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

namespace ArchiveIO {

bool Open(QFile &file, QIODevice::OpenMode mode)
{
    FAULT_BEFORE(Open);
    return file.open(mode);
}

bool CreateReplacement(QFile &file, const QString &path, const QString &original)
{
    FAULT_BEFORE(Open);
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    struct stat old;
    const bool hasOriginal = ::stat(QFile::encodeName(original).constData(), &old) == 0;
    // What a stopped run left under this name is litter (or a link someone put there).
    ::unlink(name.constData());
    // Owner-only at most until the original's owner and mode are on it.
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                          hasOriginal ? mode_t(old.st_mode & 0600) : mode_t(0666));
    if (fd < 0)
        return false;
    if ((hasOriginal && !FileIdentity::CopyTo(original, fd)) ||
        !file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        ::unlink(name.constData());
        return false;
    }
    return true;
#else
    Q_UNUSED(original);
    file.setFileName(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
#endif
}

bool Seek(QFile &file, qint64 position)
{
    return position >= 0 && file.seek(position);
}

bool Write(QFile &file, const char *data, qint64 size)
{
    FAULT_BEFORE(Write);
    FAULT_NOTE(QStringLiteral("write %1 %2 %3").arg(file.fileName()).arg(file.pos()).arg(size));
#ifdef OSTREVALE_FAULT_INJECTION
    const qint64 torn = FaultInjection::TornLength(size);
    if (torn >= 0) {
        if (WriteFully(file, data, torn))
            file.flush();
        FaultInjection::EndNow();
    }
#endif
    if (!WriteFully(file, data, size))
        return false;
    // Unbuffered files hand the bytes to the system at once; buffered ones must flush
    // here so that a failure surfaces now and not at some later close.
    if (!file.flush())
        return false;
    FAULT_AFTER();
    return true;
}

bool WriteAt(QFile &file, qint64 position, const QByteArray &data)
{
    return Seek(file, position) && Write(file, data);
}

bool Resize(QFile &file, qint64 size)
{
    FAULT_BEFORE(Resize);
    FAULT_NOTE(QStringLiteral("resize %1 %2").arg(file.fileName()).arg(size));
    if (!file.resize(size))
        return false;
    FAULT_AFTER();
    return true;
}

bool Sync(QFile &file)
{
    FAULT_NOTE(QStringLiteral("sync ") + file.fileName());
    if (!file.flush())
        return false;
#ifdef Q_OS_WIN
    return ::_commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

bool ReadInto(QFile &file, qint64 position, qint64 size, QByteArray &buffer)
{
    if (size < 0 || size > INT_MAX || !Seek(file, position))
        return false;
    const qint64 wanted = qMin(size, qMax<qint64>(0, file.size() - position));
    buffer.resize(int(wanted));
    qint64 done = 0;
    while (done < wanted) {
        const qint64 n = file.read(buffer.data() + done, wanted - done);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        done += n;
    }
    buffer.resize(int(done));
    return true;
}

qint64 ReadSmallAt(QFile &file, qint64 position, char *data, qint64 size)
{
    if (size < 0 || position < 0)
        return -1;
#ifdef Q_OS_UNIX
    // Only for files read without Qt's buffer in between: the positioned read goes past it.
    const bool positioned = file.openMode() & QIODevice::Unbuffered;
#else
    const bool positioned = false;
#endif
    if (!positioned && !Seek(file, position))
        return -1;
    qint64 done = 0;
    while (done < size) {
        qint64 n = 0;
#ifdef Q_OS_UNIX
        if (positioned)
            n = ::pread(file.handle(), data + done, size_t(size - done), off_t(position + done));
        else
#endif
            n = file.read(data + done, size - done);
        if (n < 0 && positioned && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

namespace {

// The portable copy: one read of the whole range, one write.
bool CopyThroughBuffer(QFile &from, qint64 fromPosition, QFile &to, qint64 toPosition, qint64 size,
                       QByteArray &buffer, qint64 *copied)
{
    if (!ReadInto(from, fromPosition, size, buffer))
        return false;
    *copied = buffer.size();
    return buffer.isEmpty() || (Seek(to, toPosition) && Write(to, buffer));
}

} // namespace

bool CopyRange(QFile &from, qint64 fromPosition, QFile &to, qint64 toPosition, qint64 size,
               QByteArray &buffer, qint64 *copied)
{
    qint64 ignored = 0;
    if (!copied)
        copied = &ignored;
    *copied = 0;
    if (size < 0 || fromPosition < 0 || toPosition < 0)
        return false;
#ifdef Q_OS_LINUX
    const qint64 wanted = qMin(size, qMax<qint64>(0, from.size() - fromPosition));
    if (wanted == 0)
        return true;
    // Both files must be unbuffered: the kernel copy bypasses Qt's buffers.
    if (!from.isOpen() || !to.isOpen() || !(from.openMode() & QIODevice::Unbuffered) ||
        !(to.openMode() & QIODevice::Unbuffered))
        return CopyThroughBuffer(from, fromPosition, to, toPosition, size, buffer, copied);
    FAULT_BEFORE(Write);
    FAULT_NOTE(QStringLiteral("copy %1 -> %2").arg(from.fileName(), to.fileName()));
    loff_t in = fromPosition;
    loff_t out = toPosition;
    while (*copied < wanted) {
        const ssize_t n =
            ::copy_file_range(from.handle(), &in, to.handle(), &out, size_t(wanted - *copied), 0);
        if (n < 0 && *copied == 0 &&
            (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF)) {
            // This system or this pair of files cannot copy in the kernel.
            if (!ReadInto(from, fromPosition, wanted, buffer))
                return false;
            *copied = buffer.size();
            // Not through Write: this copy is already counted as one step.
            if (!Seek(to, toPosition) || !WriteFully(to, buffer.constData(), buffer.size()))
                return false;
            break;
        }
        if (n < 0)
            return false;
        if (n == 0)
            break; // the source ended earlier than its size said
        *copied += n;
    }
    FAULT_AFTER();
    return true;
#else
    return CopyThroughBuffer(from, fromPosition, to, toPosition, size, buffer, copied);
#endif
}

void StartWriteback(QFile &file, qint64 position, qint64 size)
{
#ifdef Q_OS_LINUX
    if (file.isOpen() && size > 0)
        ::sync_file_range(file.handle(), off64_t(position), off64_t(size), SYNC_FILE_RANGE_WRITE);
#else
    Q_UNUSED(file);
    Q_UNUSED(position);
    Q_UNUSED(size);
#endif
}

void DropCachedRange(QFile &file, qint64 position, qint64 size)
{
#ifdef Q_OS_LINUX
    if (file.isOpen() && size > 0)
        ::posix_fadvise(file.handle(), off_t(position), off_t(size), POSIX_FADV_DONTNEED);
#else
    Q_UNUSED(file);
    Q_UNUSED(position);
    Q_UNUSED(size);
#endif
}

QByteArray ReadAt(QFile &file, qint64 position, qint64 size, bool *ok)
{
    QByteArray data;
    const bool done = ReadInto(file, position, size, data);
    if (ok)
        *ok = done;
    return done ? data : QByteArray();
}

bool ReplaceFile(const QString &from, const QString &to)
{
    FAULT_BEFORE(Rename);
    FAULT_NOTE(QStringLiteral("rename %1 -> %2").arg(from, to));
#ifdef Q_OS_WIN
    const bool done = ::MoveFileExW(reinterpret_cast<const wchar_t *>(from.utf16()),
                                    reinterpret_cast<const wchar_t *>(to.utf16()),
                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
#else
    const bool done = ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
    if (!done)
        return false;
    FAULT_AFTER();
    return true;
}

bool RemoveFile(const QString &path)
{
    FAULT_BEFORE(Remove);
    FAULT_NOTE(QStringLiteral("remove ") + path);
    if (!QFile::remove(path))
        return false;
    FAULT_AFTER();
    return true;
}

void Release(QFile &file)
{
    FAULT_NOTE(QStringLiteral("release ") + file.fileName());
    file.close();
}

bool SyncFolderOf(const QString &path)
{
    FAULT_NOTE(QStringLiteral("sync folder ") + QFileInfo(path).absolutePath());
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return true; // renames are made with MOVEFILE_WRITE_THROUGH
#else
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
#endif
}

} // namespace ArchiveIO
