// Comparing two archives: entries are paired by name, ASCII case ignored, the
// k-th entry of a name in one archive with the k-th of that name in the other.
// Paired entries are compared by the bytes of their sectors as stored.
#include "archive/ArchiveReader.h"
#include "archive/IMGClass.h"
#include "archive/format/EntryNameRules.h"

#include <QCryptographicHash>
#include <QHash>

#include <algorithm>
#include <climits>
#include <deque>

namespace {

// Paired entries are compared in pieces of at most this many bytes.
constexpr qint64 kComparePiece = 1024 * 1024;

// The name as the key that pairs entries: its bytes with ASCII letters upper-cased.
QByteArray PairingKey(const IMGDirectoryEntry &entry)
{
    return FoldedAsciiCase(QByteArray(entry.name, EntryNameLength(entry)));
}

struct Pair
{
    int a;
    int b;
};

} // namespace

bool IMGClass::CompareWith(const IMGClass &other, ArchiveDifference &difference)
{
    BeginOperation();
    difference = ArchiveDifference();
    ArchiveReader readerA(*this);
    ArchiveReader readerB(other);
    for (ArchiveReader *reader : {&readerA, &readerB}) {
        if (!reader->IsOpen()) {
            emit ErrorOccoured({QStringLiteral("打开 "), reader->Path(), QStringLiteral(" 失败")});
            return false;
        }
    }
    const std::vector<IMGDirectoryEntryWrap> &a = directory;
    const std::vector<IMGDirectoryEntryWrap> &b = other.directory;

    QHash<QByteArray, std::deque<int>> unpairedB;
    unpairedB.reserve(int(std::min<size_t>(b.size(), INT_MAX)));
    for (size_t i = 0; i < b.size(); ++i)
        unpairedB[PairingKey(b[i].entry)].push_back(int(i));
    std::vector<char> pairedB(b.size(), 0);
    std::vector<Pair> toRead;
    std::vector<char> changed(a.size(), 0);
    for (size_t i = 0; i < a.size(); ++i) {
        const auto found = unpairedB.find(PairingKey(a[i].entry));
        if (found == unpairedB.end() || found->empty()) {
            difference.removed.push_back(int(i));
            continue;
        }
        const int j = found->front();
        found->pop_front();
        pairedB[size_t(j)] = 1;
        // Sector runs of different lengths differ; only runs of one length are read.
        if (a[i].entry.size != b[size_t(j)].entry.size)
            changed[i] = 1;
        else if (a[i].entry.size > 0)
            toRead.push_back({int(i), j});
    }
    for (size_t j = 0; j < b.size(); ++j)
        if (!pairedB[j])
            difference.added.push_back(int(j));

    // In the order of A's data. When B's data of the pairs lies in the same order
    // (the usual case: one archive edited from the other), both are read side by
    // side and compared byte for byte. Otherwise each is read once in its own
    // order and the pairs are compared by a SHA-256 of their sectors.
    std::stable_sort(toRead.begin(), toRead.end(), [&](const Pair &x, const Pair &y) {
        return a[size_t(x.a)].entry.offset < a[size_t(y.a)].entry.offset;
    });
    const bool sameOrder = std::is_sorted(toRead.begin(), toRead.end(), [&](const Pair &x, const Pair &y) {
        return b[size_t(x.b)].entry.offset < b[size_t(y.b)].entry.offset;
    });

    QByteArray pieceA;
    QByteArray pieceB;
    const auto failRead = [&](ArchiveReader &reader) {
        emit ErrorOccoured({QStringLiteral("读取 "), reader.Path(), QStringLiteral(" 失败")});
        return false;
    };
    const auto step = [this] { Step(nullptr, QString()); };

    // One step for every entry of this archive: those that need no reading now,
    // the others as their comparison ends.
    for (size_t i = toRead.size(); i < a.size(); ++i)
        step();
    if (sameOrder) {
        for (const Pair &p : toRead) {
            step();
            const IMGDirectoryEntry &ea = a[size_t(p.a)].entry;
            const IMGDirectoryEntry &eb = b[size_t(p.b)].entry;
            const qint64 bytes = qint64(ea.size) * SECTOR_SIZE;
            for (qint64 at = 0; at < bytes; at += kComparePiece) {
                if (!readerA.ReadSectors(ea, at, kComparePiece, pieceA))
                    return failRead(readerA);
                if (!readerB.ReadSectors(eb, at, kComparePiece, pieceB))
                    return failRead(readerB);
                if (pieceA != pieceB) {
                    changed[size_t(p.a)] = 1;
                    break;
                }
            }
        }
    } else {
        const auto digestsOf = [&](ArchiveReader &reader, const std::vector<IMGDirectoryEntryWrap> &entries,
                                   bool ofA, std::vector<QByteArray> &digests) {
            // A pair is compared once the second archive's side is read.
            std::vector<size_t> order(toRead.size());
            for (size_t k = 0; k < order.size(); ++k)
                order[k] = k;
            std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
                const int ex = ofA ? toRead[x].a : toRead[x].b;
                const int ey = ofA ? toRead[y].a : toRead[y].b;
                return entries[size_t(ex)].entry.offset < entries[size_t(ey)].entry.offset;
            });
            digests.assign(toRead.size(), QByteArray());
            QCryptographicHash hash(QCryptographicHash::Sha256);
            for (const size_t k : order) {
                if (!ofA)
                    step();
                const IMGDirectoryEntry &e = entries[size_t(ofA ? toRead[k].a : toRead[k].b)].entry;
                const qint64 bytes = qint64(e.size) * SECTOR_SIZE;
                hash.reset();
                for (qint64 at = 0; at < bytes; at += kComparePiece) {
                    if (!reader.ReadSectors(e, at, kComparePiece, pieceA))
                        return false;
                    hash.addData(pieceA);
                }
                digests[k] = hash.result();
            }
            return true;
        };
        std::vector<QByteArray> digestsA;
        std::vector<QByteArray> digestsB;
        if (!digestsOf(readerA, a, true, digestsA))
            return failRead(readerA);
        if (!digestsOf(readerB, b, false, digestsB))
            return failRead(readerB);
        for (size_t k = 0; k < toRead.size(); ++k)
            if (digestsA[k] != digestsB[k])
                changed[size_t(toRead[k].a)] = 1;
    }

    for (size_t i = 0; i < a.size(); ++i)
        if (changed[i])
            difference.changed.push_back(int(i));
    return true;
}
