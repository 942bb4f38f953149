#pragma once

#include "cli/Command.h"

#include <QString>

#include <memory>
#include <vector>

// The bash completion script of ostrevale-cli, written from the list of
// commands: their names, options, option values and positional arguments.
namespace BashCompletion {

QString Script(const std::vector<std::unique_ptr<Command>> &commands);

} // namespace BashCompletion
