#include "archive/io/ArchiveLock.h"

#include <QFile>

#include <utility>

#ifdef OSTREVALE_FAULT_INJECTION
#include "archive/io/FaultInjection.h"
#endif

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

ArchiveLock::~ArchiveLock()
{
    Release();
}

ArchiveLock::ArchiveLock(ArchiveLock &&other) noexcept
    : descriptor(std::exchange(other.descriptor, -1))
{
}

ArchiveLock &ArchiveLock::operator=(ArchiveLock &&other) noexcept
{
    if (this != &other) {
        Release();
        descriptor = std::exchange(other.descriptor, -1);
    }
    return *this;
}

ArchiveLock::Result ArchiveLock::Take(const QFile &file)
{
    Release();
#ifdef Q_OS_UNIX
    // A duplicate shares the open file (and with it the lock), but outlives the QFile:
    // a rebuild closes the data file and keeps the archive locked.
    const int duplicate = ::fcntl(file.handle(), F_DUPFD_CLOEXEC, 0);
    if (duplicate < 0)
        return Taken;
    int locked;
    do {
        locked = ::flock(duplicate, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(duplicate);
        return held ? HeldElsewhere : Taken;
    }
    descriptor = duplicate;
#else
    Q_UNUSED(file);
#endif
    return Taken;
}

void ArchiveLock::Release()
{
#ifdef Q_OS_UNIX
    if (descriptor >= 0) {
#ifdef OSTREVALE_FAULT_INJECTION
        FaultInjection::Note(QStringLiteral("unlock"));
#endif
        // Unlocked first: the archive's own QFile may still share the open file.
        ::flock(descriptor, LOCK_UN);
        ::close(descriptor);
    }
#endif
    descriptor = -1;
}

bool ArchiveLock::IsOn(const QFile &file) const
{
#ifdef Q_OS_UNIX
    struct stat held, other;
    return descriptor >= 0 && file.isOpen() && ::fstat(descriptor, &held) == 0 &&
           ::fstat(file.handle(), &other) == 0 && held.st_dev == other.st_dev && held.st_ino == other.st_ino;
#else
    Q_UNUSED(file);
    return false;
#endif
}
