#include "cli/CommandLine.h"

#include "cli/BashCompletion.h"
#include "cli/Commands.h"
#include "cli/Console.h"

#include <QCoreApplication>

QString CommandLine::Overview()
{
    QString text =
        QStringLiteral("Usage: %1 COMMAND ARCHIVE.img [ARGS]\n"
                       "Edits IMG game archives of version 1 (a .img data file and a .dir beside it)\n"
                       "and version 2 (one .img beginning with \"VER2\").\n\nCommands:\n")
            .arg(QLatin1String(Console::kProgramName));
    for (const auto &command : Commands::All())
        text += QStringLiteral("  %1 %2\n").arg(command->Name(), -8).arg(command->Brief());
    text += QStringLiteral("\n'%1 COMMAND --help' describes a command and its options.\n"
                           "Exit status: 0 success, 1 an archive or file error, 2 wrong usage.\n")
                .arg(QLatin1String(Console::kProgramName));
    return text;
}

int CommandLine::Run(const QStringList &arguments)
{
    const QString word = arguments.value(1);
    if (word.isEmpty()) {
        Console::Err(Overview());
        return ExitUsage;
    }
    if (word == QLatin1String("-h") || word == QLatin1String("--help") || word == QLatin1String("help")) {
        Console::Out(Overview());
        return ExitOk;
    }
    if (word == QLatin1String("--version")) {
        Console::Out(QStringLiteral("%1 %2\n").arg(QLatin1String(Console::kProgramName),
                                                   QCoreApplication::applicationVersion()));
        return ExitOk;
    }
    // Not in the overview: the build writes the installed completion script with it.
    if (word == QLatin1String("--completion") && arguments.size() == 3 &&
        arguments.at(2) == QLatin1String("bash")) {
        Console::Out(BashCompletion::Script(Commands::All()));
        return ExitOk;
    }
    const std::unique_ptr<Command> command = Commands::Find(word);
    if (!command) {
        Console::Error(QStringLiteral("unknown command '%1'").arg(word));
        Console::Err(QStringLiteral("Try '%1 --help'.\n").arg(QLatin1String(Console::kProgramName)));
        return ExitUsage;
    }
    return command->Execute(arguments);
}
