#include "archive/ArchiveChecker.h"

#include "archive/IMGClass.h"
#include "archive/format/EntryNameRules.h"
#include "archive/io/ArchiveIO.h"

#include <algorithm>
#include <unordered_map>

namespace {

// Entry data is read in pieces of at most this many bytes.
constexpr qint64 kReadPiece = 1024 * 1024;

struct Range
{
    qint64 begin;
    qint64 end;
    int entry;
};

qint64 EntryBegin(const IMGDirectoryEntry &e)
{
    return SectorToBytes(e.offset);
}

qint64 EntryEnd(const IMGDirectoryEntry &e)
{
    return SectorToBytes(e.offset) + qint64(e.size) * SECTOR_SIZE;
}

// Bytes covered by the union of the ranges, clipped to [0, limit); the ranges
// are sorted by their beginning. `skip`, when not null, is left out.
qint64 CoveredBytes(const std::vector<Range> &ranges, qint64 limit, const Range *skip = nullptr)
{
    qint64 covered = 0;
    qint64 reach = 0;
    for (const Range &r : ranges) {
        if (&r == skip)
            continue;
        const qint64 begin = std::max(r.begin, reach);
        const qint64 end = std::min(r.end, limit);
        if (end > begin)
            covered += end - begin;
        reach = std::max(reach, std::min(r.end, limit));
    }
    return covered;
}

void SortByBeginning(std::vector<Range> &ranges)
{
    const auto earlier = [](const Range &a, const Range &b) { return a.begin < b.begin; };
    // A stock archive lists its entries in the order of their data: nothing to sort.
    if (!std::is_sorted(ranges.begin(), ranges.end(), earlier))
        std::sort(ranges.begin(), ranges.end(), earlier);
}

} // namespace

ArchiveChecker::ArchiveChecker(IMGClass &archive)
    : ArchiveChecker(archive.directory, archive.imgFile, archive.version)
{
}

ArchiveChecker::ArchiveChecker(const std::vector<IMGDirectoryEntryWrap> &directory, QFile &imgFile,
                               int version)
    : directory(directory)
    , imgFile(imgFile)
    , version(version)
{
}

std::vector<ArchiveProblem> ArchiveChecker::Check()
{
    std::vector<ArchiveProblem> problems;
    CheckNames(problems);
    CheckPlacement(problems);
    CheckData(problems);
    SortProblems(problems);
    return problems;
}

void ArchiveChecker::SortProblems(std::vector<ArchiveProblem> &problems)
{
    std::stable_sort(problems.begin(), problems.end(), [](const ArchiveProblem &a, const ArchiveProblem &b) {
        return a.entry != b.entry ? a.entry < b.entry : int(a.kind) < int(b.kind);
    });
}

std::vector<ArchiveProblem> ArchiveChecker::CheckStrict()
{
    std::vector<ArchiveProblem> problems = Check();
    CheckContent(problems);
    CheckOrder(problems);
    SortProblems(problems);
    return problems;
}

void ArchiveChecker::CheckContent(std::vector<ArchiveProblem> &problems)
{
    if (!DetectEntryTypes(imgFile, directory, contentTypes)) {
        contentTypes.assign(directory.size(), ContentType());
        return; // the entries that cannot be read are reported by CheckData
    }
    for (size_t i = 0; i < directory.size(); ++i) {
        const ContentType &type = contentTypes[i];
        const QString name = EntryName(directory[i].entry);
        const int dot = name.lastIndexOf(QLatin1Char('.'));
        const QString extension = dot < 0 ? QString() : name.mid(dot + 1).toLower();
        using K = ContentType::Kind;
        const bool isRw = type.kind == K::RenderWare;
        const bool mismatch =
            (extension == QLatin1String("dff") && !(isRw && type.chunkType == RW_CHUNK_CLUMP)) ||
            (extension == QLatin1String("txd") && !(isRw && type.chunkType == RW_CHUNK_TEXTURE_DICTIONARY)) ||
            (extension == QLatin1String("col") && type.kind != K::Collision) ||
            (extension == QLatin1String("ifp") && type.kind != K::Animation);
        if (mismatch)
            problems.push_back({ArchiveProblem::Kind::ContentMismatch, int(i), -1});
        if (isRw && type.chunkRunsPastEntry)
            problems.push_back({ArchiveProblem::Kind::ChunkPastEntry, int(i), -1});
    }
}

void ArchiveChecker::CheckOrder(std::vector<ArchiveProblem> &problems) const
{
    // Entries of size 0 hold no data: they have no place in either order.
    int previous = -1;
    std::vector<Range> placed;
    for (size_t i = 0; i < directory.size(); ++i) {
        const IMGDirectoryEntry &e = directory[i].entry;
        if (e.size == 0)
            continue;
        if (previous >= 0 && e.offset < directory[size_t(previous)].entry.offset)
            problems.push_back({ArchiveProblem::Kind::OutOfDirectoryOrder, int(i), previous});
        previous = int(i);
        placed.push_back({EntryBegin(e), EntryEnd(e), int(i)});
    }
    std::sort(placed.begin(), placed.end(), [](const Range &a, const Range &b) {
        return a.begin != b.begin ? a.begin < b.begin : a.entry < b.entry;
    });
    // Room in front of the first entry (a version 2 directory's spare slots) is no gap.
    qint64 reach = -1;
    int reacher = -1;
    for (const Range &r : placed) {
        if (reacher >= 0 && r.begin > reach)
            problems.push_back({ArchiveProblem::Kind::GapBefore, r.entry, reacher});
        if (r.end > reach) {
            reach = r.end;
            reacher = r.entry;
        }
    }
}

void ArchiveChecker::CheckNames(std::vector<ArchiveProblem> &problems) const
{
    // For each hash, the first entry of every distinct name that has it.
    std::unordered_multimap<quint32, int> firstOfName;
    firstOfName.reserve(directory.size());
    for (size_t i = 0; i < directory.size(); ++i) {
        const IMGDirectoryEntry &e = directory[i].entry;
        const int position = int(i);
        const int length = EntryNameLength(e);
        if (length == 0)
            problems.push_back({ArchiveProblem::Kind::EmptyName, position, -1});
        if (length == ENTRY_NAME_FIELD_SIZE)
            problems.push_back({ArchiveProblem::Kind::UnterminatedName, position, -1});
        if (!IsValidUtf8(e.name, length))
            problems.push_back({ArchiveProblem::Kind::InvalidUtf8Name, position, -1});

        const quint32 hash = NameHash(e.name);
        int first = -1;
        const auto range = firstOfName.equal_range(hash);
        for (auto it = range.first; it != range.second && first < 0; ++it) {
            if (SameEntryName(directory[size_t(it->second)].entry, e))
                first = it->second;
        }
        if (first >= 0)
            problems.push_back({ArchiveProblem::Kind::DuplicateName, position, first});
        else
            firstOfName.emplace(hash, position);
    }
}

void ArchiveChecker::CheckPlacement(std::vector<ArchiveProblem> &problems) const
{
    const qint64 fileSectors = BytesToSectors(imgFile.size());
    const qint64 directoryEnd = version == 2 ? DirectoryBytes() : 0;

    // Entries of size 0 occupy nothing, so they can overlap nothing.
    std::vector<Range> occupied;
    for (size_t i = 0; i < directory.size(); ++i) {
        const IMGDirectoryEntry &e = directory[i].entry;
        const int position = int(i);
        // An entry may end inside its last sector when its data ends the file,
        // but every one of its sectors must at least have begun.
        if (qint64(e.offset) + e.size > fileSectors)
            problems.push_back({ArchiveProblem::Kind::DataPastEnd, position, -1});
        if (e.size == 0)
            continue;
        if (EntryBegin(e) < directoryEnd)
            problems.push_back({ArchiveProblem::Kind::DirectoryRunsIntoData, position, -1});
        occupied.push_back({EntryBegin(e), EntryEnd(e), position});
    }

    // One sweep in order of placement: an entry that begins before the farthest
    // end reached so far overlaps the entry that reached it.
    std::sort(occupied.begin(), occupied.end(), [](const Range &a, const Range &b) {
        return a.begin != b.begin ? a.begin < b.begin : a.entry < b.entry;
    });
    qint64 reach = 0;
    int reacher = -1;
    for (const Range &r : occupied) {
        if (reacher >= 0 && r.begin < reach)
            problems.push_back({ArchiveProblem::Kind::Overlap, r.entry, reacher});
        if (r.end > reach) {
            reach = r.end;
            reacher = r.entry;
        }
    }
}

void ArchiveChecker::CheckData(std::vector<ArchiveProblem> &problems)
{
    const qint64 fileSize = imgFile.size();
    for (size_t i = 0; i < directory.size(); ++i) {
        const IMGDirectoryEntry &e = directory[i].entry;
        if (onEntry)
            onEntry(int(i), EntryName(e));
        const qint64 begin = EntryBegin(e);
        const qint64 end = std::min(EntryEnd(e), fileSize);
        bool ok = true;
        for (qint64 at = begin; ok && at < end; at += kReadPiece) {
            const qint64 wanted = std::min(kReadPiece, end - at);
            const QByteArray piece = ArchiveIO::ReadAt(imgFile, at, wanted, &ok);
            ok = ok && piece.size() == wanted;
        }
        if (!ok)
            problems.push_back({ArchiveProblem::Kind::UnreadableData, int(i), -1});
    }
}

qint64 ArchiveChecker::DirectoryBytes() const
{
    const qint64 records = DIRECTORY_RECORD_SIZE * qint64(directory.size());
    return version == 2 ? VER2_HEADER_SIZE + records : records;
}

ArchiveSpace ArchiveChecker::MeasureSpace() const
{
    ArchiveSpace space;
    space.dataFileBytes = imgFile.size();
    space.directoryBytes = DirectoryBytes();

    // The version 2 directory first (it begins at byte 0), then every entry;
    // sorted once for both sums.
    std::vector<Range> ranges;
    ranges.reserve(directory.size() + 1);
    if (version == 2)
        ranges.push_back({0, space.directoryBytes, -1});
    for (size_t i = 0; i < directory.size(); ++i)
        ranges.push_back({EntryBegin(directory[i].entry), EntryEnd(directory[i].entry), int(i)});
    SortByBeginning(ranges);
    const auto directoryRange =
        std::find_if(ranges.begin(), ranges.end(), [](const Range &r) { return r.entry < 0; });
    space.referencedBytes = CoveredBytes(ranges, space.dataFileBytes,
                                         directoryRange != ranges.end() ? &*directoryRange : nullptr);
    space.unreferencedBytes = space.dataFileBytes - CoveredBytes(ranges, space.dataFileBytes);
    return space;
}
