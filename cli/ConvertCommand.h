#pragma once

#include "cli/ArchiveCommand.h"

// ostrevale-cli convert: a new archive of either version with the entries of another.
class ConvertCommand final : public ArchiveCommand
{
public:
    ConvertCommand();

private:
    int CheckArguments() override;
    int RunOn(ArchiveSession &session, ProgressPrinter &progress) override;

    const QCommandLineOption versionOption;
    const QCommandLineOption forceOption;
    int version = 0;
};
