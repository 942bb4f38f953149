#pragma once

#include "cli/ArchiveCommand.h"

// ostrevale-cli add: imports files and the files of folders.
class AddCommand final : public ArchiveCommand
{
public:
    AddCommand();

private:
    int CheckArguments() override;

    QStringList files;

    int RunOn(ArchiveSession &session, ProgressPrinter &progress) override;
};
