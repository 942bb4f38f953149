#pragma once

#include "cli/ArchiveCommand.h"

// ostrevale-cli extract: writes entries out as files into a folder.
class ExtractCommand final : public ArchiveCommand
{
public:
    ExtractCommand();

private:
    int CheckArguments() override;

    const QCommandLineOption outputOption;
    const QCommandLineOption duplicatesOption;
    bool numberDuplicates = false;
    QRegExp pattern;

    int RunOn(ArchiveSession &session, ProgressPrinter &progress) override;
};
