#pragma once

#include "cli/ArchiveCommand.h"

// ostrevale-cli add: imports files and the files of folders.
class AddCommand final : public ArchiveCommand
{
public:
    AddCommand();

private:
    int CheckArguments() override;
    // add --from: entries of another archive, all, the named ones or those matching.
    int AddFromArchive(ArchiveSession &session, ProgressPrinter &progress);

    const QCommandLineOption fromOption;
    QStringList files;
    QRegExp pattern;

    int RunOn(ArchiveSession &session, ProgressPrinter &progress) override;
};
