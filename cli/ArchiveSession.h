#pragma once

#include "archive/IMGClass.h"

#include <QString>
#include <QStringList>

class ProgressPrinter;

// The command line's side of the engine: one IMGClass whose signals drive the
// progress bar and print every error, as the window's progress dialog and
// error box do.
class ArchiveSession
{
public:
    explicit ArchiveSession(ProgressPrinter &progress);

    // Read: the archive is opened read-only (no lock, no byte written), for
    // commands that only read it. Change: opened for changes, locked while open.
    enum class Access { Read, Change };

    // Opens an archive that already exists; false after saying why. A missing
    // file is not created, and a file that is neither version 2 nor has its
    // .dir beside it is not taken for an empty version 1 archive.
    bool Open(const QString &path, Access access);

    // Errors reported by the engine so far.
    int Errors() const { return errors; }

    IMGClass img;
    // Whether Open notes on stderr that it read a stopped replacement as completed.
    bool notesUnfinishedReplacement = true;

private:
    ProgressPrinter &progress;
    int errors = 0;
    bool opening = false; // the engine's messages while opening are held in `held`
    QStringList held;
};
