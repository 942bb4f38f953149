#include "bench/SyntheticArchive.h"

#include "archive/format/IMGFormat.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace SyntheticArchive {

namespace {

const char *const kStems[] = {"gang", "veh",  "lod",   "tree",  "build",  "ped",   "wheel",
                              "road", "shop", "hud",   "ammu",  "bar",    "beach", "vgs",
                              "sfn",  "lae",  "cunte", "rock",  "bridge", "fence", "cars",
                              "bike", "boat", "plane", "train", "water",  "light", "sign"};
const char *const kExtensions[] = {".dff", ".txd", ".col", ".ifp", ".ipl", ".dat"};

// 8 MiB of seeded noise: entry data is a slice of it, so writing is a copy, not arithmetic.
const QByteArray &Pattern()
{
    static const QByteArray pattern = [] {
        QByteArray bytes(8 << 20, Qt::Uninitialized);
        Random random(0x5EED);
        for (int i = 0; i + 8 <= bytes.size(); i += 8) {
            const quint64 v = random.Next();
            std::memcpy(bytes.data() + i, &v, 8);
        }
        return bytes;
    }();
    return pattern;
}

bool WriteAll(int fd, const char *data, qint64 size, qint64 position)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size_t(size), off_t(position));
        if (n <= 0)
            return false;
        data += n;
        size -= n;
        position += n;
    }
    return true;
}

// Writes `size` bytes of pattern for entry `index` at `position`.
bool WriteEntryData(int fd, qint64 position, qint64 size, quint64 index)
{
    const QByteArray &pattern = Pattern();
    const qint64 span = pattern.size() - size;
    const qint64 start = span > 0 ? qint64((index * 7919u * 2048u) % quint64(span)) : 0;
    return WriteAll(fd, pattern.constData() + start, size, position);
}

std::string EntryName(int version, int index, Random &random)
{
    std::string name = kStems[random.Next() % (sizeof kStems / sizeof *kStems)];
    name += std::to_string(index);
    name += kExtensions[random.Next() % (sizeof kExtensions / sizeof *kExtensions)];
    // Version 1 archives mix cases ("gang01.DFF", "Generic.txd"); version 2 ones are lower case.
    if (version == 1 && random.Next() % 8 == 0) {
        for (char &c : name)
            c = char(std::toupper(static_cast<unsigned char>(c)));
    } else if (version == 1 && random.Next() % 8 == 0) {
        name[0] = char(std::toupper(static_cast<unsigned char>(name[0])));
    }
    return name;
}

} // namespace

quint64 Random::Next()
{
    quint64 z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Random::Unit()
{
    return double(Next() >> 11) * (1.0 / 9007199254740992.0);
}

qint64 EntryBytes(Random &random)
{
    // Log-uniform within each band: many small entries, few large ones.
    const bool large = random.Unit() < 0.015;
    const double low = large ? 200e3 : 2e3;
    const double high = large ? double(kLargestEntryBytes) : 200e3;
    return qint64(std::exp(std::log(low) + random.Unit() * (std::log(high) - std::log(low))));
}

bool Write(const QString &imgPath, const Shape &shape, Summary *summary)
{
    Random random(shape.seed);
    const int n = shape.entries;
    std::vector<IMGDirectoryEntry> records(static_cast<size_t>(n));
    std::vector<qint64> bytes(static_cast<size_t>(n));
    const int largestAt = n / 3;
    for (int i = 0; i < n; ++i) {
        bytes[size_t(i)] = i == largestAt ? kLargestEntryBytes : EntryBytes(random);
        SetEntryName(records[size_t(i)], QByteArray::fromStdString(EntryName(shape.version, i, random)));
    }
    if (shape.version == 1) {
        // Stock oddities: 4 empty entries, 11 names that occur twice.
        for (int k = 0; k < 4 && k * 1000 + 17 < n; ++k)
            bytes[size_t(k * 1000 + 17)] = 0;
        for (int k = 0; k < 11 && k * 500 + 300 < n; ++k)
            records[size_t(k * 500 + 300)] = records[size_t(k * 500 + 41)];
    }

    const qint64 directoryBytes = (shape.version == 2 ? VER2_HEADER_SIZE : 0) + DIRECTORY_RECORD_SIZE * n;
    quint32 sector = shape.version == 2 ? BytesToSectors(directoryBytes) : 0;
    qint64 largest = 0;
    for (int i = 0; i < n; ++i) {
        records[size_t(i)].offset = sector;
        records[size_t(i)].size = quint16(BytesToSectors(bytes[size_t(i)]));
        sector += records[size_t(i)].size;
        largest = std::max(largest, bytes[size_t(i)]);
    }
    const qint64 end = SectorToBytes(sector);

    QByteArray directory(int(directoryBytes), '\0');
    char *out = directory.data();
    if (shape.version == 2) {
        std::memcpy(out, "VER2", 4);
        WriteUInt32LE(quint32(n), out + 4);
        out += VER2_HEADER_SIZE;
    }
    for (int i = 0; i < n; ++i)
        EncodeEntry(records[size_t(i)], out + qint64(i) * DIRECTORY_RECORD_SIZE);

    const QByteArray imgName = QFile::encodeName(imgPath);
    const int img = ::open(imgName.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (img < 0)
        return false;
    bool ok = true;
    if (shape.version == 2)
        ok = WriteAll(img, directory.constData(), directory.size(), 0);
    if (shape.sparse) {
        ok = ok && ::ftruncate(img, off_t(end)) == 0;
    } else {
        for (int i = 0; ok && i < n; ++i) {
            // Whole sectors: the bytes behind an entry's end up to its last sector are noise too.
            ok = WriteEntryData(img, SectorToBytes(records[size_t(i)].offset),
                                qint64(records[size_t(i)].size) * SECTOR_SIZE, quint64(i));
        }
        ok = ok && ::ftruncate(img, off_t(end)) == 0;
    }
    ok = ::close(img) == 0 && ok;
    if (ok && shape.version == 1) {
        const QByteArray dirName = QFile::encodeName(DirPathFor(imgPath));
        const int dir = ::open(dirName.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ok = dir >= 0 && WriteAll(dir, directory.constData(), directory.size(), 0);
        ok = dir >= 0 && ::close(dir) == 0 && ok;
    }
    if (summary) {
        summary->entries = n;
        summary->dataBytes = end;
        summary->directoryBytes = directoryBytes;
        summary->largestEntry = largest;
    }
    return ok;
}

std::vector<std::string> WriteImportFiles(const QString &folder, int count, quint64 seed, qint64 *totalBytes)
{
    Random random(seed);
    std::vector<std::string> paths;
    qint64 total = 0;
    const std::string base = QFile::encodeName(folder).toStdString() + "/";
    for (int i = 0; i < count; ++i) {
        const qint64 size = EntryBytes(random);
        char name[32];
        std::snprintf(name, sizeof name, "new%05d%s", i,
                      kExtensions[random.Next() % (sizeof kExtensions / sizeof *kExtensions)]);
        const std::string path = base + name;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            return {};
        const bool ok = WriteEntryData(fd, 0, size, quint64(i) + 1000003u);
        if (::close(fd) != 0 || !ok)
            return {};
        paths.push_back(path);
        total += size;
    }
    std::sort(paths.begin(), paths.end());
    if (totalBytes)
        *totalBytes = total;
    return paths;
}

} // namespace SyntheticArchive
