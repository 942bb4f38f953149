#include "cli/InfoCommand.h"

#include "archive/ArchiveChecker.h"
#include "cli/Console.h"
#include "cli/EntryReport.h"

InfoCommand::InfoCommand()
    : ArchiveCommand(
          QStringLiteral("info"),
          QStringLiteral("Show the version, the entry count and the use of the data file's bytes."),
          QStringLiteral("Show the version, the entry count and how the bytes of the data file are used, "
                         "read from the directory alone."),
          {ArchivePositional()}, 1, 1, ArchiveSession::Access::Read, Progress::None)
    , typesOption(QStringLiteral("types"),
                  QStringLiteral("Also count the entries of each type of content and each RenderWare "
                                 "version, told from their first bytes as the long listing of list tells "
                                 "them (one read per entry)."))
{
    AddOption(typesOption);
}

int InfoCommand::RunOn(ArchiveSession &session, ProgressPrinter &)
{
    const ArchiveSpace space = ArchiveChecker(session.img).MeasureSpace();
    QString text = EntryReport::Info(session.img.version, session.img.directory.size(), space,
                                     session.img.freeDirectorySlots);
    if (IsSet(typesOption)) {
        std::vector<ContentType> types;
        if (!session.img.DetectContentTypes(types))
            return ExitFailed;
        text += EntryReport::TypeCounts(types);
    }
    Console::Out(text);
    return ExitOk;
}
