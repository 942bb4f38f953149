#include "archive/format/EntryNameIndex.h"

#include <QtTest>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

class TestEntryNameIndex : public QObject
{
    Q_OBJECT

private slots:
    void agreesWithAMultimap_data();
    void agreesWithAMultimap();
    void emptyIndexFindsNothing();
};

namespace {

std::vector<int> Positions(const EntryNameIndex &index, quint32 hash)
{
    std::vector<int> out;
    index.ForEach(hash, [&](int position) {
        out.push_back(position);
        return true;
    });
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<int> Positions(const std::multimap<quint32, int> &model, quint32 hash)
{
    std::vector<int> out;
    const auto range = model.equal_range(hash);
    for (auto it = range.first; it != range.second; ++it)
        out.push_back(it->second);
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

void TestEntryNameIndex::agreesWithAMultimap_data()
{
    QTest::addColumn<int>("distinctHashes"); // few: long runs of equal hashes and of equal home slots
    QTest::addColumn<bool>("reserved");
    QTest::newRow("many hashes, grown one by one") << 100000 << false;
    QTest::newRow("many hashes, reserved") << 100000 << true;
    QTest::newRow("few hashes, long runs") << 7 << false;
    QTest::newRow("hashes sharing home slots") << 64 << true;
}

// Inserts and erases at random, as imports, failed imports and renames do, and
// checks every lookup against a std::multimap doing the same.
void TestEntryNameIndex::agreesWithAMultimap()
{
    QFETCH(int, distinctHashes);
    QFETCH(bool, reserved);
    std::mt19937 random(distinctHashes);
    // Hashes that differ only above the bits that choose the home slot collide there.
    const auto hashOf = [&](int k) {
        return distinctHashes == 64 ? quint32(k) << 20 : quint32(k) * 2654435761u;
    };
    EntryNameIndex index;
    std::multimap<quint32, int> model;
    if (reserved)
        index.Reserve(3000);
    int next = 0;
    for (int step = 0; step < 10000; ++step) {
        const quint32 hash = hashOf(int(random() % quint32(distinctHashes)));
        if (random() % 3 != 0 || model.empty()) {
            index.Insert(hash, next);
            model.emplace(hash, next);
            ++next;
        } else {
            auto it = model.begin();
            std::advance(it, random() % model.size());
            index.Erase(it->first, it->second);
            model.erase(it);
        }
        if (step % 97 == 0) {
            QCOMPARE(index.size(), model.size());
            for (int k = 0; k < std::min(distinctHashes, 200); ++k)
                QCOMPARE(Positions(index, hashOf(k)), Positions(model, hashOf(k)));
        }
    }
    for (const auto &pair : model)
        QCOMPARE(Positions(index, pair.first), Positions(model, pair.first));
    // Erasing what is not there changes nothing.
    index.Erase(hashOf(0), next + 5);
    QCOMPARE(index.size(), model.size());
    index.Clear();
    QCOMPARE(index.size(), size_t(0));
    QVERIFY(Positions(index, hashOf(0)).empty());
}

void TestEntryNameIndex::emptyIndexFindsNothing()
{
    EntryNameIndex index;
    QVERIFY(Positions(index, 0).empty());
    index.Erase(0, 0);
    index.Insert(0, 0);
    QCOMPARE(Positions(index, 0), std::vector<int>{0});
}

QTEST_GUILESS_MAIN(TestEntryNameIndex)
#include "tst_entrynameindex.moc"
