#pragma once

#include "cli/Command.h"

// ostrevale-cli create: a new, empty archive of either version.
class CreateCommand final : public Command
{
public:
    CreateCommand();

private:
    const QCommandLineOption versionOption;
    const QCommandLineOption forceOption;

    int Run() override;
};
