#pragma once

#include "archive/DirectoryRoom.h"
#include "archive/format/ContentType.h"
#include "archive/format/EntryNameIndex.h"
#include "archive/format/IMGFormat.h"
#include "archive/io/ArchiveLock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QModelIndexList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <initializer_list>
#include <vector>

class OwnFiles;
class PackedWriter;
class QDir;
class QIODevice;

// What differs between two archives, as directory positions: entries only in
// the first (`removed`), only in the second (`added`), and paired entries whose
// sectors differ (`changed`, positions in the first).
struct ArchiveDifference
{
    std::vector<int> removed;
    std::vector<int> added;
    std::vector<int> changed;
    bool Same() const { return removed.empty() && added.empty() && changed.empty(); }
};

// An entry that an export wrote under another file name than its own.
struct RenamedExport
{
    int entry = -1;
    QString fileName;
};
struct ArchiveProbe;

// The archive object: holds one open archive, its files and its directory, and
// performs every operation on it. It never talks to the user; progress, new
// directories and errors leave it only through its signals, so the window and
// the command-line tool are two thin clients of the same engine.
//
// The contract, for every client:
// - Operations run to their end before they return; every change is on the disk
//   (synced) when they do, and a failure leaves the archive as it was or as the
//   next opening for changes completes it, never half changed.
// - Long operations call the caller's event loop (QCoreApplication::processEvents,
//   user input excluded) at most every 16 ms, so a window repaints; a client may
//   not start another operation on this object from those events.
// - A failed operation says why through ErrorOccoured (one emission per failure)
//   and LastError(); the void operations are judged by LastError().isEmpty().
// - Operations on a closed object (version 0) do nothing; changing operations on
//   an archive opened read-only emit "IMG文件 … 以只读方式打开，不能修改".
class IMGClass : public QObject
{
    Q_OBJECT

public:
    explicit IMGClass(QObject *parent = nullptr);
    ~IMGClass() override;

    // --- Lifecycle ---

    // OpenForChanges locks the archive for as long as it is open (a second
    // opener for changes is refused with "IMG文件 … 正被另一个程序使用") and
    // completes a replacement that a stopped process left half way. Given a path
    // where nothing is, it creates an empty version 1 archive there (the window's
    // 新建), as it does a missing .dir beside a data file. OpenExisting is the same
    // but never creates: a missing path or a data file without its .dir fails
    // with "打开 … 失败", and OpenFailure() tells which. OpenReadOnly takes no
    // lock, writes nothing, never creates, and refuses every changing operation;
    // it reads a half-done replacement as the next opening for changes will
    // complete it (ReadsUnfinishedReplacement). A failed opening leaves the
    // object closed. Opening announces the directory (IMGDirectoryChanged).
    enum OpenMode { OpenForChanges, OpenReadOnly, OpenExisting };
    // Why the last opening failed, where it is the path's own doing.
    enum class OpenFailure { None, Missing, NoDirectory, Other };

    [[nodiscard]] bool OpenArchive(const QString &path);
    [[nodiscard]] bool OpenArchive(const QString &path, OpenMode mode);
    OpenFailure LastOpenFailure() const { return openFailure; }
    // Releases the files and the lock and announces an empty directory.
    void CloseArchive();
    // Makes an empty archive at `path` (version 1: the .img and its .dir),
    // replacing what stood there; it does not open it (call OpenArchive next).
    // Refused over an archive that another opener holds.
    [[nodiscard]] bool CreateArchive(const QString &path, int version);
    // The path given to OpenArchive (links not resolved).
    QString ImgFileName() const;
    bool IsReadOnly() const { return readOnly; }
    // After a read-only opening: a rebuild or directory write had stopped half way,
    // and the archive was read as the next opening for changes will complete it.
    bool ReadsUnfinishedReplacement() const { return unfinishedReplacement; }

    // --- Operations ---
    // Progress: each emits IncreaseProgressBar once per step named here, after
    // the step's label signal, so a client sizes its bar before it calls.

    // One step per path, in order (label: ImportingFileFullPath); a name that an
    // entry has (ASCII case ignored) replaces that entry. Stops at the first failure.
    void ImportFiles(const QStringList &paths);
    // One step per row (label: ExportingFileName); overwrites files of the same
    // names in `folder`, never one of the archive's own files.
    void ExportEntries(const QString &folder, const QModelIndexList &rows);
    void DeleteEntries(const QModelIndexList &rows);
    // The same, with entries named by their directory positions (the rows of the table's model).
    void ExportEntries(const QString &folder, const std::vector<int> &rows);
    // No progress steps; positions out of range are ignored.
    void DeleteEntries(const std::vector<int> &rows);
    // Packs the archive anew without gaps (version 1 data from sector 1). One step
    // per entry (label: RebuildingFileName). Leaves the files closed, also after
    // a failure (the directory stays, in the new layout once the data file is
    // committed): the client reopens the archive (OpenArchive) to go on.
    void Rebuild();
    // Gives entry `row` a new name under the import's name rules; false after an
    // error. No progress steps.
    [[nodiscard]] bool RenameEntry(int row, const QString &newName);

    // Writes the whole directory; false when a step failed (the caller reports it).
    bool WriteVER1Directory(QFile &file);
    bool WriteVER2Directory(QFile &file);

    // The content type of every entry, from its first bytes, read in the order of
    // the data; one step per entry (no label). False after an error.
    [[nodiscard]] bool DetectContentTypes(std::vector<ContentType> &types);
    // Pairs this archive's entries with `other`'s by name and compares their
    // sectors; each archive is read once, in the order of its data, with one
    // progress step for every entry of this archive (no label). False after an error.
    [[nodiscard]] bool CompareWith(const IMGClass &other, ArchiveDifference &difference);
    // Writes a copy of this archive as a new archive of `newVersion` at `path`,
    // entries packed in directory order (version 1 data from sector 0); this
    // archive is only read and stays open. An existing target is replaced only
    // when `replaceExisting`. One step per entry (label: RebuildingFileName).
    // False after an error.
    [[nodiscard]] bool ConvertTo(const QString &path, int newVersion, bool replaceExisting);
    // Copies the given entries of `source` (another archive, open in any mode)
    // into this archive under the import's rules; one step per entry (label:
    // ImportingFileFullPath with the entry's name). Names the import could not
    // take refuse the whole copy before anything is written.
    void ImportEntriesFrom(const IMGClass &source, const std::vector<int> &entries);
    // Exports the entries into `folder`; a further entry of a file name already
    // written goes to a numbered name (STEM~2.EXT) that is no entry's name and no
    // existing file's, listed in `renamed`. One step per entry (label:
    // ExportingFileName). False after an error.
    [[nodiscard]] bool ExportEntriesNumbered(const QString &folder, const std::vector<int> &entries,
                                             std::vector<RenamedExport> &renamed);
    // Writes entry `position`'s bytes, as an export writes them, to `out`
    // (`outName` names it in an error). One step (label: ExportingFileName).
    // False after an error.
    [[nodiscard]] bool WriteEntryTo(int position, QIODevice &out, const QString &outName);

    // --- Lookups ---

    // Position of the first entry with the same name (ASCII case ignored), or -1.
    int FindEntry(const QByteArray &utf8Name) const;
    // Positions of every entry with that name (ASCII case ignored), in directory order.
    std::vector<int> FindEntries(const QByteArray &utf8Name) const;
    // The entry name as a file name of its own inside an output folder ("" when there is none).
    static QString ExportFileName(const QString &name);

    // --- State ---

    // The message of the last failure (the pieces of its ErrorOccoured joined),
    // empty when the last operation succeeded. Every public operation clears it
    // as it begins.
    QString LastError() const { return lastError; }

    // The open files and the directory. Read-only for clients: the operations
    // keep the name index in step with `directory`, and a client that changed it
    // would leave lookups wrong; a client's copy comes with IMGDirectoryChanged.
    QFile imgFile;
    QFile dirFile;
    std::vector<IMGDirectoryEntryWrap> directory;
    int version = 0;
    int freeDirectorySlots = 0;

    // --- Signals ---
signals:
    // One step of a long operation done (see each operation for its steps).
    void IncreaseProgressBar();
    // The label of the step that follows: a file's path, an entry's name.
    void ImportingFileFullPath(QString path);
    void ExportingFileName(QString name);
    void RebuildingFileName(QString name);
    // A copy of the directory after opening, closing and every change (only
    // built when something is connected).
    void IMGDirectoryChanged(std::vector<IMGDirectoryEntryWrap> newData);
    // A failure, as pieces of one message (texts and the paths or names between
    // them). The pieces live only during the emission: a slot that keeps them
    // joins or copies them, and a queued connection cannot carry them.
    void ErrorOccoured(std::initializer_list<QString> args);

private:
    static std::vector<int> RowPositions(const QModelIndexList &rows);

    void UpdateFreeDirectorySlots();
    // Every public operation begins here: the last error is forgotten.
    void BeginOperation() { lastError.clear(); }

    bool OpenVER1Directory(const ArchiveProbe &format);
    // A failed opening: no files, no lock, no directory.
    void CloseFiles();
    // True (after saying so) when the archive is open read-only and may not change.
    bool RefusesChanges();
    void ReportFileInUse(const QString &path);
    void ReportOneFileForBoth(const QString &path, const QString &pairedImg);

    bool ReadDirectory(QFile &file, qint64 position, quint32 count);
    // Decodes `count` records from bytes already read; false when they are too few.
    bool DecodeDirectory(const QByteArray &records, quint32 count);
    // Writes the directory to the archive's own files; false when a step failed.
    bool WriteDirectoryBack();
    // Version 1: the new directory file replaces the old one in a single rename.
    bool ReplaceVER1Directory();
    QString DirectoryFileName() const;
    void ReportWriteFailure(const QString &path);
    void ReportPackingFailure(const PackedWriter &writer);
    // One step of a long operation: its label through `label` (none when null),
    // one IncreaseProgressBar, and the caller's events, at most every 16 ms.
    void Step(void (IMGClass::*label)(QString), const QString &text);
    // Hands a copy of the directory to whoever listens (no copy when nobody does).
    void AnnounceDirectory();

    // Index from name hash to directory positions, kept in step with `directory`.
    void RebuildNameIndex();
    void AppendEntry(const IMGDirectoryEntryWrap &wrap);
    void RemoveLastEntry();
    int FindEntry(const IMGDirectoryEntry &entry, quint32 hash) const;

    // Editing: the directory as it stands on disk is kept in `committedDirectory`
    // until the changed one is written, so a failed write can fall back to it.
    void BeginDirectoryChange();
    bool CommitDirectoryChange(bool dataWritten, QString *failedPath);
    void RestoreCommittedDirectory();
    bool ImportOne(const QByteArray &utf8Name, const QByteArray &data, bool *dataWritten);
    // Places a new entry of `bytes` bytes under the import's rules; `writeData`
    // puts its bytes at the given position of the data file.
    bool ImportEntry(const QByteArray &utf8Name, qint64 bytes, const std::function<bool(qint64)> &writeData,
                     bool *dataWritten);
    // Writes the directory after an import (if anything was touched) and reports the first failure.
    void FinishImport(bool touched, bool dataWritten, QString what, QString subject, QString outcome);
    // Writes one entry as `fileName` in `out`, never onto the archive's own files;
    // an existing file there is replaced only when `mayReplace`.
    bool ExportEntryAs(const QDir &out, const IMGDirectoryEntry &entry, const QString &fileName,
                       const OwnFiles &ownFiles, QByteArray &buffer, bool mayReplace);

    // The path given to OpenArchive, and the files it names with every link resolved:
    // replacements and temporaries go to the targets, never over a link.
    QString archivePath;
    QString imgTarget;
    QString dirTarget;
    bool readOnly = false;
    bool unfinishedReplacement = false;
    OpenFailure openFailure = OpenFailure::None;
    QString lastError;
    QElapsedTimer sinceEvents; // since the last step let the caller's events run
    ArchiveLock lock;

    EntryNameIndex nameIndex;
    std::vector<IMGDirectoryEntryWrap> committedDirectory;
    int committedFreeSlots = 0;
    // Version 2: keeps the directory ending before the lowest entry data.
    DirectoryRoom room{imgFile,
                       imgTarget,
                       directory,
                       committedDirectory,
                       freeDirectorySlots,
                       [this] { AnnounceDirectory(); }};
};
