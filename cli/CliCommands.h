#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QRegExp>
#include <QStringList>

#include <memory>
#include <vector>

class EntrySelection;
class ProgressPrinter;

// Exit statuses of ostrevale-cli.
enum ExitStatus { ExitOk = 0, ExitFailed = 1, ExitUsage = 2 };

// ostrevale-cli COMMAND ARCHIVE.img [ARGS]: parses one command line and runs
// the command on the engine. Wrong usage is found before any file is touched.
class CliCommands
{
public:
    CliCommands();

    // Runs the command of `arguments` (the program name first) and returns the exit status.
    int Run(const QStringList &arguments);

private:
    struct Command;
    static const std::vector<Command> &Commands();
    static const Command *FindCommand(const QString &name);
    static QString Overview();

    int UsageError(const QString &message) const;
    bool ArgumentCountFits(const Command &command, int count) const;
    // The progress bar of a long command: on stderr when it is a terminal, unless --quiet.
    std::unique_ptr<ProgressPrinter> MakeProgress() const;
    // Reads --regex if given; false (and `status` set) when the pattern is invalid.
    bool ParseRegex(QRegExp &pattern, int &status) const;
    // Every entry of each name; false after reporting the names no entry has.
    static bool SelectNamed(const EntrySelection &selection, const QStringList &names,
                            std::vector<int> &rows);

    int Create();
    int Info();
    int List();
    int Add();
    int Extract();
    int Delete();
    int Rename();
    int Rebuild();
    int Check();

    QCommandLineParser parser;
    const Command *command = nullptr;
    QStringList args; // the positional arguments after the command word
    QString archivePath;

    const QCommandLineOption helpOption;
    const QCommandLineOption quietOption;
    const QCommandLineOption versionOption;
    const QCommandLineOption forceOption;
    const QCommandLineOption regexOption;
    const QCommandLineOption sortOption;
    const QCommandLineOption jsonOption;
    const QCommandLineOption outputOption;
};
