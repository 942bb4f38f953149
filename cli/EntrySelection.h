#pragma once

#include "archive/format/EntryOrder.h"
#include "archive/IMGClass.h"

#include <QRegExp>
#include <QString>

#include <utility>
#include <vector>

// Picks entries of an open archive by name or pattern, as directory positions
// in directory order. Names are looked up by the engine, so they match as the
// engine matches them: the UTF-8 bytes, ASCII letters without regard to case.
class EntrySelection
{
public:
    explicit EntrySelection(const IMGClass &img);

    std::vector<int> All() const;
    // Every entry with this name (there may be several).
    std::vector<int> Named(const QString &name) const;
    // Entries whose name contains a match of the pattern, as the window's search box filters.
    std::vector<int> Matching(const QRegExp &pattern) const;

    // Ordered as the window's table sorts the column; ties keep directory order.
    void Sort(std::vector<int> &rows, EntryOrder::Column column) const;

    // Positions of entries that share their name with an earlier entry of `rows`,
    // each paired with that earlier entry; `rows` must be in directory order.
    std::vector<std::pair<int, int>> LaterNamesakes(const std::vector<int> &rows) const;

private:
    const IMGClass &img;
};
