#include "cli/ArchiveSession.h"

#include "archive/format/IMGFormat.h"
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
        if (opening) {
            held << message;
            return;
        }
        this->progress.Interrupt();
        Console::Error(message);
        ++errors;
    });
}

bool ArchiveSession::Open(const QString &path, Access access)
{
    // The engine's own message waits: for a path that is no archive, the command
    // line says more plainly why.
    opening = true;
    const bool opened =
        img.OpenArchive(path, access == Access::Read ? IMGClass::OpenReadOnly : IMGClass::OpenExisting);
    opening = false;
    if (!opened) {
        if (img.LastOpenFailure() == IMGClass::OpenFailure::Missing)
            Console::Error(QStringLiteral("%1: no such archive").arg(path));
        else if (img.LastOpenFailure() == IMGClass::OpenFailure::NoDirectory)
            Console::Error(QStringLiteral("%1: not an IMG archive (no version 2 header, and no %2 beside it)")
                               .arg(path, DirPathFor(path)));
        else
            for (const QString &message : held)
                Console::Error(message);
        errors += held.size();
        held.clear();
        return false;
    }
    for (const QString &message : held)
        Console::Error(message);
    held.clear();
    if (notesUnfinishedReplacement && img.ReadsUnfinishedReplacement())
        Console::Error(QStringLiteral("%1: a rebuild or directory write was stopped half way; reading the "
                                      "archive as the next changing command will complete it")
                           .arg(path));
    return opened;
}
