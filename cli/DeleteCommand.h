#pragma once

#include "cli/ArchiveCommand.h"

// ostrevale-cli delete: removes entries by name.
class DeleteCommand final : public ArchiveCommand
{
public:
    DeleteCommand();

private:
    int RunOn(ArchiveSession &session, ProgressPrinter &progress) override;
};
