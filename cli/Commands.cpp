#include "cli/Commands.h"

#include "cli/AddCommand.h"
#include "cli/CatCommand.h"
#include "cli/CheckCommand.h"
#include "cli/ConvertCommand.h"
#include "cli/CreateCommand.h"
#include "cli/DeleteCommand.h"
#include "cli/DiffCommand.h"
#include "cli/ExtractCommand.h"
#include "cli/InfoCommand.h"
#include "cli/ListCommand.h"
#include "cli/RebuildCommand.h"
#include "cli/RenameCommand.h"
#include "cli/TexturesCommand.h"

namespace Commands {

std::vector<std::unique_ptr<Command>> All()
{
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(std::make_unique<CreateCommand>());
    commands.push_back(std::make_unique<InfoCommand>());
    commands.push_back(std::make_unique<ListCommand>());
    commands.push_back(std::make_unique<AddCommand>());
    commands.push_back(std::make_unique<ExtractCommand>());
    commands.push_back(std::make_unique<DeleteCommand>());
    commands.push_back(std::make_unique<RenameCommand>());
    commands.push_back(std::make_unique<RebuildCommand>());
    commands.push_back(std::make_unique<CheckCommand>());
    commands.push_back(std::make_unique<DiffCommand>());
    commands.push_back(std::make_unique<ConvertCommand>());
    commands.push_back(std::make_unique<CatCommand>());
    commands.push_back(std::make_unique<TexturesCommand>());
    return commands;
}

std::unique_ptr<Command> Find(const QString &name)
{
    for (std::unique_ptr<Command> &command : All()) {
        if (command->Name() == name)
            return std::move(command);
    }
    return nullptr;
}

} // namespace Commands
