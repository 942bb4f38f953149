// Micro-benchmarks of the entry table without a window: the model fed a
// directory, the sort proxy sorting by each column, a filter keystroke, the
// filter cleared. Sorting runs both through the table's own proxy and through a
// plain QSortFilterProxyModel, to show what the direct comparison saves.
#include "bench/SyntheticArchive.h"
#include "view/IMGSortFilterProxyModel.h"
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

template <class Proxy>
void Sort(benchmark::State &state)
{
    const auto directory = Directory(100000);
    IMGTableModel model;
    model.SetEntries(directory);
    Proxy proxy;
    proxy.setSourceModel(&model);
    for (auto _ : state) {
        proxy.sort(-1);
        proxy.sort(int(state.range(0)), Qt::AscendingOrder);
    }
}
BENCHMARK_TEMPLATE(Sort, IMGSortFilterProxyModel)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(Sort, QSortFilterProxyModel)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

template <class Proxy>
void FilterKeystroke(benchmark::State &state)
{
    const auto directory = Directory(100000);
    IMGTableModel model;
    model.SetEntries(directory);
    Proxy proxy;
    proxy.setSourceModel(&model);
    proxy.sort(0, Qt::AscendingOrder);
    const QString word = QStringLiteral("gang12");
    int k = 0;
    for (auto _ : state) {
        k = k % word.size() + 1;
        proxy.setFilterRegExp(QRegExp(word.left(k), Qt::CaseSensitive, QRegExp::RegExp));
    }
}
BENCHMARK_TEMPLATE(FilterKeystroke, IMGSortFilterProxyModel)->Unit(benchmark::kMillisecond);

// A table sorted by name and filtered down to a few rows gets every row back.
template <class Proxy>
void FilterCleared(benchmark::State &state)
{
    const auto directory = Directory(100000);
    IMGTableModel model;
    model.SetEntries(directory);
    Proxy proxy;
    proxy.setSourceModel(&model);
    proxy.sort(0, Qt::AscendingOrder);
    for (auto _ : state) {
        state.PauseTiming();
        proxy.setFilterRegExp(QRegExp(QStringLiteral("gang12"), Qt::CaseSensitive, QRegExp::RegExp));
        state.ResumeTiming();
        proxy.setFilterRegExp(QRegExp(QString(), Qt::CaseSensitive, QRegExp::RegExp));
    }
}
BENCHMARK_TEMPLATE(FilterCleared, IMGSortFilterProxyModel)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(FilterCleared, QSortFilterProxyModel)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
