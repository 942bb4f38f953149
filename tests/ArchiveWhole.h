#pragma once

// The check after every case of the file-identity tests: the archive opens for
// changes, the checker finds nothing, and every entry reads back.

#include "ArchiveCheck.h"
#include "ArchiveFixtures.h"

#include "archive/ArchiveChecker.h"
#include "archive/io/ArchiveIO.h"
#include "archive/IMGClass.h"

#include <QDir>
#include <QDirIterator>
#include <QMap>

// Every entry read through the engine's own open file, as a reading command reads it.
inline QString EntriesReadBack(IMGClass &img, const Fixtures::Contents &expected)
{
    if (img.directory.size() != expected.size())
        return QStringLiteral("%1 entries, expected %2").arg(img.directory.size()).arg(expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const IMGDirectoryEntry &e = img.directory[i].entry;
        if (QByteArray(e.name, EntryNameLength(e)) != expected[i].name)
            return QStringLiteral("entry %1 is named %2").arg(i).arg(EntryName(e));
        const QByteArray data =
            ArchiveIO::ReadAt(img.imgFile, SectorToBytes(e.offset), qint64(e.size) * SECTOR_SIZE);
        if (!data.startsWith(expected[i].content))
            return QStringLiteral("entry %1 (%2) does not read back").arg(i).arg(EntryName(e));
    }
    return QString();
}

inline QString ArchiveIsWhole(const QString &p, int version, const Fixtures::Contents &expected)
{
    const QString problem = VerifyArchive(p, version, expected);
    if (!problem.isEmpty())
        return problem;
    IMGClass img;
    if (!img.OpenArchive(p))
        return QStringLiteral("does not open for changes");
    if (!ArchiveChecker(img).Check().empty())
        return QStringLiteral("the checker finds problems");
    return EntriesReadBack(img, expected);
}

// Every file (with its bytes) and folder below `folder`, to show that nothing changed.
inline QMap<QString, QByteArray> FilesIn(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        files.insert(p.mid(folder.size()), it.fileInfo().isDir() ? QByteArray("<folder>") : Fixtures::ReadFile(p));
    }
    return files;
}

// Files left by a replacement in `folder`.
inline QStringList Leftovers(const QString &folder)
{
    QStringList out;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (name.endsWith(".rebuilding") || name.endsWith(".writing") || name.endsWith(".copying"))
            out << name;
    return out;
}
