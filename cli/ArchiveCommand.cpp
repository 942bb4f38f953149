#include "cli/ArchiveCommand.h"

#include "cli/Console.h"
#include "cli/EntrySelection.h"
#include "cli/ProgressPrinter.h"

#include <set>
#include <utility>

ArchiveCommand::ArchiveCommand(QString name, QString brief, QString summary,
                               std::vector<Positional> positionals, int minArgs, int maxArgs,
                               ArchiveSession::Access access, Progress progress)
    : Command(std::move(name), std::move(brief), std::move(summary), std::move(positionals), minArgs, maxArgs)
    , access(access)
    , progress(progress)
{
}

int ArchiveCommand::Run()
{
    const int status = CheckArguments();
    if (status != ExitOk)
        return status;
    const std::unique_ptr<ProgressPrinter> bar = progress == Progress::Bar ? MakeProgress() : nullptr;
    ProgressPrinter &printer = bar ? *bar : Silent();
    ArchiveSession session(printer);
    session.notesUnfinishedReplacement = notesUnfinishedReplacement;
    if (!session.Open(archivePath, access))
        return ExitFailed;
    return RunOn(session, printer);
}

Command::Positional ArchiveCommand::ArchivePositional()
{
    return {QStringLiteral("ARCHIVE.img"), QStringLiteral("The archive's .img file."), Completion::Archive};
}

bool ArchiveCommand::SelectNamed(const EntrySelection &selection, const QStringList &names,
                                 std::vector<int> &rows)
{
    std::set<int> chosen;
    bool allKnown = true;
    for (const QString &name : names) {
        const std::vector<int> found = selection.Named(name);
        if (found.empty()) {
            Console::Error(QStringLiteral("no entry named '%1'").arg(name));
            allKnown = false;
        }
        chosen.insert(found.begin(), found.end());
    }
    rows.assign(chosen.begin(), chosen.end());
    return allKnown;
}
