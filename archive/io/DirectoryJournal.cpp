#include "archive/io/DirectoryJournal.h"

#include "archive/io/ArchiveIO.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

// Magic, position and length, then the bytes, then the SHA-1 of all before it.
const QByteArray kMagic = QByteArrayLiteral("OSTRVJ01");
constexpr int kHeaderSize = 24;
constexpr int kHashSize = 20;
// Far beyond any directory (a hundred thousand entries take 3.2 MB): a longer file is no journal of ours.
constexpr qint64 kMostBytes = qint64(1) << 30;

void PutInt64(QByteArray &out, qint64 value)
{
    for (int i = 0; i < 8; ++i)
        out.append(char((quint64(value) >> (8 * i)) & 0xFF));
}

qint64 GetInt64(const char *bytes)
{
    quint64 value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | quint8(bytes[i]);
    return qint64(value);
}

QByteArray Hash(const char *data, int size)
{
    return QCryptographicHash::hash(QByteArray::fromRawData(data, size), QCryptographicHash::Sha1);
}

} // namespace

namespace DirectoryJournal {

QString PathOf(const QString &imgTarget)
{
    return imgTarget + QStringLiteral(".journal");
}

Pending Read(const QString &imgTarget)
{
    Pending pending;
    QFile file(PathOf(imgTarget));
    if (!QFileInfo(file.fileName()).isFile())
        return pending;
    pending.present = true;
    const qint64 size = file.size();
    if (size < kHeaderSize + kHashSize || size > kMostBytes || !file.open(QIODevice::ReadOnly))
        return pending;
    const QByteArray all = file.readAll();
    const qint64 length = all.size() >= kHeaderSize ? GetInt64(all.constData() + 16) : -1;
    const qint64 position = all.size() >= kHeaderSize ? GetInt64(all.constData() + 8) : -1;
    if (!all.startsWith(kMagic) || length < 0 || position < 0 ||
        all.size() != kHeaderSize + length + kHashSize ||
        Hash(all.constData(), int(kHeaderSize + length)) != all.right(kHashSize))
        return pending;
    pending.complete = true;
    pending.position = position;
    pending.bytes = all.mid(kHeaderSize, int(length));
    return pending;
}

bool WriteAt(QFile &file, const QString &imgTarget, qint64 position, const QByteArray &bytes)
{
    const QString path = PathOf(imgTarget);
    QFile journal;
    if (!ArchiveIO::CreateReplacement(journal, path, imgTarget))
        return ArchiveIO::WriteAt(file, position, bytes) && ArchiveIO::Sync(file);
    QByteArray record;
    record.reserve(kHeaderSize + bytes.size() + kHashSize);
    record.append(kMagic);
    PutInt64(record, position);
    PutInt64(record, bytes.size());
    record.append(bytes);
    record.append(Hash(record.constData(), record.size()));
    const bool journaled = ArchiveIO::Write(journal, record) && ArchiveIO::Sync(journal);
    journal.close();
    if (!journaled) {
        ArchiveIO::RemoveFile(path);
        return false;
    }
    // From here on the write counts: whatever becomes of the bytes in place, the journal has them.
    if (!ArchiveIO::WriteAt(file, position, bytes) || !ArchiveIO::Sync(file))
        return false;
    return ArchiveIO::RemoveFile(path);
}

bool Finish(QFile &file, const QString &imgTarget)
{
    const Pending pending = Read(imgTarget);
    if (!pending.present)
        return true;
    if (pending.complete &&
        (!ArchiveIO::WriteAt(file, pending.position, pending.bytes) || !ArchiveIO::Sync(file)))
        return false;
    return ArchiveIO::RemoveFile(PathOf(imgTarget));
}

QByteArray Overlay(const Pending &pending, qint64 position, QByteArray bytes)
{
    if (!pending.complete)
        return bytes;
    const qint64 from = std::max(position, pending.position);
    const qint64 to = std::min(position + qint64(bytes.size()), pending.End());
    if (from < to)
        std::copy(pending.bytes.constData() + (from - pending.position),
                  pending.bytes.constData() + (to - pending.position), bytes.data() + (from - position));
    return bytes;
}

} // namespace DirectoryJournal
