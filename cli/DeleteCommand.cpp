#include "cli/DeleteCommand.h"

#include "cli/EntrySelection.h"

DeleteCommand::DeleteCommand()
    : ArchiveCommand(
          QStringLiteral("delete"), QStringLiteral("Remove entries by name."),
          QStringLiteral("Remove the named entries: every entry of each name. Nothing is removed when a "
                         "name is unknown."),
          {ArchivePositional(),
           {QStringLiteral("NAME..."), QStringLiteral("Names of the entries to delete (ASCII case ignored)."),
            Completion::EntryName}},
          2, -1, ArchiveSession::Access::Change, Progress::None)
{
}

int DeleteCommand::RunOn(ArchiveSession &session, ProgressPrinter &)
{
    std::vector<int> rows;
    if (!SelectNamed(EntrySelection(session.img), args.mid(1), rows))
        return ExitFailed;
    session.img.DeleteEntries(rows);
    return session.Errors() ? ExitFailed : ExitOk;
}
