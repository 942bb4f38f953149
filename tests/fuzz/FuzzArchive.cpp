#include "FuzzArchive.h"

#include "archive/ArchiveChecker.h"
#include "archive/io/ArchiveIO.h"
#include "archive/IMGClass.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cstdio>
#include <cstdlib>

namespace {

// A rebuild writes the new layout as a sparse file; past this size it is skipped,
// so that one input cannot spend seconds copying holes.
constexpr qint64 kMaxRebuiltBytes = 64 * 1024 * 1024;
// Entry data is kept for comparison only while it stays this small in total.
constexpr qint64 kMaxKeptBytes = 8 * 1024 * 1024;

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
    const QString name = QString::fromUtf8(raw);
    return !raw.isEmpty() && raw.size() <= MAX_ENTRY_NAME_BYTES && name.toUtf8() == raw &&
           !raw.contains('/') && raw != "." && raw != "..";
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
    {
        const qint64 imgSize = img.imgFile.size();
        ArchiveChecker checker(img);
        int visited = 0;
        checker.onEntry = [&visited](int, const QString &) { ++visited; };
        const std::vector<ArchiveProblem> problems = checker.Check();
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
