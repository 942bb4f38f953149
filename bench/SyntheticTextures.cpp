#include "bench/SyntheticTextures.h"

#include "archive/format/IMGFormat.h"
#include "bench/SyntheticArchive.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <vector>

namespace SyntheticTextures {

namespace {

constexpr quint32 kLibrarySA = 0x1803FFFF; // 3.6.0.3

void Put32(QByteArray &out, quint32 v)
{
    const char bytes[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    out.append(bytes, 4);
}

QByteArray Chunk(quint32 type, const QByteArray &body)
{
    QByteArray out;
    Put32(out, type);
    Put32(out, quint32(body.size()));
    Put32(out, kLibrarySA);
    return out + body;
}

quint16 Rgb565(int r, int g, int b)
{
    return quint16((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

// DXT blocks of a smooth picture: endpoints from a gradient, indices in a fixed
// pattern, so the PNG writer sees an image, not noise.
QByteArray Blocks(int width, int height, bool dxt5, int tint)
{
    const int bw = std::max(1, (width + 3) / 4);
    const int bh = std::max(1, (height + 3) / 4);
    QByteArray out;
    out.reserve(bw * bh * (dxt5 ? 16 : 8));
    for (int by = 0; by < bh; ++by) {
        for (int bx = 0; bx < bw; ++bx) {
            if (dxt5) {
                out.append(char(0xFF));
                out.append(char(bx * 255 / bw));
                const char indices[6] = {0x24, 0x49, char(0x92), 0x24, 0x49, char(0x92)};
                out.append(indices, 6);
            }
            const quint16 c0 = Rgb565(bx * 255 / bw, by * 255 / bh, tint);
            const quint16 c1 = Rgb565(tint, bx * 127 / bw, by * 255 / bh);
            const char colours[4] = {char(c0), char(c0 >> 8), char(c1), char(c1 >> 8)};
            out.append(colours, 4);
            Put32(out, 0x1B1BE4E4u);
        }
    }
    return out;
}

QByteArray Native(const QByteArray &name, int size, bool dxt5, int tint)
{
    QByteArray header;
    Put32(header, 9);
    Put32(header, 0x1106);
    QByteArray field = name.left(31);
    field.append(QByteArray(32 - field.size(), '\0'));
    header += field + QByteArray(32, '\0');
    Put32(header, dxt5 ? 0x0300 : 0x0200);
    Put32(header, dxt5 ? 0x35545844 : 0x31545844); // "DXT5", "DXT1"
    int levels = 0;
    for (int s = size; s >= 1; s /= 2)
        ++levels;
    header.append(char(size & 0xFF)).append(char(size >> 8)).append(char(size & 0xFF)).append(char(size >> 8));
    header.append(char(16)).append(char(levels)).append(char(4)).append(char(dxt5 ? 0x09 : 0x08));
    for (int s = size; s >= 1; s /= 2) {
        const QByteArray blocks = Blocks(s, s, dxt5, tint);
        Put32(header, quint32(blocks.size()));
        header += blocks;
    }
    return Chunk(0x15, Chunk(0x01, header) + Chunk(0x03, QByteArray()));
}

} // namespace

bool Write(const QString &imgPath, int entries, quint64 seed, Summary *summary)
{
    SyntheticArchive::Random random(seed);
    Summary s;
    std::vector<QByteArray> names;
    std::vector<QByteArray> contents;
    for (int i = 0; i < entries; ++i) {
        if (i % 3 == 1) {
            const int count = 1 + int(random.Next() % 4);
            QByteArray body;
            QByteArray info;
            Put32(info, quint32(count) | 2u << 16);
            body += Chunk(0x01, info);
            for (int t = 0; t < count; ++t) {
                const int size = 64 << (random.Next() % 4); // 64–512
                const bool dxt5 = random.Next() % 4 == 0;
                body += Native("tex" + QByteArray::number(i) + "_" + QByteArray::number(t), size, dxt5, int(i % 256));
                s.firstLevelPixels += qint64(size) * size;
                ++s.textures;
            }
            body += Chunk(0x03, QByteArray());
            names.push_back("dict" + QByteArray::number(i) + ".txd");
            contents.push_back(Chunk(0x16, body));
            ++s.dictionaries;
        } else {
            names.push_back("item" + QByteArray::number(i) + ".dat");
            QByteArray noise(int(2048 + random.Next() % 20000), '\0');
            for (char &c : noise)
                c = char(random.Next());
            contents.push_back(noise);
        }
    }
    // Version 2: header, directory, then the entries' sectors, no gaps.
    const qint64 directoryBytes = 8 + 32 * qint64(entries);
    quint32 sector = BytesToSectors(directoryBytes);
    QByteArray directory("VER2");
    Put32(directory, quint32(entries));
    QByteArray data;
    for (size_t i = 0; i < contents.size(); ++i) {
        const quint32 sectors = BytesToSectors(contents[i].size());
        Put32(directory, sector);
        directory.append(char(sectors & 0xFF)).append(char(sectors >> 8)).append(2, '\0');
        QByteArray name = names[i].left(23);
        directory += name + QByteArray(24 - name.size(), '\0');
        data += contents[i] + QByteArray(int(sectors) * SECTOR_SIZE - contents[i].size(), '\0');
        sector += sectors;
    }
    directory.append(QByteArray(int(BytesToSectors(directoryBytes)) * SECTOR_SIZE - directory.size(), '\0'));
    QFile file(imgPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(directory) != directory.size() ||
        file.write(data) != data.size())
        return false;
    s.entries = entries;
    s.dataBytes = file.size();
    if (summary)
        *summary = s;
    return true;
}

} // namespace SyntheticTextures
