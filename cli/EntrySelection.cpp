#include "cli/EntrySelection.h"

#include <algorithm>
#include <cstring>

EntrySelection::EntrySelection(const std::vector<IMGDirectoryEntryWrap> &directory)
    : directory(directory)
{
    byHash.reserve(directory.size());
    for (size_t i = 0; i < directory.size(); ++i)
        byHash.emplace(directory[i].nameHash, int(i));
}

std::vector<int> EntrySelection::All() const
{
    std::vector<int> rows(directory.size());
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = int(i);
    return rows;
}

std::vector<int> EntrySelection::Named(const QString &name) const
{
    const QByteArray utf8 = name.toUtf8();
    std::vector<int> rows;
    if (utf8.size() > ENTRY_NAME_FIELD_SIZE || utf8.contains('\0'))
        return rows;
    IMGDirectoryEntry probe;
    std::memcpy(probe.name, utf8.constData(), size_t(utf8.size()));
    const auto range = byHash.equal_range(NameHash(probe.name));
    for (auto it = range.first; it != range.second; ++it) {
        if (SameEntryName(directory[size_t(it->second)].entry, probe))
            rows.push_back(it->second);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::vector<int> EntrySelection::Matching(const QRegExp &pattern) const
{
    std::vector<int> rows;
    for (size_t i = 0; i < directory.size(); ++i) {
        if (EntryName(directory[i].entry).contains(pattern))
            rows.push_back(int(i));
    }
    return rows;
}

void EntrySelection::Sort(std::vector<int> &rows, SortKey key) const
{
    const auto entry = [this](int row) -> const IMGDirectoryEntry & { return directory[size_t(row)].entry; };
    switch (key) {
    case SortKey::Number:
        std::sort(rows.begin(), rows.end());
        break;
    case SortKey::Name: {
        // Case-sensitive, not locale-aware: the order of the window's name column.
        std::vector<std::pair<QString, int>> keyed;
        keyed.reserve(rows.size());
        for (int row : rows)
            keyed.emplace_back(EntryName(entry(row)), row);
        std::stable_sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) {
            return QString::compare(a.first, b.first, Qt::CaseSensitive) < 0;
        });
        for (size_t i = 0; i < rows.size(); ++i)
            rows[i] = keyed[i].second;
        break;
    }
    case SortKey::Size:
        std::stable_sort(rows.begin(), rows.end(),
                         [&](int a, int b) { return entry(a).size < entry(b).size; });
        break;
    case SortKey::Offset:
        std::stable_sort(rows.begin(), rows.end(),
                         [&](int a, int b) { return entry(a).offset < entry(b).offset; });
        break;
    }
}

std::vector<std::pair<int, int>> EntrySelection::LaterNamesakes(const std::vector<int> &rows) const
{
    std::vector<std::pair<int, int>> namesakes;
    std::unordered_multimap<quint32, int> firstOfName;
    for (int row : rows) {
        const IMGDirectoryEntryWrap &wrap = directory[size_t(row)];
        int first = -1;
        const auto range = firstOfName.equal_range(wrap.nameHash);
        for (auto it = range.first; it != range.second && first < 0; ++it) {
            if (SameEntryName(directory[size_t(it->second)].entry, wrap.entry))
                first = it->second;
        }
        if (first >= 0)
            namesakes.emplace_back(row, first);
        else
            firstOfName.emplace(wrap.nameHash, row);
    }
    return namesakes;
}
