#include "archive/io/FileIdentity.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/xattr.h>
#endif

namespace {

#ifdef Q_OS_LINUX
const char kAclAttribute[] = "system.posix_acl_access";

bool IsAcl(const char *name)
{
    return std::strncmp(name, "system.posix_acl_", 17) == 0;
}

// Lists the names of the extended attributes of `path` (each ended by a zero byte).
bool AttributeNames(const QByteArray &path, QByteArray *names)
{
    for (int tries = 0; tries < 4; ++tries) {
        const ssize_t size = ::listxattr(path.constData(), nullptr, 0);
        if (size < 0)
            return errno == ENOTSUP || errno == ENOSYS; // none on this file system
        names->resize(int(size));
        const ssize_t got = ::listxattr(path.constData(), names->data(), size_t(size));
        if (got >= 0) {
            names->resize(int(got));
            return true;
        }
        if (errno != ERANGE) // ERANGE: the list grew in between
            return false;
    }
    return false;
}

bool CopyAttributes(const QByteArray &from, int to)
{
    QByteArray names;
    if (!AttributeNames(from, &names))
        return false;
    bool copiedAcl = false;
    for (int at = 0; at < names.size();) {
        const char *name = names.constData() + at;
        at += int(std::strlen(name)) + 1;
        QByteArray value;
        ssize_t size = ::getxattr(from.constData(), name, nullptr, 0);
        if (size >= 0) {
            value.resize(int(size));
            size = ::getxattr(from.constData(), name, value.data(), size_t(size));
        }
        const bool copied = size >= 0 && ::fsetxattr(to, name, value.constData(), size_t(size), 0) == 0;
        if (!copied && IsAcl(name))
            return false;
        copiedAcl = copiedAcl || (copied && std::strcmp(name, kAclAttribute) == 0);
    }
    // A folder with a default ACL hands it to every new file: the old file had none.
    if (!copiedAcl && ::fremovexattr(to, kAclAttribute) != 0 && errno != ENODATA && errno != ENOTSUP)
        return false;
    return true;
}
#endif

} // namespace

namespace FileIdentity {

QString ResolvedPath(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    // The last name does not exist (yet), or is a link to nothing: follow the links by hand.
    QString current = QFileInfo(path).absoluteFilePath();
    for (int hops = 0; hops < 40 && QFileInfo(current).isSymLink(); ++hops)
        current = QFileInfo(current).symLinkTarget();
    const QFileInfo last(current);
    const QString folder = QFileInfo(last.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? current : folder + QLatin1Char('/') + last.fileName();
}

bool SameFile(const QString &a, const QString &b)
{
#ifdef Q_OS_UNIX
    struct stat first, second;
    return ::stat(QFile::encodeName(a).constData(), &first) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
#else
    const QString first = QFileInfo(a).canonicalFilePath();
    return !first.isEmpty() && first.compare(QFileInfo(b).canonicalFilePath(), Qt::CaseInsensitive) == 0;
#endif
}

int LinkCount(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return int(info.st_nlink);
#else
    return QFileInfo::exists(path) ? 1 : 0;
#endif
}

bool CopyTo(const QString &original, int descriptor)
{
#ifdef Q_OS_UNIX
    const QByteArray from = QFile::encodeName(original);
    struct stat old;
    if (::stat(from.constData(), &old) != 0)
        return false;
    // The owner first, so that no one else ever holds the file under the old permissions.
    if (::fchown(descriptor, old.st_uid, old.st_gid) != 0)
        (void)!::fchown(descriptor, uid_t(-1), old.st_gid); // at least the group, where we belong to it
#ifdef Q_OS_LINUX
    if (!CopyAttributes(from, descriptor))
        return false;
#endif
    // Last: a change of owner clears the set-user and set-group bits.
    return ::fchmod(descriptor, old.st_mode & 07777) == 0;
#else
    Q_UNUSED(original);
    Q_UNUSED(descriptor);
    return true;
#endif
}

} // namespace FileIdentity
