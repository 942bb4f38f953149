#pragma once

#include "archive/format/IMGFormat.h"
#include "archive/io/ArchiveLock.h"

#include <QFile>
#include <QString>

#include <functional>
#include <vector>

// Writes an archive packed without gaps, its entries in directory order, into
// temporaries beside the files it will replace (beside the targets of links,
// named as RebuildTemporaryOf names them), and puts them in their place: a
// rebuild's and a convert's one pipeline. Until Commit renames the data file,
// the files at the targets are untouched; a version 1 pair is committed with its
// two renames directly one after the other (FileReplacement::CommitPair).
class PackedWriter
{
public:
    // What failed, for the caller's message: creating a temporary, reading the
    // source, writing a temporary (`FailedPath()` names it), or putting one in
    // place (`FailedPath()` names the target; `Committed()` says whether the new
    // data file counts already).
    enum class Failure { None, Temporary, Read, Write, Commit };

    // `imgTarget` and `dirTarget` (version 1 only) are the files to replace, links
    // resolved; they need not exist.
    PackedWriter(int version, QString imgTarget, QString dirTarget);
    ~PackedWriter();
    PackedWriter(const PackedWriter &) = delete;
    PackedWriter &operator=(const PackedWriter &) = delete;

    // Copies every entry's sectors from `source` (`dropSource`: its cached pages
    // may go as they are copied), calling `onEntry` before each, writes the
    // directory and syncs. `padded`: sectors the source cut short are written out
    // as zeros, so every entry lies inside the new data file. `offsets` gets the
    // new offset of each entry. False after a failure; nothing is left behind.
    bool Write(QFile &source, bool dropSource, const std::vector<IMGDirectoryEntryWrap> &directory,
               PackedStart start, bool padded, const std::function<void(const IMGDirectoryEntry &)> &onEntry,
               std::vector<quint32> &offsets);
    // Whether Commit renames the new data file over its target (else it is
    // copied into a target with further names): only then may a lock taken on it
    // pass to the archive.
    bool RenamesDataFile() const;
    // Locks the new data file, before Commit, so that the lock passes with it.
    void LockNewDataFile(ArchiveLock &lock) const;
    // Puts the new files in place. False after a failure: when `Committed()`, the
    // next opening for changes completes the rest; else nothing changed and the
    // temporaries are gone.
    bool Commit();

    Failure LastFailure() const { return failure; }
    QString FailedPath() const { return failedPath; }
    bool Committed() const { return dataCommitted; }

private:
    bool Fail(Failure kind, const QString &path);
    void RemoveTemporaries();

    const int version;
    const QString imgTarget;
    const QString dirTarget;
    const QString imgTemp;
    const QString dirTemp;
    QFile newImg;
    QFile newDir;
    Failure failure = Failure::None;
    bool dataCommitted = false;
    QString failedPath;
};
