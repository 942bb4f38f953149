#include "cli/AddCommand.h"

#include "archive/io/FolderFiles.h"
#include "cli/Console.h"
#include "cli/EntrySelection.h"
#include "cli/ProgressPrinter.h"

#include <QDir>
#include <QFileInfo>

AddCommand::AddCommand()
    : ArchiveCommand(
          QStringLiteral("add"),
          QStringLiteral("Import files, the files of folders, or another archive's entries."),
          QStringLiteral("Import files, or with --from the entries of another archive (all, the named "
                         "ones, or those matching --regex). A file or entry whose name an entry already has "
                         "(ASCII case ignored) replaces that entry; the others are added at the end. Entries "
                         "are copied file to file, inside the kernel where the system can; the other archive "
                         "is only read."),
          {ArchivePositional(),
           {QStringLiteral("PATH..."),
            QStringLiteral("Files to import; a folder stands for the plain files directly inside it (no "
                           "hidden files, no subfolders), in name order ignoring case. With --from: names "
                           "of entries of the other archive (ASCII case ignored)."),
            Completion::Paths}},
          1, -1, ArchiveSession::Access::Change, Progress::Bar)
    , fromOption(QStringLiteral("from"), QStringLiteral("Copy entries of this archive instead of files."),
                 QStringLiteral("OTHER.img"))
{
    AddOption(fromOption);
    AddOption(RegexOption());
    AddOption(QuietOption());
}

int AddCommand::CheckArguments()
{
    if (IsSet(fromOption)) {
        if (args.size() > 1 && IsSet(RegexOption()))
            return UsageError(QStringLiteral("give entry names or --regex, not both"));
        int status = ExitOk;
        ParseRegex(pattern, status);
        return status;
    }
    if (IsSet(RegexOption()))
        return UsageError(QStringLiteral("--regex selects entries of --from OTHER.img"));
    if (args.size() < 2)
        return UsageError(QStringLiteral("add needs PATH... or --from OTHER.img"));
    QStringList missing;
    for (const QString &path : args.mid(1)) {
        const QFileInfo info(path);
        if (info.isDir())
            files << CollectFolderFiles(QDir(path));
        else if (info.exists())
            files << path;
        else
            missing << path;
    }
    for (const QString &path : missing)
        Console::Error(QStringLiteral("%1: no such file or folder").arg(path));
    if (!missing.isEmpty())
        return ExitFailed;
    if (files.isEmpty()) {
        Console::Error(QStringLiteral("没有文件可以导入"));
        return ExitFailed;
    }
    return ExitOk;
}

int AddCommand::RunOn(ArchiveSession &session, ProgressPrinter &progress)
{
    if (IsSet(fromOption))
        return AddFromArchive(session, progress);
    progress.Start(files.size());
    session.img.ImportFiles(files);
    progress.Finish();
    return session.Errors() ? ExitFailed : ExitOk;
}

int AddCommand::AddFromArchive(ArchiveSession &session, ProgressPrinter &progress)
{
    ArchiveSession source(Silent());
    if (!source.Open(Value(fromOption), ArchiveSession::Access::Read))
        return ExitFailed;
    const EntrySelection selection(source.img);
    std::vector<int> rows;
    // Every named entry must be there before anything changes.
    if (args.size() > 1) {
        if (!SelectNamed(selection, args.mid(1), rows))
            return ExitFailed;
    } else {
        rows = IsSet(RegexOption()) ? selection.Matching(pattern) : selection.All();
    }
    progress.Start(int(rows.size()));
    session.img.ImportEntriesFrom(source.img, rows);
    progress.Finish();
    return session.Errors() || source.Errors() ? ExitFailed : ExitOk;
}
