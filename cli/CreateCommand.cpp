#include "cli/CreateCommand.h"

#include "cli/ArchiveSession.h"
#include "cli/Console.h"

#include <QFileInfo>

CreateCommand::CreateCommand()
    : Command(
          QStringLiteral("create"), QStringLiteral("Create a new, empty archive of version 1 or 2."),
          QStringLiteral("Create a new, empty archive. An existing archive (its .img, or for version 1 also "
                         "its .dir) is left alone unless --force is given."),
          {{QStringLiteral("ARCHIVE.img"),
            QStringLiteral("Path of the new .img file; version 1 also makes the .dir beside it."),
            Completion::Archive}},
          1, 1)
    , versionOption(QStringLiteral("version"),
                    QStringLiteral("Archive version: 1 (.img and .dir) or 2 (one .img)."),
                    QStringLiteral("1|2"))
    , forceOption(QStringLiteral("force"), QStringLiteral("Replace an existing archive at that path."))
{
    AddOption(versionOption);
    AddOption(forceOption);
}

int CreateCommand::Run()
{
    if (!IsSet(versionOption))
        return UsageError(QStringLiteral("create needs --version 1 or --version 2"));
    const QString versionText = Value(versionOption);
    if (versionText != QLatin1String("1") && versionText != QLatin1String("2"))
        return UsageError(QStringLiteral("--version must be 1 or 2, not '%1'").arg(versionText));
    const int version = versionText.toInt();

    // A script that names an existing archive by mistake must not wipe it.
    if (!IsSet(forceOption)) {
        QStringList existing;
        if (QFileInfo::exists(archivePath))
            existing << archivePath;
        if (version == 1 && QFileInfo::exists(DirPathFor(archivePath)))
            existing << DirPathFor(archivePath);
        for (const QString &path : existing)
            Console::Error(QStringLiteral("%1 already exists; --force replaces it").arg(path));
        if (!existing.isEmpty())
            return ExitFailed;
    }

    ArchiveSession session(Silent());
    if (!session.img.CreateArchive(archivePath, version))
        return ExitFailed;
    // Opened once, as the window opens what it creates: a new version 2 archive
    // thereby gets its whole header sector on disk.
    if (!session.img.OpenArchive(archivePath))
        return ExitFailed;
    session.img.CloseArchive();
    return session.Errors() ? ExitFailed : ExitOk;
}
