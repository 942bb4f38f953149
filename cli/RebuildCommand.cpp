#include "cli/RebuildCommand.h"

#include "cli/ProgressPrinter.h"

RebuildCommand::RebuildCommand()
    : ArchiveCommand(
          QStringLiteral("rebuild"), QStringLiteral("Compact the archive, reclaiming unreferenced space."),
          QStringLiteral("Compact the archive: copy the data of every entry, without gaps, into new files "
                         "that then replace the archive's files."),
          {ArchivePositional()}, 1, 1, ArchiveSession::Access::Change, Progress::Bar)
{
    AddOption(QuietOption());
}

int RebuildCommand::RunOn(ArchiveSession &session, ProgressPrinter &progress)
{
    progress.Start(int(session.img.directory.size()));
    session.img.Rebuild();
    progress.Finish();
    // Opened again from disk as the window does, whatever the outcome: this
    // finishes what the files need on opening and proves the result opens.
    const QString path = session.img.ImgFileName();
    session.img.CloseArchive();
    if (session.img.OpenArchive(path))
        session.img.CloseArchive();
    return session.Errors() ? ExitFailed : ExitOk;
}
