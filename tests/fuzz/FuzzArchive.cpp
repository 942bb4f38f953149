#include "FuzzArchive.h"

#include "archive/ArchiveChecker.h"
#include "archive/IMGClass.h"
#include "archive/format/EntryNameRules.h"
#include "archive/io/ArchiveIO.h"
#include "renderware/RenderWareCheck.h"
#include "renderware/RenderWareReader.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// A rebuild writes the new layout as a sparse file; past this size it is skipped,
// so that one input cannot spend seconds copying holes.
constexpr qint64 kMaxRebuiltBytes = 64 * 1024 * 1024;
// Entry data is kept for comparison only while it stays this small in total.
constexpr qint64 kMaxKeptBytes = 8 * 1024 * 1024;
// Comparisons, converts and imports from an archive read or write every sector of
// every entry (holes read as zeros) many times over; past this layout they are skipped.
constexpr qint64 kMaxComparedBytes = 1024 * 1024;

void Require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "FuzzArchive: broken promise: %s\n", what);
        std::abort();
    }
}

// The scratch folder of this process, emptied before every input and removed at exit.
class ScratchFolder
{
public:
    ScratchFolder()
        : path(QDir::temp().filePath(
              QStringLiteral("ostrevale-fuzz-%1").arg(QCoreApplication::applicationPid())))
    {
        QDir(path).removeRecursively();
        QDir().mkpath(path);
    }
    ~ScratchFolder() { QDir(path).removeRecursively(); }
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;

    const QString path;
};

void EmptyFolder(const QString &path)
{
    QDir folder(path);
    for (const QFileInfo &info :
         folder.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (info.isDir() && !info.isSymLink())
            QDir(info.filePath()).removeRecursively();
        else
            QFile::remove(info.filePath());
    }
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString &path, const char *data, qint64 size)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data, size) == size;
}

QByteArray Content(int length)
{
    QByteArray bytes(length, '\0');
    for (int i = 0; i < length; ++i)
        bytes[i] = char((i * 7 + 13) & 0xFF);
    return bytes;
}

// The bytes of every entry as the data file holds them now, or nothing when
// that would be too much to keep.
struct EntryBytes
{
    bool kept = false;
    std::vector<QByteArray> data;
};

EntryBytes ReadEntries(IMGClass &img)
{
    EntryBytes out;
    const qint64 fileSize = img.imgFile.size();
    qint64 total = 0;
    for (const IMGDirectoryEntryWrap &wrap : img.directory) {
        const qint64 start = SectorToBytes(wrap.entry.offset);
        total += qBound<qint64>(0, fileSize - start, qint64(wrap.entry.size) * SECTOR_SIZE);
        if (total > kMaxKeptBytes)
            return out;
    }
    for (const IMGDirectoryEntryWrap &wrap : img.directory) {
        bool ok = false;
        out.data.push_back(ArchiveIO::ReadAt(img.imgFile, SectorToBytes(wrap.entry.offset),
                                             qint64(wrap.entry.size) * SECTOR_SIZE, &ok));
        Require(ok, "entry data can be read");
    }
    out.kept = true;
    return out;
}

// An entry keeps its bytes: the same bytes, or, where its data ran past the end of
// the file, the same bytes followed by whatever was appended later.
bool KeepsBytes(const QByteArray &before, const QByteArray &after, quint16 size)
{
    if (before.size() == qint64(size) * SECTOR_SIZE)
        return after == before;
    return after.startsWith(before);
}

bool SameRecord(const IMGDirectoryEntry &a, const IMGDirectoryEntry &b)
{
    return a.offset == b.offset && a.size == b.size && a.reserved == b.reserved &&
           std::equal(a.name, a.name + ENTRY_NAME_FIELD_SIZE, b.name);
}

// The directory on the disk is the one in memory, and a version 2 directory
// lies before all entry data.
void RequireConsistent(IMGClass &img, const QString &path, const char *after)
{
    IMGClass fresh;
    Require(fresh.OpenArchive(path, IMGClass::OpenReadOnly), after);
    Require(fresh.version == img.version, after);
    Require(fresh.directory.size() == img.directory.size(), after);
    for (size_t i = 0; i < img.directory.size(); ++i)
        Require(SameRecord(fresh.directory[i].entry, img.directory[i].entry), after);
}

void RequireDirectoryBeforeData(const IMGClass &img, const char *what)
{
    if (img.version != 2)
        return;
    const qint64 end = VER2_HEADER_SIZE + DIRECTORY_RECORD_SIZE * qint64(img.directory.size());
    for (const IMGDirectoryEntryWrap &wrap : img.directory)
        Require(SectorToBytes(wrap.entry.offset) >= end, what);
}

// A name that can be used as a plain file name for an import.
bool UsableFileName(const IMGDirectoryEntry &entry)
{
    const QByteArray raw(entry.name, EntryNameLength(entry));
    return CheckEntryName(raw) == EntryNameFault::None && QString::fromUtf8(raw).toUtf8() == raw;
}

// Nothing but the archive, its temporaries-free neighbours and the exported files.
void RequireOnlyKnownFiles(const QString &root, const QSet<QString> &known)
{
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString relative = QDir(root).relativeFilePath(it.next());
        if (relative.startsWith(QLatin1String("out/")))
            Require(!relative.mid(4).contains('/') && it.fileInfo().isFile(), "exports stay in the folder");
        else
            Require(known.contains(relative), "no stray files beside the archive");
    }
}

// ---- The operations added since the first target: strict check, content types,
// numbered export, WriteEntryTo, CompareWith, ConvertTo and ImportEntriesFrom.

// The errors one archive reports while this lives.
class Heard
{
public:
    explicit Heard(IMGClass &archive)
        : connection(QObject::connect(&archive, &IMGClass::ErrorOccoured,
                                      [this](std::initializer_list<QString> pieces) {
                                          QString joined;
                                          for (const QString &piece : pieces)
                                              joined += piece;
                                          list << joined;
                                      }))
    {
    }
    ~Heard() { QObject::disconnect(connection); }
    Heard(const Heard &) = delete;
    Heard &operator=(const Heard &) = delete;

    QStringList list;

private:
    QMetaObject::Connection connection;
};

bool CopyFile(const QString &from, const QString &to)
{
    QFile::remove(to);
    return !QFileInfo::exists(from) || QFile::copy(from, to);
}

// The bytes an entry's sectors hold that lie inside the data file.
qint64 BytesInside(const IMGDirectoryEntry &e, qint64 fileSize)
{
    return qBound<qint64>(0, fileSize - SectorToBytes(e.offset), qint64(e.size) * SECTOR_SIZE);
}

qint64 LayoutBytes(const IMGClass &img)
{
    qint64 layout = 0;
    for (const IMGDirectoryEntryWrap &wrap : img.directory)
        layout += qint64(wrap.entry.size) * SECTOR_SIZE;
    return layout;
}

// What the import takes: every name by the entry-name rules.
bool ImportableNames(const IMGClass &img)
{
    for (const IMGDirectoryEntryWrap &wrap : img.directory) {
        if (CheckEntryName(QByteArray(wrap.entry.name, EntryNameLength(wrap.entry))) != EntryNameFault::None)
            return false;
    }
    return true;
}

// Number of distinct names (ASCII case ignored).
int DistinctNames(const IMGClass &img)
{
    int distinct = 0;
    for (size_t i = 0; i < img.directory.size(); ++i) {
        const IMGDirectoryEntry &e = img.directory[i].entry;
        if (img.FindEntry(QByteArray(e.name, EntryNameLength(e))) == int(i))
            ++distinct;
    }
    return distinct;
}

bool Compare(IMGClass &a, const IMGClass &b, ArchiveDifference &difference, QStringList &errors)
{
    errors.clear();
    const bool ok = a.CompareWith(b, difference);
    Require(ok == errors.isEmpty(), "a comparison fails with a message or succeeds without one");
    return ok;
}

void RequireSame(IMGClass &a, IMGClass &b, QStringList &errorsA, QStringList &errorsB, const char *what)
{
    ArchiveDifference difference;
    Require(Compare(a, b, difference, errorsA) && difference.Same(), what);
    Require(Compare(b, a, difference, errorsB) && difference.Same(), what);
}

// Every entry through the RenderWare reader, as a dictionary and as a model,
// and the reader's part of the strict check over the whole archive.
void ReadRenderWare(IMGClass &img)
{
    const qint64 imgSize = img.imgFile.size();
    for (int i = 0; i < int(img.directory.size()); ++i) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        if (!img.WriteEntryTo(i, buffer, QStringLiteral("buffer")))
            continue;
        const RenderWareReader::Summary summary = RenderWareReader::ReadEverything(buffer.data());
        Require(summary.decoded <= summary.textures, "no more textures decoded than read");
    }
    ArchiveChecker checker(img);
    checker.CheckStrict();
    const int count = int(img.directory.size());
    for (const RenderWareProblem &problem : RenderWareCheck(img).Check(checker.ContentTypes()))
        Require(problem.entry >= 0 && problem.entry < count && !problem.message.isEmpty(),
                "every reader problem names an entry and says what");
    Require(img.imgFile.size() == imgSize, "reading textures changes nothing");
}

void StrictCheckAndTypes(IMGClass &img, const std::vector<ArchiveProblem> &plain)
{
    const int count = int(img.directory.size());
    ArchiveChecker checker(img);
    const std::vector<ArchiveProblem> strict = checker.CheckStrict();
    for (const ArchiveProblem &problem : plain)
        Require(std::find(strict.begin(), strict.end(), problem) != strict.end(),
                "the strict check finds what the check finds");
    for (size_t i = 0; i < strict.size(); ++i) {
        const ArchiveProblem &p = strict[i];
        Require(p.entry >= 0 && p.entry < count && p.other < count, "every strict problem names entries");
        if (i > 0)
            Require(strict[i - 1].entry < p.entry ||
                        (strict[i - 1].entry == p.entry && int(strict[i - 1].kind) <= int(p.kind)),
                    "strict problems are ordered by entry and kind");
        if (p.kind == ArchiveProblem::Kind::OutOfDirectoryOrder || p.kind == ArchiveProblem::Kind::GapBefore)
            Require(p.other >= 0 && p.other != p.entry, "an order problem names the other entry");
    }
    const std::vector<ContentType> &fromChecker = checker.ContentTypes();
    Require(fromChecker.size() == size_t(count), "the strict check types every entry");

    std::vector<ContentType> types;
    Heard heard_errors(img);
    QStringList &errors = heard_errors.list;
    const qint64 imgSize = img.imgFile.size();
    Require(img.DetectContentTypes(types) && errors.isEmpty(), "content types can be detected");
    Require(types.size() == size_t(count), "every entry has a content type");
    for (size_t i = 0; i < types.size(); ++i)
        Require(types[i].kind == fromChecker[i].kind && types[i].magic == fromChecker[i].magic &&
                    types[i].chunkType == fromChecker[i].chunkType &&
                    types[i].chunkSize == fromChecker[i].chunkSize &&
                    types[i].libraryId == fromChecker[i].libraryId &&
                    types[i].chunkRunsPastEntry == fromChecker[i].chunkRunsPastEntry,
                "the checker and the detection agree on the content types");
    Require(img.imgFile.size() == imgSize, "detecting types changes nothing");
}

// Numbered export of (at most 64 of) the entries, and entry 0 once more: every
// file lies in the folder, no two entries share one, and each holds what
// WriteEntryTo writes for its entry.
void NumberedExportAndWriteEntryTo(IMGClass &img, const QString &folder, QStringList &errors)
{
    const int count = int(img.directory.size());
    if (count == 0) {
        QBuffer none;
        none.open(QIODevice::WriteOnly);
        Require(!img.WriteEntryTo(0, none, QStringLiteral("buffer")) && none.data().isEmpty(),
                "no entry, nothing written");
        return;
    }
    const qint64 fileSize = img.imgFile.size();
    std::vector<int> entries;
    int unnamed = -1;
    qint64 total = 0;
    for (int i = 0; i < count && entries.size() < 64; ++i) {
        if (IMGClass::ExportFileName(EntryName(img.directory[size_t(i)].entry)).isEmpty()) {
            if (unnamed < 0)
                unnamed = i;
            continue;
        }
        total += BytesInside(img.directory[size_t(i)].entry, fileSize);
        entries.push_back(i);
    }
    if (total > kMaxKeptBytes / 2)
        return;
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    if (!entries.empty())
        entries.push_back(entries.front());

    std::vector<RenamedExport> renamed;
    errors.clear();
    const QByteArray imgBefore = ReadFile(img.imgFile.fileName());
    Require(img.ExportEntriesNumbered(folder, entries, renamed) && errors.isEmpty(),
            "a numbered export of named entries succeeds");
    Require(ReadFile(img.imgFile.fileName()) == imgBefore, "a numbered export changes nothing");

    // Which file each entry went to, as the export promises.
    QSet<QString> takenFolded;
    for (const IMGDirectoryEntryWrap &wrap : img.directory)
        takenFolded.insert(FoldedAsciiCase(IMGClass::ExportFileName(EntryName(wrap.entry))));
    QSet<QString> written;
    std::vector<QString> files;
    size_t next = 0;
    for (const int position : entries) {
        QString name = IMGClass::ExportFileName(EntryName(img.directory[size_t(position)].entry));
        if (written.contains(FoldedAsciiCase(name))) {
            Require(next < renamed.size() && renamed[next].entry == position,
                    "every numbered file is listed");
            name = renamed[next++].fileName;
            Require(!takenFolded.contains(FoldedAsciiCase(name)), "a numbered name is no entry's file name");
            Require(!name.contains('/') && name != QLatin1String(".") && name != QLatin1String(".."),
                    "a numbered name is a plain file name");
        }
        Require(!written.contains(FoldedAsciiCase(name)), "no two entries share a file");
        written.insert(FoldedAsciiCase(name));
        files.push_back(name);
    }
    Require(next == renamed.size(), "only numbered files are listed");
    const QStringList present =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    Require(present.size() == int(files.size()), "one file for every exported entry");
    for (size_t k = 0; k < files.size(); ++k) {
        const QFileInfo info(QDir(folder).filePath(files[k]));
        Require(info.isFile() && !info.isSymLink() &&
                    QDir(folder).absolutePath() == info.absoluteDir().absolutePath(),
                "every exported file lies inside the folder");
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        errors.clear();
        Require(img.WriteEntryTo(entries[k], buffer, QStringLiteral("buffer")) && errors.isEmpty(),
                "an entry can be written to a buffer");
        Require(buffer.data() == ReadFile(info.filePath()), "WriteEntryTo writes what an export writes");
    }
    if (unnamed >= 0) {
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        errors.clear();
        Require(!img.ExportEntriesNumbered(folder, {unnamed}, renamed) && errors.size() == 1,
                "an entry without a file name is refused with one message");
        Require(QDir(folder)
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                    .isEmpty(),
                "a refused export writes nothing");
    }
    QBuffer none;
    none.open(QIODevice::WriteOnly);
    Require(!img.WriteEntryTo(-1, none, QStringLiteral("buffer")) &&
                !img.WriteEntryTo(count, none, QStringLiteral("buffer")) && none.data().isEmpty(),
            "no entry out of range is written");
    QDir(folder).removeRecursively();
}

// The input against itself, and against a copy with one byte of one entry changed.
void CompareWithSelfAndMutated(IMGClass &img, const QString &root, const QString &path, uint8_t options)
{
    Heard heard_errors(img);
    QStringList &errors = heard_errors.list;
    if (LayoutBytes(img) > kMaxComparedBytes)
        return;
    ArchiveDifference difference;
    Require(Compare(img, img, difference, errors) && difference.Same(), "an archive equals itself");
    {
        IMGClass again;
        Heard heard_otherErrors(again);
        QStringList &otherErrors = heard_otherErrors.list;
        Require(again.OpenArchive(path, IMGClass::OpenReadOnly), "an open archive opens read-only as well");
        RequireSame(img, again, errors, otherErrors, "an archive equals its second opening");
    }

    const int count = int(img.directory.size());
    const qint64 fileSize = img.imgFile.size();
    const qint64 dirEnd = img.version == 2 ? VER2_HEADER_SIZE + DIRECTORY_RECORD_SIZE * qint64(count) : 0;
    int victim = -1;
    qint64 at = -1;
    for (int k = 0; k < count && victim < 0; ++k) {
        const int i = (k + (options >> 2)) % count;
        const IMGDirectoryEntry &e = img.directory[size_t(i)].entry;
        const qint64 begin = std::max(SectorToBytes(e.offset), dirEnd);
        if (e.size > 0 && begin < SectorToBytes(e.offset) + BytesInside(e, fileSize)) {
            victim = i;
            at = begin;
        }
    }
    if (victim >= 0) {
        const QString mutated = root + QStringLiteral("/m.img");
        Require(CopyFile(path, mutated) && CopyFile(DirPathFor(path), DirPathFor(mutated)),
                "the archive is copied");
        QByteArray bytes = ReadFile(mutated);
        bytes[int(at)] = char(bytes[int(at)] ^ 0x5A);
        Require(WriteFile(mutated, bytes.constData(), bytes.size()), "the copy is changed");
        {
            IMGClass other;
            Heard heard_otherErrors(other);
            QStringList &otherErrors = heard_otherErrors.list;
            Require(other.OpenArchive(mutated, IMGClass::OpenReadOnly), "the changed copy opens");
            Require(other.directory.size() == img.directory.size(), "the changed copy has every entry");
            for (int pass = 0; pass < 2; ++pass) {
                IMGClass &a = pass == 0 ? img : other;
                IMGClass &b = pass == 0 ? other : img;
                Require(Compare(a, b, difference, pass == 0 ? errors : otherErrors),
                        "the copy can be compared");
                Require(difference.removed.empty() && difference.added.empty(),
                        "a changed byte pairs every entry");
                Require(std::find(difference.changed.begin(), difference.changed.end(), victim) !=
                            difference.changed.end(),
                        "the entry of the changed byte differs");
                for (const int j : difference.changed) {
                    const IMGDirectoryEntry &e = img.directory[size_t(j)].entry;
                    Require(SectorToBytes(e.offset) <= at &&
                                at < SectorToBytes(e.offset) + qint64(e.size) * SECTOR_SIZE,
                            "only entries holding the changed byte differ");
                }
            }
        }
        QFile::remove(mutated);
        QFile::remove(DirPathFor(mutated));
    }
}

// What a converted archive must be: of the new version, every entry in the same
// order with the same name and size, packed (no overlap, nothing past the end,
// no gap, directory order), and equal to its source. Name and content findings
// of the source survive a convert.
void RequireConverted(IMGClass &source, const QString &target, int newVersion, IMGClass &converted)
{
    Heard heard_errors(source);
    QStringList &errors = heard_errors.list;
    Heard heard_convertedErrors(converted);
    QStringList &convertedErrors = heard_convertedErrors.list;
    Require(source.ConvertTo(target, newVersion, false) && errors.isEmpty(), "a convert succeeds");
    Require(!QFileInfo::exists(target + QStringLiteral(".rebuilding")) &&
                !QFileInfo::exists(DirPathFor(target) + QStringLiteral(".rebuilding")),
            "a convert leaves no temporary behind");
    errors.clear();
    Require(!source.ConvertTo(target, newVersion, false) && errors.size() == 1,
            "a convert does not replace an existing archive unasked");
    Require(converted.OpenArchive(target, IMGClass::OpenReadOnly) && convertedErrors.isEmpty(),
            "a converted archive opens");
    Require(converted.version == newVersion, "a converted archive has the new version");
    Require(converted.directory.size() == source.directory.size(), "a convert keeps every entry");
    for (size_t i = 0; i < source.directory.size(); ++i)
        Require(SameEntryName(source.directory[i].entry, converted.directory[i].entry) &&
                    std::equal(source.directory[i].entry.name,
                               source.directory[i].entry.name + ENTRY_NAME_FIELD_SIZE,
                               converted.directory[i].entry.name) &&
                    source.directory[i].entry.size == converted.directory[i].entry.size,
                "a convert keeps names, sizes and order");
    RequireDirectoryBeforeData(converted, "a converted version 2 directory lies before the data");
    for (const ArchiveProblem &problem : ArchiveChecker(converted).CheckStrict()) {
        using K = ArchiveProblem::Kind;
        Require(problem.kind != K::Overlap && problem.kind != K::DirectoryRunsIntoData &&
                    problem.kind != K::DataPastEnd && problem.kind != K::UnreadableData &&
                    problem.kind != K::OutOfDirectoryOrder && problem.kind != K::GapBefore,
                "a converted archive is packed, inside its file and in directory order");
    }
    RequireSame(source, converted, errors, convertedErrors, "a converted archive equals its source");
}

void ConvertBothWays(IMGClass &img, const QString &root)
{
    if (LayoutBytes(img) > kMaxComparedBytes)
        return;
    const int other = 3 - img.version;
    IMGClass converted;
    RequireConverted(img, root + QStringLiteral("/c.img"), other, converted);
    IMGClass back;
    RequireConverted(converted, root + QStringLiteral("/d.img"), img.version, back);
    Heard heard_errors(img);
    QStringList &errors = heard_errors.list;
    Heard heard_backErrors(back);
    QStringList &backErrors = heard_backErrors.list;
    RequireSame(img, back, errors, backErrors, "an archive converted there and back equals its source");
}

// Importing every entry of `source` into `target`: refused as a whole for names
// the import does not take; otherwise one entry for every distinct name, equal to
// the source when its names are distinct.
void RequireImportedFrom(IMGClass &target, IMGClass &source, const QString &targetPath, size_t countBefore,
                         bool namesTaken)
{
    Heard heard_errors(target);
    QStringList &errors = heard_errors.list;
    Heard heard_sourceErrors(source);
    QStringList &sourceErrors = heard_sourceErrors.list;
    std::vector<int> all(source.directory.size());
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = int(i);
    const std::vector<IMGDirectoryEntryWrap> old = target.directory;
    target.ImportEntriesFrom(source, all);
    RequireConsistent(target, targetPath,
                      "the directory on the disk matches after an import from an archive");
    const bool importable = ImportableNames(source);
    if (!importable || all.empty()) {
        Require(errors.size() == (all.empty() ? 0 : 1),
                "names the import does not take are refused with one message");
        Require(target.directory.size() == old.size(), "a refused import from an archive adds nothing");
        for (size_t i = 0; i < old.size(); ++i)
            Require(SameRecord(old[i].entry, target.directory[i].entry),
                    "a refused import from an archive changes nothing");
    } else {
        Require(errors.isEmpty(), "an import from an archive succeeds");
        RequireDirectoryBeforeData(
            target, "a version 2 directory lies before the data after an import from an archive");
        Require(target.directory.size() ==
                    (namesTaken ? countBefore : countBefore + size_t(DistinctNames(source))),
                "an import from an archive adds one entry for every new name");
        if (DistinctNames(source) == int(source.directory.size()))
            RequireSame(target, source, errors, sourceErrors,
                        "an archive imported from one of distinct names equals it");
    }
}

void ImportFromArchive(IMGClass &img, const QString &root, const QString &path)
{
    const qint64 fileSize = img.imgFile.size();
    if (LayoutBytes(img) > kMaxComparedBytes)
        return;
    Heard heard_errors(img);
    QStringList &errors = heard_errors.list;
    std::vector<int> all(img.directory.size());
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = int(i);
    const QByteArray imgBefore = fileSize <= kMaxKeptBytes ? ReadFile(path) : QByteArray();
    const std::vector<IMGDirectoryEntryWrap> old = img.directory;
    // A source may not be the archive itself, as this object or opened once more.
    img.ImportEntriesFrom(img, all);
    Require(errors.size() == (all.empty() ? 0 : 1), "an archive is refused as its own source");
    {
        IMGClass again;
        Require(again.OpenArchive(path, IMGClass::OpenReadOnly), "an open archive opens read-only as well");
        errors.clear();
        img.ImportEntriesFrom(again, all);
        Require(errors.size() == (all.empty() ? 0 : 1),
                "the archive opened once more is refused as its own source");
    }
    Require(img.directory.size() == old.size(), "a refused source adds nothing");
    for (size_t i = 0; i < old.size(); ++i)
        Require(SameRecord(old[i].entry, img.directory[i].entry), "a refused source changes nothing");
    Require(fileSize > kMaxKeptBytes || ReadFile(path) == imgBefore,
            "a refused source leaves the file as it was");

    // Into a fresh archive of the other version.
    {
        const QString fresh = root + QStringLiteral("/f.img");
        IMGClass target;
        Require(target.CreateArchive(fresh, 3 - img.version) && target.OpenArchive(fresh),
                "a fresh archive is created");
        RequireImportedFrom(target, img, fresh, 0, false);
    }
    // Into a copy of the input: every name is there already and is replaced in place.
    {
        const QString copy = root + QStringLiteral("/b.img");
        Require(CopyFile(path, copy) && CopyFile(DirPathFor(path), DirPathFor(copy)),
                "the archive is copied");
        IMGClass target;
        Require(target.OpenArchive(copy) && target.directory.size() == img.directory.size(),
                "the copy opens");
        RequireImportedFrom(target, img, copy, img.directory.size(), true);
    }
}

} // namespace

int FuzzArchiveInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    const uint8_t options = data[0];
    const int importLength = data[1] * 61;
    const size_t dirLength = std::min<size_t>(size_t(data[2]) | (size_t(data[3]) << 8), size - 4);
    const char *dirBytes = reinterpret_cast<const char *>(data + 4);
    const char *imgBytes = dirBytes + dirLength;
    const size_t imgLength = size - 4 - dirLength;

    static const ScratchFolder scratch;
    const QString &root = scratch.path;
    EmptyFolder(root);
    QDir(root).mkdir(QStringLiteral("src"));
    QDir(root).mkdir(QStringLiteral("out"));
    const QString path = root + QStringLiteral("/a.img");
    const QString dirPath = root + QStringLiteral("/a.dir");
    Require(WriteFile(path, imgBytes, qint64(imgLength)), "the scratch .img is written");
    const bool hadDir = !(options & 1);
    if (hadDir)
        Require(WriteFile(dirPath, dirBytes, qint64(dirLength)), "the scratch .dir is written");

    IMGClass img;
    QStringList errors;
    QObject::connect(&img, &IMGClass::ErrorOccoured, [&errors](std::initializer_list<QString> pieces) {
        QString joined;
        for (const QString &piece : pieces)
            joined += piece;
        errors << joined;
    });

    // Open and list, as the window does.
    if (!img.OpenArchive(path)) {
        Require(errors.size() == 1 && !errors.first().isEmpty(), "a refused archive says why");
        Require(img.version == 0 && img.directory.empty(), "a refused archive leaves nothing open");
        Require(hadDir || !QFileInfo::exists(dirPath) || imgLength < 4 ||
                    !(imgBytes[0] == 'V' && imgBytes[1] == 'E' && imgBytes[2] == 'R'),
                "a refused foreign archive gets no .dir");
        return 0;
    }
    Require(errors.isEmpty(), "a successful opening reports nothing");
    Require(img.version == 1 || img.version == 2, "an open archive has a version");
    if (img.version == 2)
        Require(VER2_HEADER_SIZE + DIRECTORY_RECORD_SIZE * qint64(img.directory.size()) <= img.imgFile.size(),
                "a version 2 directory lies inside its file");
    for (const IMGDirectoryEntryWrap &wrap : img.directory) {
        Require(!EntryName(wrap.entry).isNull(), "every name can be shown");
        Require(wrap.nameHash == NameHash(wrap.entry.name), "every name has its hash");
    }

    // Check, as the command line's check does: it reads every entry and changes nothing.
    std::vector<ArchiveProblem> problems;
    {
        const qint64 imgSize = img.imgFile.size();
        ArchiveChecker checker(img);
        int visited = 0;
        checker.onEntry = [&visited](int, const QString &) { ++visited; };
        problems = checker.Check();
        Require(visited == int(img.directory.size()), "the checker visits every entry");
        for (const ArchiveProblem &problem : problems)
            Require(problem.entry >= 0 && problem.entry < int(img.directory.size()) &&
                        problem.other < int(img.directory.size()),
                    "every problem names entries of the archive");
        const ArchiveSpace space = checker.MeasureSpace();
        Require(space.referencedBytes >= 0 && space.unreferencedBytes >= 0 &&
                    space.referencedBytes + space.unreferencedBytes <= space.dataFileBytes,
                "the space adds up");
        Require(img.imgFile.size() == imgSize, "checking changes nothing");
    }

    // The strict check and the content types, the numbered export and WriteEntryTo,
    // comparisons, converts and imports from an archive, all before anything changes.
    StrictCheckAndTypes(img, problems);
    ReadRenderWare(img);
    NumberedExportAndWriteEntryTo(img, root + QStringLiteral("/num"), errors);
    CompareWithSelfAndMutated(img, root, path, options);
    ConvertBothWays(img, root);
    ImportFromArchive(img, root, path);
    RequireOnlyKnownFiles(root, {QStringLiteral("a.img"), QStringLiteral("a.dir"), QStringLiteral("src"),
                                 QStringLiteral("out"), QStringLiteral("b.img"), QStringLiteral("b.dir"),
                                 QStringLiteral("c.img"), QStringLiteral("c.dir"), QStringLiteral("d.img"),
                                 QStringLiteral("d.dir"), QStringLiteral("f.img"), QStringLiteral("f.dir")});
    for (const char *name : {"b", "c", "d", "f"}) {
        QFile::remove(root + '/' + QLatin1String(name) + QStringLiteral(".img"));
        QFile::remove(root + '/' + QLatin1String(name) + QStringLiteral(".dir"));
    }
    errors.clear();

    QSet<QString> known = {QStringLiteral("a.img"), QStringLiteral("a.dir"), QStringLiteral("src"),
                           QStringLiteral("out"), QStringLiteral("src/fuzz.bin")};
    const int count = int(img.directory.size());

    // Export the first and the last entry; the archive must not change.
    if (count > 0) {
        const bool small = QFileInfo(path).size() <= kMaxKeptBytes;
        const QByteArray imgBefore = small ? ReadFile(path) : QByteArray();
        errors.clear();
        img.ExportEntries(root + QStringLiteral("/out"), {0, count - 1});
        Require(!small || ReadFile(path) == imgBefore, "exporting changes nothing");
        RequireOnlyKnownFiles(root, known);
    }

    // Delete one entry.
    EntryBytes before = ReadEntries(img);
    if (count > 0) {
        const int doomed = (options >> 2) % count;
        std::vector<IMGDirectoryEntryWrap> old = img.directory;
        errors.clear();
        img.DeleteEntries({doomed});
        RequireConsistent(img, path, "the directory on the disk matches after a delete");
        if (errors.isEmpty()) {
            Require(img.directory.size() == size_t(count - 1), "a delete removes one entry");
            RequireDirectoryBeforeData(img, "a version 2 directory lies before the data after a delete");
            old.erase(old.begin() + doomed);
            if (before.kept)
                before.data.erase(before.data.begin() + doomed);
        } else {
            Require(img.directory.size() == size_t(count), "a failed delete keeps every entry");
        }
        EntryBytes after = ReadEntries(img);
        for (size_t i = 0; before.kept && after.kept && i < img.directory.size(); ++i) {
            Require(EntryName(img.directory[i].entry) == EntryName(old[i].entry), "a delete keeps the order");
            Require(KeepsBytes(before.data[i], after.data[i], img.directory[i].entry.size),
                    "a delete keeps the other entries' bytes");
        }
        before = after;
    }

    // Import a small file, and a replacement for the first entry when its name allows.
    QStringList sources = {root + QStringLiteral("/src/fuzz.bin")};
    const QByteArray content = Content(importLength);
    Require(WriteFile(sources.first(), content.constData(), content.size()), "the source is written");
    QByteArray replaced;
    if ((options & 2) && !img.directory.empty() && UsableFileName(img.directory.front().entry)) {
        replaced = QByteArray(img.directory.front().entry.name, EntryNameLength(img.directory.front().entry));
        const QString name = QString::fromUtf8(replaced);
        if (name != QLatin1String("fuzz.bin")) {
            sources << root + QStringLiteral("/src/") + name;
            known << QStringLiteral("src/") + name;
            Require(WriteFile(sources.last(), "replacement", 11), "the replacement is written");
        }
    }
    {
        const std::vector<IMGDirectoryEntryWrap> old = img.directory;
        IMGDirectoryEntry importedProbe;
        SetEntryName(importedProbe, QByteArrayLiteral("fuzz.bin"));
        errors.clear();
        img.ImportFiles(sources);
        RequireConsistent(img, path, "the directory on the disk matches after an import");
        if (errors.isEmpty()) {
            RequireDirectoryBeforeData(img, "a version 2 directory lies before the data after an import");
            const int at = img.FindEntry(QByteArrayLiteral("fuzz.bin"));
            Require(at >= 0, "an imported file has its entry");
            bool ok = false;
            const IMGDirectoryEntry &e = img.directory[size_t(at)].entry;
            const QByteArray stored =
                ArchiveIO::ReadAt(img.imgFile, SectorToBytes(e.offset), qint64(e.size) * SECTOR_SIZE, &ok);
            Require(ok && stored.startsWith(content) &&
                        stored.count('\0') - content.count('\0') == stored.size() - content.size(),
                    "an imported entry holds the file");
        }
        EntryBytes after = ReadEntries(img);
        for (size_t i = 0; before.kept && after.kept && i < old.size() && i < img.directory.size(); ++i) {
            const bool target = SameEntryName(old[i].entry, importedProbe) ||
                                (!replaced.isEmpty() && SameEntryName(old[i].entry, old[0].entry));
            if (!target)
                Require(KeepsBytes(before.data[i], after.data[i], old[i].entry.size),
                        "an import keeps the other entries' bytes");
        }
        before = after;
    }

    // Rename the last entry: only its name changes, or nothing at all.
    if (!img.directory.empty()) {
        const int last = int(img.directory.size()) - 1;
        const std::vector<IMGDirectoryEntryWrap> old = img.directory;
        errors.clear();
        const bool renamed = img.RenameEntry(last, QStringLiteral("renamed.bin"));
        Require(renamed == errors.isEmpty(), "a rename fails with one message or succeeds without one");
        RequireConsistent(img, path, "the directory on the disk matches after a rename");
        Require(img.directory.size() == old.size(), "a rename keeps every entry");
        for (size_t i = 0; i < old.size(); ++i) {
            const IMGDirectoryEntry &now = img.directory[i].entry;
            Require(now.offset == old[i].entry.offset && now.size == old[i].entry.size,
                    "a rename moves no data");
            if (!renamed || int(i) != last)
                Require(SameRecord(now, old[i].entry), "a rename changes one record at most");
        }
        if (renamed)
            Require(EntryName(img.directory[size_t(last)].entry) == QLatin1String("renamed.bin"),
                    "a renamed entry has its new name");
    }

    // Rebuild, when the new layout stays small, and open the result.
    qint64 layout = 0;
    for (const IMGDirectoryEntryWrap &wrap : img.directory)
        layout += qint64(wrap.entry.size) * SECTOR_SIZE;
    if (layout <= kMaxRebuiltBytes) {
        const std::vector<IMGDirectoryEntryWrap> old = img.directory;
        errors.clear();
        img.Rebuild();
        Require(!QFileInfo::exists(path + QStringLiteral(".rebuilding")) &&
                    !QFileInfo::exists(dirPath + QStringLiteral(".rebuilding")),
                "a rebuild leaves no temporary behind");
        img.CloseArchive();
        Require(img.OpenArchive(path), "a rebuilt archive opens");
        Require(img.directory.size() == old.size(), "a rebuild keeps every entry");
        RequireDirectoryBeforeData(img, "a rebuilt version 2 directory lies before the data");
        for (const ArchiveProblem &problem : ArchiveChecker(img).Check())
            Require(problem.kind != ArchiveProblem::Kind::Overlap &&
                        problem.kind != ArchiveProblem::Kind::DirectoryRunsIntoData,
                    "a rebuilt archive has no overlapping data");
        const EntryBytes after = ReadEntries(img);
        for (size_t i = 0; i < old.size(); ++i) {
            Require(SameEntryName(old[i].entry, img.directory[i].entry) &&
                        old[i].entry.size == img.directory[i].entry.size,
                    "a rebuild keeps names, sizes and order");
            if (before.kept && after.kept)
                Require(after.data[i].startsWith(before.data[i]) &&
                            after.data[i].count('\0') - before.data[i].count('\0') ==
                                after.data[i].size() - before.data[i].size(),
                        "a rebuild keeps every entry's bytes");
        }
    }
    RequireOnlyKnownFiles(root, known);
    return 0;
}
