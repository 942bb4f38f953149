#include "archive/io/FileReplacement.h"

#include "archive/io/ArchiveIO.h"
#include "archive/io/FileIdentity.h"

#include <QFile>
#include <QFileInfo>

namespace {

// The most bytes copied from the journal in one piece.
constexpr qint64 kCopyBytes = 8 * 1024 * 1024;

// A data file with further names is grown to the new length before its journal
// counts, so a full disk stops the replacement before it begins.
bool GrowToSizeOf(const QString &complete, const QString &target)
{
    const qint64 newSize = QFileInfo(complete).size();
    QFile file(target);
    if (!ArchiveIO::Open(file, QIODevice::ReadWrite | QIODevice::Unbuffered))
        return false;
    return file.size() >= newSize || (ArchiveIO::Resize(file, newSize) && ArchiveIO::Sync(file));
}

} // namespace

namespace FileReplacement {

QString JournalPath(const QString &target)
{
    return target + QStringLiteral(".copying");
}

bool Commit(const QString &complete, const QString &target, bool mayGrowFirst)
{
    const bool linked = FileIdentity::LinkCount(target) > 1;
    if (linked && mayGrowFirst && !GrowToSizeOf(complete, target))
        return false;
    // From this rename on the new version is the one that counts.
    if (!ArchiveIO::ReplaceFile(complete, linked ? JournalPath(target) : target))
        return false;
    ArchiveIO::SyncFolderOf(target);
    return !linked || FinishJournal(target);
}

bool CommitPair(const QString &dataComplete, const QString &dataTarget, const QString &dirComplete,
                const QString &dirTarget, QString *failedTarget)
{
    const bool dataLinked = FileIdentity::LinkCount(dataTarget) > 1;
    const bool dirLinked = FileIdentity::LinkCount(dirTarget) > 1;
    const auto fail = [failedTarget](const QString &target) {
        *failedTarget = target;
        return false;
    };
    if (dataLinked && !GrowToSizeOf(dataComplete, dataTarget))
        return fail(dataTarget);
    // Held so that the renames only unlink names; the blocks go when these close.
    QFile heldData(dataTarget);
    QFile heldDir(dirTarget);
    heldData.open(QIODevice::ReadOnly);
    heldDir.open(QIODevice::ReadOnly);

    if (!ArchiveIO::ReplaceFile(dataComplete, dataLinked ? JournalPath(dataTarget) : dataTarget))
        return fail(dataTarget);
    const bool dirRenamed =
        ArchiveIO::ReplaceFile(dirComplete, dirLinked ? JournalPath(dirTarget) : dirTarget);

    ArchiveIO::SyncFolderOf(dataTarget);
    if (QFileInfo(dataTarget).absolutePath() != QFileInfo(dirTarget).absolutePath())
        ArchiveIO::SyncFolderOf(dirTarget);
    if (dataLinked && !FinishJournal(dataTarget))
        return fail(dataTarget);
    if (!dirRenamed || (dirLinked && !FinishJournal(dirTarget)))
        return fail(dirTarget);
    ArchiveIO::Release(heldData);
    ArchiveIO::Release(heldDir);
    return true;
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
