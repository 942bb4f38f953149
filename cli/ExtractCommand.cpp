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
                         "written and the others are reported, unless --duplicates number is given."),
          {ArchivePositional(),
           {QStringLiteral("[NAME...]"),
            QStringLiteral("Names of the entries to extract (ASCII case ignored)."), Completion::EntryName}},
          1, -1, ArchiveSession::Access::Read, Progress::Bar)
    , outputOption({QStringLiteral("o"), QStringLiteral("output")},
                   QStringLiteral("The folder to write the files into; it must exist."),
                   QStringLiteral("FOLDER"))
    , duplicatesOption(QStringLiteral("duplicates"),
                       QStringLiteral("Entries whose file name an earlier entry has: 'first' writes only "
                                      "the first and reports the others (exit status 1); 'number' writes "
                                      "each further one as STEM~N.EXT, N from 2, a name no entry and no "
                                      "file in the folder has (ASCII case ignored), and prints "
                                      "'NAME -> FILE' for it."),
                       QStringLiteral("first|number"), QStringLiteral("first"))
{
    AddOption(outputOption);
    AddOption(duplicatesOption);
    AddOption(RegexOption());
    AddOption(QuietOption());
}

int ExtractCommand::CheckArguments()
{
    if (!IsSet(outputOption))
        return UsageError(QStringLiteral("extract needs -o FOLDER"));
    if (args.size() > 1 && IsSet(RegexOption()))
        return UsageError(QStringLiteral("give entry names or --regex, not both"));
    const QString duplicates = Value(duplicatesOption);
    if (duplicates != QLatin1String("first") && duplicates != QLatin1String("number"))
        return UsageError(QStringLiteral("--duplicates must be first or number, not '%1'").arg(duplicates));
    numberDuplicates = duplicates == QLatin1String("number");
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

    if (numberDuplicates) {
        std::vector<RenamedExport> renamed;
        progress.Start(int(rows.size()));
        const bool exported = session.img.ExportEntriesNumbered(Value(outputOption), rows, renamed);
        progress.Finish();
        QString text;
        for (const RenamedExport &r : renamed)
            text += QStringLiteral("%1 -> %2\n").arg(EntryName(directory[size_t(r.entry)].entry), r.fileName);
        Console::Out(text);
        return exported && !session.Errors() ? ExitOk : ExitFailed;
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
