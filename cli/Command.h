#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QRegExp>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class ProgressPrinter;

// Exit statuses of ostrevale-cli.
enum ExitStatus { ExitOk = 0, ExitFailed = 1, ExitUsage = 2 };

// One command of ostrevale-cli: its name, its texts, its positional arguments
// and options, and its run step. The overview, each command's --help, the man
// page and the shell completion are all made from these descriptions.
class Command
{
public:
    // What the shell offers for a positional argument.
    enum class Completion { None, Archive, Paths, EntryName };

    struct Positional
    {
        QString syntax; // as the usage line shows it, e.g. "[NAME...]"
        QString description;
        Completion completion;
    };

    virtual ~Command();

    const QString &Name() const { return name; }
    // One line for the overview.
    const QString &Brief() const { return brief; }
    // The paragraph at the top of the command's --help.
    const QString &Summary() const { return summary; }
    const std::vector<Positional> &Positionals() const { return positionals; }
    // Whether the last positional argument may be given any number of times.
    bool TakesMoreArguments() const { return maxArgs < 0; }
    // The command's options in the order --help lists them (--help itself not included).
    const QList<QCommandLineOption> &Options() const { return options; }
    static QCommandLineOption HelpOption();

    // Runs the command on `arguments` (the program, the command word, then its
    // arguments) and returns the exit status. Wrong usage is found before any
    // file is touched.
    int Execute(const QStringList &arguments);
    // The text of --help.
    QString HelpText();

protected:
    Command(QString name, QString brief, QString summary, std::vector<Positional> positionals, int minArgs,
            int maxArgs);

    // Options are added by the subclass's constructor, in the order --help lists them.
    void AddOption(const QCommandLineOption &option);
    // The step after the command line has been parsed and found complete.
    virtual int Run() = 0;

    int UsageError(const QString &message) const;
    bool IsSet(const QCommandLineOption &option) const { return parser.isSet(option); }
    QString Value(const QCommandLineOption &option) const { return parser.value(option); }

    // The options more than one command takes.
    static QCommandLineOption QuietOption();
    static QCommandLineOption RegexOption();
    // The pattern of --regex, or an invalid one when none is given; false (and
    // `status` set) after reporting a pattern that does not compile.
    bool ParseRegex(QRegExp &pattern, int &status) const;

    // The progress bar of a long command: on stderr when it is a terminal, unless --quiet.
    std::unique_ptr<ProgressPrinter> MakeProgress() const;
    // The progress bar of a command that shows none.
    static ProgressPrinter &Silent();

    QStringList args;    // the positional arguments after the command word
    QString archivePath; // the first of them

private:
    void SetUpParser();
    bool HasOption(const QCommandLineOption &option) const;

    const QString name;
    const QString brief;
    const QString summary;
    const std::vector<Positional> positionals;
    const int minArgs;
    const int maxArgs; // -1: any number
    QList<QCommandLineOption> options;
    QCommandLineParser parser;
    bool parserSetUp = false;
};
