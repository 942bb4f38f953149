#include "archive/FileReplacement.h"

#include "archive/ArchiveIO.h"
#include "archive/FileIdentity.h"

#include <QFile>
#include <QFileInfo>

namespace {

// The most bytes copied from the journal in one piece.
constexpr qint64 kCopyBytes = 8 * 1024 * 1024;

} // namespace

namespace FileReplacement {

QString JournalPath(const QString &target)
{
    return target + QStringLiteral(".copying");
}

bool Commit(const QString &complete, const QString &target, bool mayGrowFirst)
{
    if (FileIdentity::LinkCount(target) <= 1) {
        if (!ArchiveIO::ReplaceFile(complete, target))
            return false;
        ArchiveIO::SyncFolderOf(target);
        return true;
    }
    if (mayGrowFirst) {
        const qint64 newSize = QFileInfo(complete).size();
        QFile file(target);
        if (!ArchiveIO::Open(file, QIODevice::ReadWrite | QIODevice::Unbuffered))
            return false;
        if (file.size() < newSize && (!ArchiveIO::Resize(file, newSize) || !ArchiveIO::Sync(file)))
            return false;
    }
    // From this rename on the new version is the one that counts.
    if (!ArchiveIO::ReplaceFile(complete, JournalPath(target)))
        return false;
    ArchiveIO::SyncFolderOf(target);
    return FinishJournal(target);
}

bool FinishJournal(const QString &target)
{
    const QString journalPath = JournalPath(target);
    if (!QFileInfo(journalPath).isFile())
        return true;
    QFile journal(journalPath);
    QFile file(target);
    if (!journal.open(QIODevice::ReadOnly | QIODevice::Unbuffered) ||
        !ArchiveIO::Open(file, QIODevice::ReadWrite | QIODevice::Unbuffered))
        return false;
    const qint64 size = journal.size();
    QByteArray buffer;
    for (qint64 at = 0; at < size; at += kCopyBytes) {
        qint64 copied = 0;
        const qint64 piece = qMin(kCopyBytes, size - at);
        if (!ArchiveIO::CopyRange(journal, at, file, at, piece, buffer, &copied) || copied != piece)
            return false;
    }
    if ((file.size() != size && !ArchiveIO::Resize(file, size)) || !ArchiveIO::Sync(file))
        return false;
    journal.close();
    file.close();
    if (!ArchiveIO::RemoveFile(journalPath))
        return false;
    ArchiveIO::SyncFolderOf(journalPath);
    return true;
}

} // namespace FileReplacement
