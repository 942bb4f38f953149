#include "cli/CheckCommand.h"

#include "archive/ArchiveChecker.h"
#include "cli/Console.h"
#include "cli/EntryReport.h"
#include "cli/ProgressPrinter.h"

CheckCommand::CheckCommand()
    : ArchiveCommand(
          QStringLiteral("check"), QStringLiteral("Report what is wrong with an archive, changing nothing."),
          QStringLiteral("Read every entry and report what is wrong, changing nothing: data past the end "
                         "of the data file, overlapping entries, a version 2 directory running into entry "
                         "data, duplicate names, names without a terminating zero or not UTF-8, "
                         "unreadable data. Exit status 1 when problems are found."),
          {ArchivePositional()}, 1, 1, ArchiveSession::Access::Read, Progress::Bar)
{
    AddOption(QuietOption());
}

int CheckCommand::RunOn(ArchiveSession &session, ProgressPrinter &progress)
{
    ArchiveChecker checker(session.img);
    checker.onEntry = [&progress](int, const QString &name) {
        progress.SetLabel(name);
        progress.Step();
    };
    progress.Start(int(session.img.directory.size()));
    const std::vector<ArchiveProblem> problems = checker.Check();
    progress.Finish();

    const qint64 dataFileBytes = session.img.imgFile.size();
    QString text;
    for (const ArchiveProblem &problem : problems)
        text += EntryReport::Problem(problem, session.img.directory, dataFileBytes) + QLatin1Char('\n');
    const size_t entries = session.img.directory.size();
    text += QStringLiteral("%1 %2 checked, %3 %4 found\n")
                .arg(entries)
                .arg(QLatin1String(entries == 1 ? "entry" : "entries"))
                .arg(problems.size())
                .arg(QLatin1String(problems.size() == 1 ? "problem" : "problems"));
    Console::Out(text);
    return problems.empty() ? ExitOk : ExitFailed;
}
