#include "cli/AddCommand.h"

#include "archive/FolderFiles.h"
#include "cli/Console.h"
#include "cli/ProgressPrinter.h"

#include <QDir>
#include <QFileInfo>

AddCommand::AddCommand()
    : ArchiveCommand(
          QStringLiteral("add"), QStringLiteral("Import files and the files of folders."),
          QStringLiteral("Import files. A file whose name an entry already has (ASCII case ignored) "
                         "replaces that entry; the others are added at the end."),
          {ArchivePositional(),
           {QStringLiteral("PATH..."),
            QStringLiteral("Files to import; a folder stands for the plain files directly inside it (no "
                           "hidden files, no subfolders), in name order ignoring case."),
            Completion::Paths}},
          2, -1, ArchiveSession::Access::Change, Progress::Bar)
{
    AddOption(QuietOption());
}

int AddCommand::CheckArguments()
{
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
    progress.Start(files.size());
    session.img.ImportFiles(files);
    progress.Finish();
    return session.Errors() ? ExitFailed : ExitOk;
}
