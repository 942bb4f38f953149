#pragma once

// Checks an archive after an operation: its bytes against the expected entries
// (ArchiveFixtures.h), then a fresh engine object must open it and read the same
// directory that the operating object holds in memory, with the same room.

#include "ArchiveFixtures.h"

#include "archive/IMGClass.h"

inline QString VerifyArchive(const QString &imgPath, int version, const Fixtures::Contents &expected,
                             const IMGClass *engine = nullptr)
{
    const QString problem = Fixtures::VerifyContents(imgPath, version, expected);
    if (!problem.isEmpty())
        return problem;
    const std::vector<Fixtures::Record> records = Fixtures::ReadRecords(imgPath, version);
    if (engine) {
        if (engine->directory.size() != records.size())
            return QStringLiteral("the engine holds %1 entries, the disk %2")
                .arg(engine->directory.size())
                .arg(records.size());
        for (size_t i = 0; i < records.size(); ++i) {
            const IMGDirectoryEntry &e = engine->directory[i].entry;
            const Fixtures::Record &r = records[i];
            if (e.offset != r.offset || e.size != r.size || e.reserved != r.reserved ||
                QByteArray(e.name, EntryNameLength(e)) != r.name ||
                engine->directory[i].nameHash != NameHash(e.name))
                return QStringLiteral("entry %1 in memory differs from the disk").arg(i);
        }
    }
    IMGClass reopened;
    // Read-only: the operating object may still hold the archive open for changes (and locked).
    if (!reopened.OpenArchive(imgPath, IMGClass::OpenReadOnly))
        return QStringLiteral("does not reopen");
    if (reopened.version != version)
        return QStringLiteral("reopens as version %1").arg(reopened.version);
    if (reopened.directory.size() != records.size())
        return QStringLiteral("reopens with %1 entries").arg(reopened.directory.size());
    if (engine && version == 2 && !records.empty() &&
        reopened.freeDirectorySlots != engine->freeDirectorySlots)
        return QStringLiteral("reopens with %1 free directory slots, the engine counted %2")
            .arg(reopened.freeDirectorySlots)
            .arg(engine->freeDirectorySlots);
    return QString();
}
