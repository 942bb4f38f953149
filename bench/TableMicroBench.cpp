// Micro-benchmarks of the entry table without a window: the model fed a
// directory, the sort proxy sorting by each column, a filter keystroke.
#include "bench/SyntheticArchive.h"
#include "view/IMGTableModel.h"

#include <QCoreApplication>
#include <QRegExp>
#include <QSortFilterProxyModel>

#include <benchmark/benchmark.h>

namespace {

std::vector<IMGDirectoryEntryWrap> Directory(int n)
{
    SyntheticArchive::Random random(7);
    std::vector<IMGDirectoryEntryWrap> directory(static_cast<size_t>(n));
    quint32 sector = 2000;
    for (int i = 0; i < n; ++i) {
        IMGDirectoryEntry &e = directory[size_t(i)].entry;
        SetEntryName(e, "gang" + QByteArray::number(int(random.Next() % 1000000)) + ".dff");
        e.size = quint16(BytesToSectors(SyntheticArchive::EntryBytes(random)));
        e.offset = sector;
        sector += e.size;
        directory[size_t(i)].nameHash = NameHash(e.name);
    }
    return directory;
}

void Feed(benchmark::State &state)
{
    const auto directory = Directory(int(state.range(0)));
    IMGTableModel model;
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(&model);
    for (auto _ : state)
        model.SetEntries(directory);
}
BENCHMARK(Feed)->Arg(100000)->Unit(benchmark::kMillisecond);

void Sort(benchmark::State &state)
{
    const auto directory = Directory(100000);
    IMGTableModel model;
    model.SetEntries(directory);
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(&model);
    for (auto _ : state) {
        proxy.sort(-1);
        proxy.sort(int(state.range(0)), Qt::AscendingOrder);
    }
}
BENCHMARK(Sort)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void FilterKeystroke(benchmark::State &state)
{
    const auto directory = Directory(100000);
    IMGTableModel model;
    model.SetEntries(directory);
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(&model);
    proxy.sort(0, Qt::AscendingOrder);
    const QString word = QStringLiteral("gang12");
    int k = 0;
    for (auto _ : state) {
        k = k % word.size() + 1;
        proxy.setFilterRegExp(QRegExp(word.left(k), Qt::CaseSensitive, QRegExp::RegExp));
    }
}
BENCHMARK(FilterKeystroke)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
