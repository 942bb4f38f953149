#include "cli/InfoCommand.h"

#include "archive/ArchiveChecker.h"
#include "cli/Console.h"
#include "cli/EntryReport.h"

InfoCommand::InfoCommand()
    : ArchiveCommand(
          QStringLiteral("info"),
          QStringLiteral("Show the version, the entry count and the use of the data file's bytes."),
          QStringLiteral("Show the version, the entry count and how the bytes of the data file are used."),
          {ArchivePositional()}, 1, 1, ArchiveSession::Access::Read, Progress::None)
{
}

int InfoCommand::RunOn(ArchiveSession &session, ProgressPrinter &)
{
    const ArchiveSpace space = ArchiveChecker(session.img).MeasureSpace();
    Console::Out(EntryReport::Info(session.img.version, session.img.directory.size(), space,
                                   session.img.freeDirectorySlots));
    return ExitOk;
}
