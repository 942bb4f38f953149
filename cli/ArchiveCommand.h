#pragma once

#include "cli/ArchiveSession.h"
#include "cli/Command.h"

class EntrySelection;
class ProgressPrinter;

// A command that works on one existing archive, the first positional argument:
// it checks its own arguments, opens the archive for reading or for changing,
// and then runs on it.
class ArchiveCommand : public Command
{
protected:
    enum class Progress { None, Bar };

    ArchiveCommand(QString name, QString brief, QString summary, std::vector<Positional> positionals,
                   int minArgs, int maxArgs, ArchiveSession::Access access, Progress progress);

    // The first positional argument of every such command.
    static Positional ArchivePositional();
    // Every entry of each name, in directory order; false after reporting the names no entry has.
    static bool SelectNamed(const EntrySelection &selection, const QStringList &names,
                            std::vector<int> &rows);

    // The checks that need no archive; a status other than ExitOk ends the
    // command before the archive is opened.
    virtual int CheckArguments() { return ExitOk; }
    // The command's work on the open archive. `progress` is the bar the
    // session's signals drive (one that prints nothing without Progress::Bar).
    virtual int RunOn(ArchiveSession &session, ProgressPrinter &progress) = 0;

    // Whether opening notes on stderr that a stopped replacement was read as completed.
    bool notesUnfinishedReplacement = true;

private:
    int Run() final;

    const ArchiveSession::Access access;
    const Progress progress;
};
