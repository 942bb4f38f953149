#pragma once

#include "cli/ArchiveCommand.h"

// ostrevale-cli check: reports what is wrong with an archive, changing nothing.
class CheckCommand final : public ArchiveCommand
{
public:
    CheckCommand();

private:
    int RunOn(ArchiveSession &session, ProgressPrinter &progress) override;
};
