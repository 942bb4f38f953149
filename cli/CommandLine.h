#pragma once

#include <QString>
#include <QStringList>

// ostrevale-cli COMMAND ARCHIVE.img [ARGS]: the program's front door. It answers
// the overview and --version itself and hands everything else to the command
// named by the first argument (see cli/Commands.cpp for the list).
class CommandLine
{
public:
    // Runs the command of `arguments` (the program name first) and returns the exit status.
    int Run(const QStringList &arguments);

    // The text of `ostrevale-cli --help`.
    static QString Overview();
};
