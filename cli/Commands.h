#pragma once

#include "cli/Command.h"

#include <QString>

#include <memory>
#include <vector>

// The one list of ostrevale-cli's commands. The overview, the shell completion
// and the man page's check all read it; a new command is one line in it.
namespace Commands {

// Every command, in the order the overview lists them.
std::vector<std::unique_ptr<Command>> All();
// The command of that name, or null.
std::unique_ptr<Command> Find(const QString &name);

} // namespace Commands
