#pragma once

#include "cli/Command.h"

// ostrevale-cli diff: what changed between two archives, with cmp's exit statuses.
class DiffCommand final : public Command
{
public:
    DiffCommand();

private:
    int Run() override;

    const QCommandLineOption jsonOption;
};
