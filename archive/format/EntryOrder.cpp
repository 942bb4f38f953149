#include "archive/format/EntryOrder.h"

#include <algorithm>
#include <utility>

namespace EntryOrder {

qint64 NumberValue(const IMGDirectoryEntry &entry, int position, Column column)
{
    switch (column) {
    case SizeColumn:
        return qint64(entry.size) * SECTOR_SIZE / 1024;
    case NumberColumn:
        return position;
    case OffsetColumn:
        return SectorToBytes(entry.offset);
    default:
        return 0;
    }
}

QVariant Value(const IMGDirectoryEntry &entry, int position, Column column)
{
    switch (column) {
    case NameColumn:
        return EntryName(entry);
    case NumberColumn:
        return position;
    case SizeColumn:
    case OffsetColumn:
        return NumberValue(entry, position, column);
    default:
        return QVariant();
    }
}

void Sort(const std::vector<IMGDirectoryEntryWrap> &directory, std::vector<int> &rows, Column column)
{
    if (column == NameColumn) {
        // Each name decoded once, not at every comparison.
        std::vector<std::pair<QString, int>> keyed;
        keyed.reserve(rows.size());
        for (int row : rows)
            keyed.emplace_back(EntryName(directory[size_t(row)].entry), row);
        std::stable_sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) {
            return QString::compare(a.first, b.first, Qt::CaseSensitive) < 0;
        });
        for (size_t i = 0; i < rows.size(); ++i)
            rows[i] = keyed[i].second;
        return;
    }
    if (column < 0 || column >= ColumnCount)
        return;
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
        return NumberValue(directory[size_t(a)].entry, a, column) <
               NumberValue(directory[size_t(b)].entry, b, column);
    });
}

} // namespace EntryOrder
