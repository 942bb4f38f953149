#pragma once

class QFile;

// An advisory lock on an archive's data file, held for as long as the archive is
// open for changes, so that a second writer (another process, or another archive
// object in this one) is refused instead of losing the first one's work. The lock
// belongs to the open file itself (flock), so the kernel drops it when the
// process ends, however it ends; closing the QFile it was taken on does not.
class ArchiveLock
{
public:
    enum Result { Taken, HeldElsewhere };

    ArchiveLock() = default;
    ~ArchiveLock();
    ArchiveLock(ArchiveLock &&other) noexcept;
    ArchiveLock &operator=(ArchiveLock &&other) noexcept;
    ArchiveLock(const ArchiveLock &) = delete;
    ArchiveLock &operator=(const ArchiveLock &) = delete;

    // Locks the open `file`, releasing whatever this object held before. Where the
    // file system keeps no locks, the archive opens without one (Taken).
    Result Take(const QFile &file);
    void Release();
    // Whether this object holds a lock on the very file `file` has open.
    bool IsOn(const QFile &file) const;

private:
    int descriptor = -1; // a duplicate of the locked file's descriptor
};
