#include "cli/Command.h"

#include "cli/Console.h"
#include "cli/ProgressPrinter.h"

#include <cstdio>
#include <utility>

Command::Command(QString name, QString brief, QString summary, std::vector<Positional> positionals,
                 int minArgs, int maxArgs)
    : name(std::move(name))
    , brief(std::move(brief))
    , summary(std::move(summary))
    , positionals(std::move(positionals))
    , minArgs(minArgs)
    , maxArgs(maxArgs)
{
}

Command::~Command() = default;

QCommandLineOption Command::HelpOption()
{
    return QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")},
                              QStringLiteral("Show this help."));
}

QCommandLineOption Command::QuietOption()
{
    return QCommandLineOption({QStringLiteral("q"), QStringLiteral("quiet")},
                              QStringLiteral("Show no progress bar."));
}

QCommandLineOption Command::RegexOption()
{
    return QCommandLineOption(QStringLiteral("regex"),
                              QStringLiteral("Only entries whose name contains a match of this regular "
                                             "expression (case-sensitive, as the window's search box)."),
                              QStringLiteral("RE"));
}

void Command::AddOption(const QCommandLineOption &option)
{
    options << option;
}

bool Command::HasOption(const QCommandLineOption &option) const
{
    for (const QCommandLineOption &own : options) {
        if (own.names() == option.names())
            return true;
    }
    return false;
}

void Command::SetUpParser()
{
    if (parserSetUp)
        return;
    parserSetUp = true;
    parser.setApplicationDescription(summary);
    parser.addPositionalArgument(name, brief, name);
    for (const Positional &p : positionals)
        parser.addPositionalArgument(p.syntax, p.description, p.syntax);
    parser.addOption(HelpOption());
    for (const QCommandLineOption &option : options)
        parser.addOption(option);
}

QString Command::HelpText()
{
    SetUpParser();
    // The parser names the program by the path it was started with; the usage names it plainly.
    QString help = parser.helpText();
    const int optionsAt = help.indexOf(QStringLiteral(" [options]"));
    if (help.startsWith(QStringLiteral("Usage: ")) && optionsAt > 0)
        help.replace(7, optionsAt - 7, QLatin1String(Console::kProgramName));
    return help;
}

int Command::UsageError(const QString &message) const
{
    Console::Error(message);
    Console::Err(QStringLiteral("Try '%1 %2 --help'.\n").arg(QLatin1String(Console::kProgramName), name));
    return ExitUsage;
}

int Command::Execute(const QStringList &arguments)
{
    SetUpParser();
    if (!parser.parse(arguments))
        return UsageError(parser.errorText());
    if (parser.isSet(HelpOption())) {
        Console::Out(HelpText());
        return ExitOk;
    }
    args = parser.positionalArguments().mid(1);
    if (args.size() < minArgs || (maxArgs >= 0 && args.size() > maxArgs)) {
        QString syntax;
        for (const Positional &p : positionals)
            syntax += QLatin1Char(' ') + p.syntax;
        return UsageError(QStringLiteral("wrong number of arguments; usage: %1 %2 [options]%3")
                              .arg(QLatin1String(Console::kProgramName), name, syntax));
    }
    archivePath = args.value(0);
    return Run();
}

bool Command::ParseRegex(QRegExp &pattern, int &status) const
{
    if (!parser.isSet(RegexOption()))
        return true;
    pattern = QRegExp(parser.value(RegexOption()), Qt::CaseSensitive, QRegExp::RegExp);
    if (pattern.isValid())
        return true;
    status = UsageError(QStringLiteral("invalid regular expression '%1': %2")
                            .arg(parser.value(RegexOption()), pattern.errorString()));
    return false;
}

std::unique_ptr<ProgressPrinter> Command::MakeProgress() const
{
    const bool quiet = HasOption(QuietOption()) && parser.isSet(QuietOption());
    return std::make_unique<ProgressPrinter>(stderr, ProgressPrinter::WantedOn(stderr, quiet),
                                             ProgressPrinter::TerminalColumns(stderr));
}

ProgressPrinter &Command::Silent()
{
    static ProgressPrinter none(stderr, false);
    return none;
}
