#pragma once

#include "cli/ArchiveCommand.h"

// ostrevale-cli rebuild: compacts the archive.
class RebuildCommand final : public ArchiveCommand
{
public:
    RebuildCommand();

private:
    int RunOn(ArchiveSession &session, ProgressPrinter &progress) override;
};
