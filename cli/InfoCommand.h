#pragma once

#include "cli/ArchiveCommand.h"

// ostrevale-cli info: the version, the entry count and the use of the data file.
class InfoCommand final : public ArchiveCommand
{
public:
    InfoCommand();

private:
    int RunOn(ArchiveSession &session, ProgressPrinter &progress) override;

    const QCommandLineOption typesOption;
};
