#pragma once

#include "archive/format/IMGFormat.h"

#include <QVariant>

#include <vector>

// The columns of the entry table: what each shows for an entry and the order it
// sorts in. The window's table and the command line's --sort both take them from
// here, so the two orders cannot drift apart.
namespace EntryOrder {

enum Column { NameColumn = 0, SizeColumn = 1, NumberColumn = 2, OffsetColumn = 3, ColumnCount = 4 };

// The value shown in `column` for the entry at directory position `position`: its
// name, its size in KB, the position, its byte offset. Numbers stay numbers, so a
// sort compares them numerically.
QVariant Value(const IMGDirectoryEntry &entry, int position, Column column);
// The same for a number column (size, number, offset), without a QVariant.
qint64 NumberValue(const IMGDirectoryEntry &entry, int position, Column column);

// Orders directory positions ascending by `column`, as the table's sort proxy
// orders the values above: names case-sensitive and not locale-aware, numbers
// numerically; entries with equal values keep their order in `rows`.
void Sort(const std::vector<IMGDirectoryEntryWrap> &directory, std::vector<int> &rows, Column column);

} // namespace EntryOrder
