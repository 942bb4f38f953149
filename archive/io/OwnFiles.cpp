#include "archive/io/OwnFiles.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

OwnFiles::OwnFiles(const QFile &img, const QFile *dir)
{
    for (const QFile *own : {&img, dir}) {
        struct stat st = {};
        if (own && (own->isOpen() ? ::fstat(own->handle(), &st) == 0
                                  : !own->fileName().isEmpty() &&
                                        ::stat(QFile::encodeName(own->fileName()).constData(), &st) == 0))
            ids.push_back({st.st_dev, st.st_ino});
    }
}

bool OwnFiles::OpenForExport(QFile &file, bool mayReplace) const
{
    // A new file: nothing was there to follow or to overwrite. One system call.
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        return true;
    if (!mayReplace)
        return false;
    // An existing file (also through a link) is overwritten, unless it is the archive's:
    // opened without truncation, checked, and only then emptied.
    const int fd = ::open(QFile::encodeName(file.fileName()).constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || IsOwn(st.st_dev, st.st_ino) || ::ftruncate(fd, 0) != 0 ||
        !file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

bool OwnFiles::IsOwn(dev_t device, ino_t inode) const
{
    for (const FileId &own : ids) {
        if (own.device == device && own.inode == inode)
            return true;
    }
    return false;
}
