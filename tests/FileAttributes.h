#pragma once

// The parts of a file the identity tests look at beside its bytes (owner, mode,
// extended attributes), and a read-only bind mount to read archives from.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>

inline struct stat StatOf(const QString &p)
{
    struct stat info = {};
    ::stat(QFile::encodeName(p).constData(), &info);
    return info;
}

inline QByteArray Attribute(const QString &p, const char *name)
{
    QByteArray value(4096, '\0');
    const ssize_t n = ::getxattr(QFile::encodeName(p).constData(), name, value.data(), size_t(value.size()));
    return n < 0 ? QByteArray() : value.left(int(n));
}

inline bool SetAttribute(const QString &p, const char *name, const QByteArray &value)
{
    return ::setxattr(QFile::encodeName(p).constData(), name, value.constData(), size_t(value.size()), 0) == 0;
}

// A read-only bind mount of a folder, undone when it goes.
struct ReadOnlyMount
{
    ReadOnlyMount(const QString &source, const QString &target)
        : target(QFile::encodeName(target))
    {
        QDir().mkpath(target);
        mounted = ::mount(QFile::encodeName(source).constData(), this->target.constData(), nullptr, MS_BIND,
                          nullptr) == 0;
        readOnly = mounted && ::mount(nullptr, this->target.constData(), nullptr,
                                      MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
    ~ReadOnlyMount()
    {
        if (mounted)
            ::umount2(target.constData(), MNT_DETACH);
    }
    QByteArray target;
    bool mounted = false;
    bool readOnly = false;
};
