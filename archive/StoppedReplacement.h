#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// What a stopped replacement (a rebuild, convert, directory write or journal
// copy cut off by a kill or a power cut) left at an archive, told from its
// files without changing any: whether the files as they lie are already the
// archive that completing it will leave, and which temporaries only wait to be
// removed. Whoever reads the files directly (a game, another tool, a backup)
// sees them as they lie; this program reads them as they will be.
struct StoppedReplacement
{
    // A file of the archive whose bytes on disk are not yet what completing the
    // replacement makes them, and the file holding what they will be.
    struct Unfinished
    {
        QString file;
        QString pending;
    };

    static StoppedReplacement Of(const QString &path);

    bool FilesAreTheArchive() const { return unfinished.empty(); }

    std::vector<Unfinished> unfinished;
    // Temporaries that are no part of the archive as it lies or as it will be.
    QStringList leftovers;
};
