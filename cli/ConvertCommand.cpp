#include "cli/ConvertCommand.h"

#include "cli/ProgressPrinter.h"

ConvertCommand::ConvertCommand()
    : ArchiveCommand(
          QStringLiteral("convert"), QStringLiteral("Write a copy of an archive as version 1 or 2."),
          QStringLiteral("Write a new archive with the entries of ARCHIVE.img in its directory order, names "
                         "and reserved fields kept, every entry's sectors byte for byte, packed without "
                         "gaps (version 1 from sector 0; version 2 behind its directory, as a rebuild lays "
                         "it out). The source is only read. The new files are written beside the target "
                         "and renamed into place at the end, so an interrupted convert leaves no half "
                         "archive. The same version in and out gives a compacted copy."),
          {ArchivePositional(),
           {QStringLiteral("NEW.img"),
            QStringLiteral("Path of the new .img file; version 1 also writes the .dir beside it."),
            Completion::Archive}},
          2, 2, ArchiveSession::Access::Read, Progress::Bar)
    , versionOption(QStringLiteral("version"),
                    QStringLiteral("Version of the new archive: 1 (.img and .dir) or 2 (one .img)."),
                    QStringLiteral("1|2"))
    , forceOption(QStringLiteral("force"), QStringLiteral("Replace an existing archive at NEW.img."))
{
    AddOption(versionOption);
    AddOption(forceOption);
    AddOption(QuietOption());
}

int ConvertCommand::CheckArguments()
{
    if (!IsSet(versionOption))
        return UsageError(QStringLiteral("convert needs --version 1 or --version 2"));
    const QString versionText = Value(versionOption);
    if (versionText != QLatin1String("1") && versionText != QLatin1String("2"))
        return UsageError(QStringLiteral("--version must be 1 or 2, not '%1'").arg(versionText));
    version = versionText.toInt();
    return ExitOk;
}

int ConvertCommand::RunOn(ArchiveSession &session, ProgressPrinter &progress)
{
    progress.Start(int(session.img.directory.size()));
    const bool converted = session.img.ConvertTo(args.at(1), version, IsSet(forceOption));
    progress.Finish();
    return converted && !session.Errors() ? ExitOk : ExitFailed;
}
