#include "cli/CatCommand.h"

#include "cli/Console.h"
#include "cli/EntrySelection.h"

#include <QFile>

#include <cstdio>

CatCommand::CatCommand()
    : ArchiveCommand(
          QStringLiteral("cat"), QStringLiteral("Write an entry's bytes to standard output."),
          QStringLiteral("Write the bytes of the named entry to standard output, for pipes: what extract "
                         "writes for it. Of several entries with that name, the first."),
          {ArchivePositional(),
           {QStringLiteral("NAME"), QStringLiteral("Name of the entry (ASCII case ignored)."),
            Completion::EntryName}},
          2, 2, ArchiveSession::Access::Read, Progress::None)
{
}

int CatCommand::RunOn(ArchiveSession &session, ProgressPrinter &)
{
    const std::vector<int> rows = EntrySelection(session.img).Named(args.at(1));
    if (rows.empty()) {
        Console::Error(QStringLiteral("no entry named '%1'").arg(args.at(1)));
        return ExitFailed;
    }
    std::fflush(stdout);
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        Console::Error(QStringLiteral("standard output cannot be written"));
        return ExitFailed;
    }
    const bool written = session.img.WriteEntryTo(rows.front(), out, QStringLiteral("标准输出"));
    return written && !session.Errors() ? ExitOk : ExitFailed;
}
