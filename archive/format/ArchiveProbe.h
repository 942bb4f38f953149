#pragma once

#include <QString>

// What a path given as an archive holds, decided in one place for the engine's
// opening and for the command line: from the first bytes of the data file and
// the files beside it, every link resolved. Looking changes nothing.
//
// A replacement that a stopped process left half way (a rebuild between its
// two renames, a journal of a hard-linked file, see FileReplacement, or of a
// version 2 directory write, see DirectoryJournal) is
// described as the next opening for changes will complete it: `dataFile` and
// `directoryFile` name the files to read for that, and `unfinished` says so.
struct ArchiveProbe
{
    enum Kind {
        Missing,        // nothing at the path (an opening for changes creates an empty archive)
        Unreadable,     // there, but not a file this process can read
        Version1,       // no version 2 header: the data file of a .img/.dir pair
        Version2,       // begins with "VER2"
        Foreign,        // another container of the family ("VER3", "VERF", ...) without a .dir
        OneFileForBoth, // would be a version 1 pair whose .dir is the data file itself
    };

    static ArchiveProbe Of(const QString &path);

    Kind kind = Missing;
    QString imgTarget; // the data file, links resolved
    QString dataFile;  // the file holding the data as it will be (the target or its journal)
    // Version 1 (and Foreign):
    QString dirPath;               // the .dir path formed from the given path (DirPathFor)
    QString dirTarget;             // the .dir, links resolved
    QString directoryFile;         // the file holding the directory as it will be
    QString waitingDirectory;      // the new .dir of a rebuild stopped between its renames, if any
    bool hasDirectory = false;     // the directory file is there
    bool unfinished = false;       // a stopped replacement waits to be completed
    bool directoryJournal = false; // a version 2 directory write waits in its journal (DirectoryJournal)
    // OneFileForBoth: the .img that a .dir given in its place belongs to, when it exists.
    QString pairedImg;
};

// Whether the .dir path formed from `path` is `path` itself (a name ending in
// "dir", in any case) or leaves its folder (a file name shorter than three
// characters): such a file can never be the data file of a version 1 pair.
bool NamesItsOwnDirectory(const QString &path);

// Temporaries beside an archive's files (their targets, links resolved).
QString RebuildTemporaryOf(const QString &target); // a rebuild's new file
QString NextDirectoryOf(const QString &dirTarget); // a version 1 directory being written
