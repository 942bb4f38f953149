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
    QRegExp pattern;

    int RunOn(ArchiveSession &session, ProgressPrinter &progress) override;
};
