#pragma once

// Small archives written byte by byte, independent of the engine's own writers,
// so that tests check the engine against the format rather than against itself.

#include "archive/format/IMGFormat.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

#include <vector>

namespace Fixtures {

struct Record
{
    quint32 offset = 0;
    quint16 size = 0;
    QByteArray name; // raw bytes of the name field, at most 24
    quint16 reserved = 0;
};

inline QByteArray LE32(quint32 v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((v >> (8 * i)) & 0xFF);
    return b;
}

inline QByteArray LE16(quint16 v)
{
    QByteArray b(2, '\0');
    b[0] = char(v & 0xFF);
    b[1] = char(v >> 8);
    return b;
}

inline QByteArray RecordBytes(const Record &r)
{
    QByteArray name = r.name.left(24);
    name.append(QByteArray(24 - name.size(), '\0'));
    return LE32(r.offset) + LE16(r.size) + LE16(r.reserved) + name;
}

inline QByteArray DirectoryBytes(const std::vector<Record> &records)
{
    QByteArray out;
    for (const Record &r : records)
        out += RecordBytes(r);
    return out;
}

inline QByteArray Ver2Header(const std::vector<Record> &records)
{
    return QByteArray("VER2") + LE32(quint32(records.size())) + DirectoryBytes(records);
}

// Recognisable content for an entry: each byte depends on the seed and the position.
inline QByteArray Pattern(int seed, qint64 length)
{
    QByteArray b(int(length), '\0');
    for (int i = 0; i < b.size(); ++i)
        b[i] = char((seed * 131 + i * 7 + (i >> 11)) & 0xFF);
    return b;
}

inline bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Places `data` at sector `offset` of `img`, growing it with zero bytes as needed.
inline void PutData(QByteArray &img, quint32 offset, const QByteArray &data)
{
    const qint64 at = qint64(offset) * SECTOR_SIZE;
    if (img.size() < at + data.size())
        img.append(QByteArray(int(at + data.size() - img.size()), '\0'));
    img.replace(int(at), data.size(), data);
}

// A version 1 pair whose entry i holds Pattern(i, size × 2048) at its offset.
inline bool WriteVer1(const QString &imgPath, const std::vector<Record> &records)
{
    QByteArray img;
    for (size_t i = 0; i < records.size(); ++i)
        PutData(img, records[i].offset, Pattern(int(i), qint64(records[i].size) * SECTOR_SIZE));
    return WriteFile(imgPath, img) && WriteFile(DirPathFor(imgPath), DirectoryBytes(records));
}

// A version 2 archive whose entry i holds Pattern(i, size × 2048) at its offset.
inline bool WriteVer2(const QString &imgPath, const std::vector<Record> &records)
{
    QByteArray img = Ver2Header(records);
    for (size_t i = 0; i < records.size(); ++i)
        PutData(img, records[i].offset, Pattern(int(i), qint64(records[i].size) * SECTOR_SIZE));
    return WriteFile(imgPath, img);
}

// A version 2 archive whose header is written over the data: an entry placed under
// the directory (a broken archive) then holds the header's bytes, as on disk.
inline bool WriteVer2HeaderOverData(const QString &imgPath, const std::vector<Record> &records)
{
    QByteArray img;
    for (size_t i = 0; i < records.size(); ++i)
        PutData(img, records[i].offset, Pattern(int(i), qint64(records[i].size) * SECTOR_SIZE));
    const QByteArray header = Ver2Header(records);
    if (img.size() < header.size())
        img.append(QByteArray(header.size() - img.size(), '\0'));
    img.replace(0, header.size(), header);
    return WriteFile(imgPath, img);
}

// Records read straight from the files, for comparing with what the engine wrote.
inline std::vector<Record> ReadRecords(const QString &imgPath, int version)
{
    std::vector<Record> out;
    QByteArray bytes;
    if (version == 1) {
        bytes = ReadFile(DirPathFor(imgPath));
    } else {
        const QByteArray img = ReadFile(imgPath);
        const quint32 count = ReadUInt32LE(img.constData() + 4);
        bytes = img.mid(VER2_HEADER_SIZE, int(count * DIRECTORY_RECORD_SIZE));
    }
    for (int at = 0; at + DIRECTORY_RECORD_SIZE <= bytes.size(); at += int(DIRECTORY_RECORD_SIZE)) {
        const IMGDirectoryEntry e = DecodeEntry(bytes.constData() + at);
        out.push_back({e.offset, e.size, QByteArray(e.name, EntryNameLength(e)), e.reserved});
    }
    return out;
}

// The directory an engine would hold for these records, for feeding views directly.
inline std::vector<IMGDirectoryEntryWrap> ToDirectory(const std::vector<Record> &records)
{
    std::vector<IMGDirectoryEntryWrap> out;
    for (const Record &r : records) {
        IMGDirectoryEntryWrap w;
        const QByteArray bytes = RecordBytes(r);
        w.entry = DecodeEntry(bytes.constData());
        w.nameHash = NameHash(w.entry.name);
        out.push_back(w);
    }
    return out;
}

// The bytes an entry covers in the data file (fewer when the file ends inside it).
inline QByteArray EntryData(const QByteArray &img, const Record &r)
{
    return img.mid(int(qint64(r.offset) * SECTOR_SIZE), int(r.size) * int(SECTOR_SIZE));
}

// What an entry must hold: its name, its size in sectors and the bytes it was
// made from. The entry's data must begin with `content`; any further bytes up
// to size × 2048 are the unwritten rest of its last sector and read as zero.
struct Expected
{
    QByteArray name;
    quint16 size = 0;
    QByteArray content;
};
using Contents = std::vector<Expected>;

// An entry made by importing a file with this name and content.
inline Expected Imported(const QByteArray &name, const QByteArray &content)
{
    return {name, quint16(BytesToSectors(content.size())), content};
}

// Every entry of an archive as it reads now, straight from the files.
inline Contents Snapshot(const QString &imgPath, int version)
{
    const QByteArray img = ReadFile(imgPath);
    Contents out;
    for (const Record &r : ReadRecords(imgPath, version))
        out.push_back({r.name, r.size, EntryData(img, r)});
    return out;
}

// Checks an archive on disk against the expected entries, in directory order.
// Also checks that a version 2 directory lies before every entry's data.
// Returns an empty string when everything matches, else the first difference.
inline QString VerifyContents(const QString &imgPath, int version, const Contents &expected)
{
    const QByteArray img = ReadFile(imgPath);
    const std::vector<Record> records = ReadRecords(imgPath, version);
    if (records.size() != expected.size())
        return QStringLiteral("%1 entries, expected %2").arg(records.size()).arg(expected.size());
    const qint64 directoryEnd = VER2_HEADER_SIZE + DIRECTORY_RECORD_SIZE * qint64(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        const Record &r = records[i];
        const Expected &e = expected[i];
        const QString where = QStringLiteral("entry %1 (%2): ").arg(i).arg(QString::fromUtf8(r.name));
        if (r.name != e.name)
            return where + QStringLiteral("name, expected %1").arg(QString::fromUtf8(e.name));
        if (r.size != e.size)
            return where + QStringLiteral("size %1, expected %2").arg(r.size).arg(e.size);
        if (version == 2 && qint64(r.offset) * SECTOR_SIZE < directoryEnd)
            return where + QStringLiteral("offset %1 lies under the directory").arg(r.offset);
        const QByteArray data = EntryData(img, r);
        if (!data.startsWith(e.content))
            return where + QStringLiteral("data differs");
        if (data.mid(e.content.size()).count('\0') != data.size() - e.content.size())
            return where + QStringLiteral("stray bytes after the content");
    }
    return QString();
}

// The table of a test that runs once per archive version: the int column
// "version" and the rows "version 1" and "version 2".
inline void AddVersionRows()
{
    QTest::addColumn<int>("version");
    QTest::newRow("version 1") << 1;
    QTest::newRow("version 2") << 2;
}

} // namespace Fixtures
