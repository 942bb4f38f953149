#pragma once

#include "archive/IMGFormat.h"

#include <QRegExp>
#include <QString>

#include <unordered_map>
#include <vector>

// Picks entries of a directory by name or pattern, as directory positions in
// directory order. Names are matched as the engine matches them: the UTF-8
// bytes, ASCII letters without regard to case.
class EntrySelection
{
public:
    explicit EntrySelection(const std::vector<IMGDirectoryEntryWrap> &directory);

    std::vector<int> All() const;
    // Every entry with this name (there may be several).
    std::vector<int> Named(const QString &name) const;
    // Entries whose name contains a match of the pattern, as the window's search box filters.
    std::vector<int> Matching(const QRegExp &pattern) const;

    enum class SortKey { Number, Name, Size, Offset };
    // Ordered by the key as the window's table sorts its column; ties keep directory order.
    void Sort(std::vector<int> &rows, SortKey key) const;

    // Positions of entries that share their name with an earlier entry of `rows`,
    // each paired with that earlier entry; `rows` must be in directory order.
    std::vector<std::pair<int, int>> LaterNamesakes(const std::vector<int> &rows) const;

private:
    const std::vector<IMGDirectoryEntryWrap> &directory;
    std::unordered_multimap<quint32, int> byHash;
};
