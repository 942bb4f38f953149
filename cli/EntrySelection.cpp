#include "cli/EntrySelection.h"

#include <algorithm>

EntrySelection::EntrySelection(const IMGClass &img)
    : img(img)
{
}

std::vector<int> EntrySelection::All() const
{
    std::vector<int> rows(img.directory.size());
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = int(i);
    return rows;
}

std::vector<int> EntrySelection::Named(const QString &name) const
{
    return img.FindEntries(name.toUtf8());
}

std::vector<int> EntrySelection::Matching(const QRegExp &pattern) const
{
    std::vector<int> rows;
    for (size_t i = 0; i < img.directory.size(); ++i) {
        if (EntryName(img.directory[i].entry).contains(pattern))
            rows.push_back(int(i));
    }
    return rows;
}

void EntrySelection::Sort(std::vector<int> &rows, EntryOrder::Column column) const
{
    EntryOrder::Sort(img.directory, rows, column);
}

std::vector<std::pair<int, int>> EntrySelection::LaterNamesakes(const std::vector<int> &rows) const
{
    std::vector<char> chosen(img.directory.size(), 0);
    for (int row : rows)
        chosen[size_t(row)] = 1;
    std::vector<std::pair<int, int>> namesakes;
    for (int row : rows) {
        const IMGDirectoryEntry &entry = img.directory[size_t(row)].entry;
        // The engine's positions of this name, in directory order: the first chosen one is the one written.
        const std::vector<int> sameName =
            img.FindEntries(QByteArray::fromRawData(entry.name, EntryNameLength(entry)));
        const auto first = std::find_if(sameName.begin(), sameName.end(),
                                        [&](int other) { return chosen[size_t(other)] != 0; });
        if (first != sameName.end() && *first < row)
            namesakes.emplace_back(row, *first);
    }
    return namesakes;
}
