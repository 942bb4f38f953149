#pragma once

#include "archive/format/ContentType.h"
#include "archive/format/IMGFormat.h"

#include <QFile>
#include <QString>

#include <functional>
#include <vector>

class IMGClass;

// One thing wrong with an archive, found without changing it.
struct ArchiveProblem
{
    enum class Kind {
        DataPastEnd,           // the entry's sectors run past the end of the data file
        Overlap,               // the entry's data overlaps the data of `other`
        DirectoryRunsIntoData, // version 2: the directory reaches into the entry's data
        DuplicateName,         // same name as `other` (ASCII case ignored)
        EmptyName,             // the name field begins with its zero byte
        UnterminatedName,      // all 24 name bytes are used, no terminating zero
        InvalidUtf8Name,       // the name bytes are not valid UTF-8
        UnreadableData,        // reading the entry's data failed or came up short
        // Found by CheckStrict only:
        ContentMismatch,     // the content does not match the extension (.dff, .txd, .col, .ifp)
        ChunkPastEntry,      // a RenderWare stream whose first chunk runs past the entry
        OutOfDirectoryOrder, // the data lies before that of `other`, the entry listed before it
        GapBefore,           // unused sectors between the data of `other` and this entry's
    };

    Kind kind;
    int entry = -1; // directory position of the entry concerned
    int other = -1; // the earlier-placed entry of an overlap, the first entry of a duplicate name

    bool operator==(const ArchiveProblem &o) const
    {
        return kind == o.kind && entry == o.entry && other == o.other;
    }
};

// How the bytes of the data file are used.
struct ArchiveSpace
{
    qint64 dataFileBytes = 0;  // length of the .img file
    qint64 directoryBytes = 0; // the records (version 1, in the .dir file), or header and records (version 2)
    qint64 referencedBytes = 0;   // bytes of the data file that at least one entry covers
    qint64 unreferencedBytes = 0; // bytes of the data file used by no entry and not by the directory
};

// Examines an open archive without changing it: the directory against the data
// file, the names, and every entry's bytes, read one bounded piece at a time.
class ArchiveChecker
{
public:
    explicit ArchiveChecker(IMGClass &archive);
    ArchiveChecker(const std::vector<IMGDirectoryEntryWrap> &directory, QFile &imgFile, int version);

    // Called before each entry's data is read, with its position and name.
    std::function<void(int entry, const QString &name)> onEntry;

    // Every problem, ordered by entry and then by kind.
    std::vector<ArchiveProblem> Check();
    // Check's problems, plus what a game may trip over: content that does not
    // match the extension, RenderWare chunks running past their entry, data out
    // of directory order, gaps between entries. Same order.
    std::vector<ArchiveProblem> CheckStrict();
    // The content type of every entry, after CheckStrict.
    const std::vector<ContentType> &ContentTypes() const { return contentTypes; }

    ArchiveSpace MeasureSpace() const;

private:
    void CheckNames(std::vector<ArchiveProblem> &problems) const;
    void CheckPlacement(std::vector<ArchiveProblem> &problems) const;
    void CheckData(std::vector<ArchiveProblem> &problems);
    void CheckContent(std::vector<ArchiveProblem> &problems);
    void CheckOrder(std::vector<ArchiveProblem> &problems) const;
    static void SortProblems(std::vector<ArchiveProblem> &problems);
    qint64 DirectoryBytes() const;

    const std::vector<IMGDirectoryEntryWrap> &directory;
    QFile &imgFile;
    int version;
    std::vector<ContentType> contentTypes;
};
