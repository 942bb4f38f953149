#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Checked file operations on the archive's own files. Every call reports
// whether the bytes really reached the file; the engine stops at the first
// false. In builds with OSTREVALE_FAULT_INJECTION every changing step
// (write, resize, rename, remove) is also a fault point (see FaultInjection).
namespace ArchiveIO {

// Opens one of the archive's own files (or a temporary beside them).
bool Open(QFile &file, QIODevice::OpenMode mode);
// Creates `path` as the new file that is to replace `original` (a file beside it),
// open write-only and unbuffered: exclusively (a leftover of that name is removed
// first, a link there is never followed), never readable by others meanwhile, and
// with the owner, group, extended attributes and mode of `original`
// (FileIdentity::CopyTo). False, and nothing left, when any of that fails.
bool CreateReplacement(QFile &file, const QString &path, const QString &original);
bool Seek(QFile &file, qint64 position);
// Writes all `size` bytes at the current position, or reports failure.
bool Write(QFile &file, const char *data, qint64 size);
inline bool Write(QFile &file, const QByteArray &data)
{
    return Write(file, data.constData(), data.size());
}
bool WriteAt(QFile &file, qint64 position, const QByteArray &data);
bool Resize(QFile &file, qint64 size);
// Flushes Qt's and the system's buffers of an open file to the disk.
bool Sync(QFile &file);
// Reads up to `size` bytes from `position`; fewer when the file ends earlier.
// An empty result with ok == false means the read itself failed.
QByteArray ReadAt(QFile &file, qint64 position, qint64 size, bool *ok = nullptr);
// Like ReadAt, into a buffer that the caller reuses, so copying many entries
// allocates once for the largest. False when the read itself failed.
bool ReadInto(QFile &file, qint64 position, qint64 size, QByteArray &buffer);
// Reads up to `size` bytes at `position` into `data` with one positioned read
// where the system has one (no seek, no size query): for the many small reads
// of a scan over every entry. The count read, fewer at the end of the file; -1
// when the read failed.
qint64 ReadSmallAt(QFile &file, qint64 position, char *data, qint64 size);
// Copies up to `size` bytes of `from` at `fromPosition` to `to` at `toPosition`,
// fewer when `from` ends earlier; `*copied` gets the count. Copies inside the
// kernel where the system can (no trip through this process's memory), else
// through `buffer`, which the caller reuses. Nothing to copy is no write.
bool CopyRange(QFile &from, qint64 fromPosition, QFile &to, qint64 toPosition, qint64 size,
               QByteArray &buffer, qint64 *copied = nullptr);
// Starts writing the given bytes of `file` to the disk without waiting for them,
// so that a later Sync finds less to do. Only a hint: it changes no result.
void StartWriteback(QFile &file, qint64 position, qint64 size);
// Tells the system that the given bytes of `file` will not be read again, so
// their cached pages may go now rather than all at once when the file is deleted.
void DropCachedRange(QFile &file, qint64 position, qint64 size);
// Atomically puts `from` in the place of `to`, replacing an existing `to`.
bool ReplaceFile(const QString &from, const QString &to);
bool RemoveFile(const QString &path);
// Closes a replaced file that was held open through its replacement: when it was
// the last name's last user, its blocks are freed now.
void Release(QFile &file);
// Makes the renames and creations inside the folder holding `path` durable.
bool SyncFolderOf(const QString &path);

} // namespace ArchiveIO

// Tests reach the fault points through this header, as before the planner had a file of its own.
#ifdef OSTREVALE_FAULT_INJECTION
#include "archive/io/FaultInjection.h"
#endif
