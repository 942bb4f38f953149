#pragma once

// Entry contents of the kinds an archive holds, built from their documented
// headers, and archives of chosen contents at chosen places.

#include "ArchiveFixtures.h"

namespace Fixtures {

// A RenderWare stream: the 12-byte chunk header (type, size, library ID) and `size` bytes.
inline QByteArray RwChunk(quint32 type, quint32 size, quint32 libraryId, int bodyBytes = -1)
{
    const int body = bodyBytes < 0 ? int(size) : bodyBytes;
    return LE32(type) + LE32(size) + LE32(libraryId) + Pattern(int(type), body);
}

// The packed library ID stamp of version 0xVJNBB, build 0xFFFF.
inline quint32 PackedLibraryId(quint32 version)
{
    return ((version - 0x30000) & 0x3FF00) << 14 | (version & 0x3F) << 16 | 0xFFFF;
}

// A file that begins with a four-byte magic (COLL, ANP3, bnry, ...).
inline QByteArray Magic(const char *magic, int bodyBytes = 100)
{
    return QByteArray(magic, 4) + Pattern(7, bodyBytes);
}

struct Item
{
    QByteArray name;    // raw bytes of the name field
    QByteArray content; // the entry's bytes; the rest of its last sector stays zero
    quint32 offset = 0; // 0: right behind the entry before it
    quint16 size = 0;   // 0: just enough sectors for the content
    quint16 reserved = 0;
};

// An archive of the items, in this directory order; `cutLast` leaves out the
// zero bytes after the content of the entry that ends the file. Gives the
// records written to `records` when asked; true when every file was written.
inline bool WriteArchive(const QString &imgPath, int version, const std::vector<Item> &items,
                         bool cutLast = false, std::vector<Record> *records = nullptr)
{
    std::vector<Record> laidOut;
    quint32 next = version == 1 ? 0 : quint32(BytesToSectors(8 + 32 * qint64(items.size())));
    for (const Item &item : items) {
        Record r;
        r.name = item.name;
        r.reserved = item.reserved;
        r.size = item.size ? item.size : quint16(BytesToSectors(item.content.size()));
        r.offset = item.offset ? item.offset : next;
        next = std::max(next, r.offset + r.size);
        laidOut.push_back(r);
    }
    QByteArray img = version == 2 ? Ver2Header(laidOut) : QByteArray();
    qint64 end = img.size();
    for (size_t i = 0; i < items.size(); ++i) {
        QByteArray data = items[i].content;
        data.append(QByteArray(int(laidOut[i].size * SECTOR_SIZE - data.size()), '\0'));
        PutData(img, laidOut[i].offset, data);
        end = std::max(end, qint64(laidOut[i].offset) * SECTOR_SIZE +
                                (cutLast ? items[i].content.size() : data.size()));
    }
    img.truncate(int(end));
    const bool written =
        WriteFile(imgPath, img) && (version != 1 || WriteFile(DirPathFor(imgPath), DirectoryBytes(laidOut)));
    if (records)
        *records = laidOut;
    return written;
}

// The archive of the records at their places, entry i holding Pattern(i, size × 2048).
inline bool WriteArchive(const QString &imgPath, int version, const std::vector<Record> &records)
{
    std::vector<Item> items;
    for (size_t i = 0; i < records.size(); ++i) {
        const Record &r = records[i];
        items.push_back(
            {r.name, Pattern(int(i), qint64(r.size) * SECTOR_SIZE), r.offset, r.size, r.reserved});
    }
    return WriteArchive(imgPath, version, items);
}

} // namespace Fixtures
