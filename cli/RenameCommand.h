#pragma once

#include "cli/ArchiveCommand.h"

// ostrevale-cli rename: gives an entry a new name.
class RenameCommand final : public ArchiveCommand
{
public:
    RenameCommand();

private:
    int RunOn(ArchiveSession &session, ProgressPrinter &progress) override;
};
