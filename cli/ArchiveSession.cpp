#include "cli/ArchiveSession.h"

#include "archive/format/ArchiveProbe.h"
#include "cli/Console.h"
#include "cli/ProgressPrinter.h"

#include <QFileInfo>

ArchiveSession::ArchiveSession(ProgressPrinter &progress)
    : progress(progress)
{
    QObject::connect(&img, &IMGClass::IncreaseProgressBar, &img, [this] { this->progress.Step(); });
    QObject::connect(&img, &IMGClass::ImportingFileFullPath, &img,
                     [this](const QString &path) { this->progress.SetLabel(path); });
    QObject::connect(&img, &IMGClass::ExportingFileName, &img,
                     [this](const QString &name) { this->progress.SetLabel(name); });
    QObject::connect(&img, &IMGClass::RebuildingFileName, &img,
                     [this](const QString &name) { this->progress.SetLabel(name); });
    // The pieces live only during the emission: they are joined and printed here.
    QObject::connect(&img, &IMGClass::ErrorOccoured, &img, [this](std::initializer_list<QString> pieces) {
        QString message;
        for (const QString &piece : pieces)
            message += piece;
        this->progress.Interrupt();
        Console::Error(message);
        ++errors;
    });
}

bool ArchiveSession::Open(const QString &path, Access access)
{
    const ArchiveProbe format = ArchiveProbe::Of(path);
    // Also a short name that could only ever be both halves of a pair: it is not there at all.
    if (format.kind == ArchiveProbe::Missing || !QFileInfo::exists(path)) {
        Console::Error(QStringLiteral("%1: no such archive").arg(path));
        return false;
    }
    // A stopped rebuild's directory waiting beside it counts: the engine completes it.
    if ((format.kind == ArchiveProbe::Version1 || format.kind == ArchiveProbe::Foreign) &&
        !format.hasDirectory && QFileInfo(path).isFile()) {
        Console::Error(QStringLiteral("%1: not an IMG archive (no version 2 header, and no %2 beside it)")
                           .arg(path, format.dirPath));
        return false;
    }
    const bool opened =
        img.OpenArchive(path, access == Access::Read ? IMGClass::OpenReadOnly : IMGClass::OpenForChanges);
    if (opened && notesUnfinishedReplacement && img.ReadsUnfinishedReplacement())
        Console::Error(QStringLiteral("%1: a rebuild or directory write was stopped half way; reading the "
                                      "archive as the next changing command will complete it")
                           .arg(path));
    return opened;
}
