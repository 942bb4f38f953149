#pragma once

#include "cli/ArchiveCommand.h"

// ostrevale-cli cat: one entry's bytes to standard output.
class CatCommand final : public ArchiveCommand
{
public:
    CatCommand();

private:
    int RunOn(ArchiveSession &session, ProgressPrinter &progress) override;
};
