#include "cli/ExtractCommand.h"

#include "cli/Console.h"
#include "cli/EntryReport.h"
#include "cli/EntrySelection.h"
#include "cli/ProgressPrinter.h"

#include <algorithm>

ExtractCommand::ExtractCommand()
    : ArchiveCommand(
          QStringLiteral("extract"), QStringLiteral("Write entries out as files into a folder."),
          QStringLiteral("Write entries out as files into a folder: the named entries, those matching "
                         "--regex, or all. Of several entries with the same name only the first is "
                         "written; the others are reported."),
          {ArchivePositional(),
           {QStringLiteral("[NAME...]"),
            QStringLiteral("Names of the entries to extract (ASCII case ignored)."), Completion::EntryName}},
          1, -1, ArchiveSession::Access::Read, Progress::Bar)
    , outputOption({QStringLiteral("o"), QStringLiteral("output")},
                   QStringLiteral("The folder to write the files into; it must exist."),
                   QStringLiteral("FOLDER"))
{
    AddOption(outputOption);
    AddOption(RegexOption());
    AddOption(QuietOption());
}

int ExtractCommand::CheckArguments()
{
    if (!IsSet(outputOption))
        return UsageError(QStringLiteral("extract needs -o FOLDER"));
    if (args.size() > 1 && IsSet(RegexOption()))
        return UsageError(QStringLiteral("give entry names or --regex, not both"));
    int status = ExitOk;
    ParseRegex(pattern, status);
    return status;
}

int ExtractCommand::RunOn(ArchiveSession &session, ProgressPrinter &progress)
{
    const std::vector<IMGDirectoryEntryWrap> &directory = session.img.directory;
    const EntrySelection selection(session.img);
    const QStringList names = args.mid(1);
    std::vector<int> rows;
    if (!names.isEmpty()) {
        if (!SelectNamed(selection, names, rows))
            return ExitFailed;
    } else {
        rows = IsSet(RegexOption()) ? selection.Matching(pattern) : selection.All();
    }

    // Entries of one name would all be written to one file: only the first is.
    const auto namesakes = selection.LaterNamesakes(rows);
    std::vector<char> skipped(directory.size(), 0);
    for (const auto &pair : namesakes)
        skipped[size_t(pair.first)] = 1;
    rows.erase(std::remove_if(rows.begin(), rows.end(), [&](int row) { return skipped[size_t(row)] != 0; }),
               rows.end());

    progress.Start(int(rows.size()));
    session.img.ExportEntries(Value(outputOption), rows);
    progress.Finish();
    for (const auto &pair : namesakes)
        Console::Error(QStringLiteral("%1 not extracted: same name as %2")
                           .arg(EntryReport::EntryLabel(directory, pair.first),
                                EntryReport::EntryLabel(directory, pair.second)));
    return session.Errors() || !namesakes.empty() ? ExitFailed : ExitOk;
}
