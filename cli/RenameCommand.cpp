#include "cli/RenameCommand.h"

#include "cli/Console.h"
#include "cli/EntrySelection.h"

RenameCommand::RenameCommand()
    : ArchiveCommand(
          QStringLiteral("rename"), QStringLiteral("Rename an entry."),
          QStringLiteral("Give an entry a new name of at most 23 UTF-8 bytes that no other entry has. When "
                         "several entries share the old name, the first one is renamed."),
          {ArchivePositional(),
           {QStringLiteral("OLD"), QStringLiteral("The entry's present name (ASCII case ignored)."),
            Completion::EntryName},
           {QStringLiteral("NEW"), QStringLiteral("Its new name."), Completion::None}},
          3, 3, ArchiveSession::Access::Change, Progress::None)
{
}

int RenameCommand::RunOn(ArchiveSession &session, ProgressPrinter &)
{
    const std::vector<int> rows = EntrySelection(session.img).Named(args.at(1));
    if (rows.empty()) {
        Console::Error(QStringLiteral("no entry named '%1'").arg(args.at(1)));
        return ExitFailed;
    }
    return session.img.RenameEntry(rows.front(), args.at(2)) ? ExitOk : ExitFailed;
}
