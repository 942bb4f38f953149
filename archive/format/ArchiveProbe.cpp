#include "archive/format/ArchiveProbe.h"

#include "archive/format/IMGFormat.h"
#include "archive/io/DirectoryJournal.h"
#include "archive/io/FileIdentity.h"
#include "archive/io/FileReplacement.h"

#include <QFile>
#include <QFileInfo>

namespace {

// "VER" followed by anything but "2" (e.g. "VER3", "VERF"), and the plain
// header of the version 3 container (52 2A 4E A9).
bool IsForeignArchiveMagic(const QByteArray &magic)
{
    if (magic.size() < 4)
        return false;
    if (magic.startsWith("VER"))
        return magic.at(3) != '2';
    return magic == QByteArray("\x52\x2A\x4E\xA9", 4);
}

// The .img beside a .dir given in its place: the same name, "dir" replaced by "img"
// in the same case.
QString PairedImgOf(const QString &path)
{
    if (path.size() < 3 || path.right(3).compare(QLatin1String("dir"), Qt::CaseInsensitive) != 0)
        return QString();
    const bool upper = path.at(path.size() - 3).isUpper();
    const QString img = path.left(path.size() - 3) + (upper ? QStringLiteral("IMG") : QStringLiteral("img"));
    return QFileInfo(img).isFile() && !FileIdentity::SameFile(img, path) ? img : QString();
}

} // namespace

bool NamesItsOwnDirectory(const QString &path)
{
    // A file name shorter than three characters would also lose its folder's separator.
    return DirPathFor(path) == path || path.endsWith(QLatin1String("dir"), Qt::CaseInsensitive) ||
           QFileInfo(path).fileName().size() < 3;
}

QString RebuildTemporaryOf(const QString &target)
{
    return target + QStringLiteral(".rebuilding");
}

QString NextDirectoryOf(const QString &dirTarget)
{
    return dirTarget + QStringLiteral(".writing");
}

ArchiveProbe ArchiveProbe::Of(const QString &path)
{
    ArchiveProbe format;
    format.imgTarget = FileIdentity::ResolvedPath(path);
    const QString imgJournal = FileReplacement::JournalPath(format.imgTarget);
    format.unfinished = QFileInfo(imgJournal).isFile();
    format.dataFile = format.unfinished ? imgJournal : path;

    format.dirPath = DirPathFor(path);
    const bool oneName = NamesItsOwnDirectory(path);
    QFile data(format.dataFile);
    // Only a plain file is read: opening a pipe to read would wait for a writer.
    if (!QFileInfo(format.dataFile).isFile() || !data.open(QIODevice::ReadOnly)) {
        const bool exists = QFileInfo::exists(path);
        format.kind = oneName ? OneFileForBoth : exists ? Unreadable : Missing;
        if (oneName)
            format.pairedImg = PairedImgOf(path);
        return format;
    }
    // A version 2 directory write that a stop may have torn counts as made.
    const DirectoryJournal::Pending pending = DirectoryJournal::Read(format.imgTarget);
    const QByteArray magic = DirectoryJournal::Overlay(pending, 0, data.read(4));
    data.close();
    format.directoryJournal = pending.complete;
    format.unfinished = format.unfinished || pending.complete;
    if (magic == VER2_MAGIC) {
        format.kind = Version2;
        return format;
    }
    if (oneName || FileIdentity::SameFile(path, format.dirPath)) {
        format.kind = OneFileForBoth;
        format.pairedImg = PairedImgOf(path);
        return format;
    }

    format.dirTarget = FileIdentity::ResolvedPath(format.dirPath);
    const QString dirJournal = FileReplacement::JournalPath(format.dirTarget);
    const QString dirRebuilt = RebuildTemporaryOf(format.dirTarget);
    // A lone new directory of a rebuild: its data file was already swapped.
    if (QFileInfo(dirRebuilt).isFile() && !QFileInfo::exists(RebuildTemporaryOf(format.imgTarget)))
        format.waitingDirectory = dirRebuilt;
    if (QFileInfo(dirJournal).isFile())
        format.directoryFile = dirJournal;
    else if (!format.waitingDirectory.isEmpty())
        format.directoryFile = format.waitingDirectory;
    else
        format.directoryFile = format.dirPath;
    format.unfinished = format.unfinished || format.directoryFile != format.dirPath;
    format.hasDirectory = QFileInfo::exists(format.directoryFile);
    format.kind = IsForeignArchiveMagic(magic) && !format.hasDirectory ? Foreign : Version1;
    return format;
}
