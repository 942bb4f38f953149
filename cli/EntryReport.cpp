#include "cli/EntryReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>

namespace EntryReport {

namespace {

// The stored name for a human: decoded when it is UTF-8, escaped byte by byte otherwise.
QString ShownName(const IMGDirectoryEntry &entry)
{
    const int length = EntryNameLength(entry);
    if (IsValidUtf8(entry.name, length))
        return EntryName(entry);
    QString shown;
    for (int i = 0; i < length; ++i) {
        const uchar c = uchar(entry.name[i]);
        if (c >= 0x20 && c < 0x7F)
            shown += QLatin1Char(char(c));
        else
            shown += QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
    }
    return shown;
}

} // namespace

QString TableLine(const std::vector<IMGDirectoryEntryWrap> &directory, int row,
                  const std::vector<ContentType> *types)
{
    const IMGDirectoryEntry &e = directory[size_t(row)].entry;
    QString line = QStringLiteral("%1\t%2\t%3\t%4")
                       .arg(EntryName(e))
                       .arg(qint64(e.size) * SECTOR_SIZE / 1024)
                       .arg(row)
                       .arg(SectorToBytes(e.offset));
    if (types) {
        const ContentType &type = (*types)[size_t(row)];
        const QString game = type.Game();
        line += QLatin1Char('\t') + type.Name() + QLatin1Char('\t') +
                (game.isEmpty() ? QStringLiteral("-") : game);
    }
    return line + QLatin1Char('\n');
}

QByteArray Json(const std::vector<IMGDirectoryEntryWrap> &directory, const std::vector<int> &rows,
                const std::vector<ContentType> *types)
{
    QJsonArray array;
    for (int row : rows) {
        const IMGDirectoryEntry &e = directory[size_t(row)].entry;
        QJsonObject object;
        object.insert(QStringLiteral("name"), EntryName(e));
        object.insert(QStringLiteral("offset"), qint64(e.offset));
        object.insert(QStringLiteral("size"), int(e.size));
        object.insert(QStringLiteral("reserved"), int(e.reserved));
        object.insert(QStringLiteral("number"), row);
        if (types) {
            const ContentType &type = (*types)[size_t(row)];
            object.insert(QStringLiteral("type"), type.Name());
            object.insert(QStringLiteral("rwVersion"), type.kind == ContentType::Kind::RenderWare
                                                           ? QJsonValue(type.RwVersionText())
                                                           : QJsonValue());
        }
        array.append(object);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

QString Info(int version, size_t entries, const ArchiveSpace &space, int freeDirectorySlots)
{
    QString text = QStringLiteral("version: %1\n"
                                  "entries: %2\n"
                                  "data file bytes: %3\n"
                                  "directory bytes: %4\n"
                                  "bytes referenced by entries: %5\n"
                                  "bytes not referenced: %6\n")
                       .arg(version)
                       .arg(qulonglong(entries))
                       .arg(space.dataFileBytes)
                       .arg(space.directoryBytes)
                       .arg(space.referencedBytes)
                       .arg(space.unreferencedBytes);
    if (version == 2)
        text += QStringLiteral("free directory slots: %1\n").arg(freeDirectorySlots);
    return text;
}

QString TypeCounts(const std::vector<ContentType> &types)
{
    std::map<QString, int> byType;
    std::map<QString, int> byVersion;
    for (const ContentType &type : types) {
        ++byType[type.Name()];
        if (type.kind == ContentType::Kind::RenderWare)
            ++byVersion[type.Game()];
    }
    QString text;
    for (const auto &count : byType)
        text += QStringLiteral("type %1: %2\n").arg(count.first).arg(count.second);
    for (const auto &count : byVersion)
        text += QStringLiteral("RenderWare version %1: %2\n").arg(count.first).arg(count.second);
    return text;
}

QString EntryLabel(const std::vector<IMGDirectoryEntryWrap> &directory, int row)
{
    return QStringLiteral("entry %1 (%2)").arg(row).arg(ShownName(directory[size_t(row)].entry));
}

QString Problem(const ArchiveProblem &problem, const std::vector<IMGDirectoryEntryWrap> &directory,
                qint64 dataFileBytes, const std::vector<ContentType> &types)
{
    const ContentType type =
        size_t(problem.entry) < types.size() ? types[size_t(problem.entry)] : ContentType();
    const QString label = EntryLabel(directory, problem.entry);
    const IMGDirectoryEntry &e = directory[size_t(problem.entry)].entry;
    using Kind = ArchiveProblem::Kind;
    switch (problem.kind) {
    case Kind::DataPastEnd:
        return QStringLiteral("%1: its %2 sectors from byte %3 run past the end of the data file (%4 bytes)")
            .arg(label)
            .arg(e.size)
            .arg(SectorToBytes(e.offset))
            .arg(dataFileBytes);
    case Kind::Overlap:
        return QStringLiteral("%1: its data overlaps the data of %2")
            .arg(label, EntryLabel(directory, problem.other));
    case Kind::DirectoryRunsIntoData:
        return QStringLiteral("%1: the directory runs into its data at byte %2")
            .arg(label)
            .arg(SectorToBytes(e.offset));
    case Kind::DuplicateName:
        return QStringLiteral("%1: same name as %2").arg(label, EntryLabel(directory, problem.other));
    case Kind::EmptyName:
        return QStringLiteral("%1: empty name").arg(label);
    case Kind::UnterminatedName:
        return QStringLiteral("%1: the name has no terminating zero byte").arg(label);
    case Kind::InvalidUtf8Name:
        return QStringLiteral("%1: the name is not valid UTF-8").arg(label);
    case Kind::UnreadableData:
        return QStringLiteral("%1: its data cannot be read").arg(label);
    case Kind::ContentMismatch:
        return QStringLiteral("%1: holds %2, not what its extension says").arg(label, type.Name());
    case Kind::ChunkPastEntry:
        return QStringLiteral(
                   "%1: its RenderWare chunk of %2 bytes runs past the end of the entry (%3 bytes)")
            .arg(label)
            .arg(qint64(type.chunkSize) + CONTENT_HEAD_BYTES)
            .arg(qint64(e.size) * SECTOR_SIZE);
    case Kind::OutOfDirectoryOrder:
        return QStringLiteral("%1: its data lies before the data of %2, listed before it")
            .arg(label, EntryLabel(directory, problem.other));
    case Kind::GapBefore:
        return QStringLiteral("%1: unused sectors lie between the data of %2 and its own")
            .arg(label, EntryLabel(directory, problem.other));
    }
    return label;
}

} // namespace EntryReport
