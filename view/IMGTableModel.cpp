#include "view/IMGTableModel.h"

#include "archive/io/LargePages.h"

IMGTableModel::IMGTableModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

IMGTableModel::~IMGTableModel() = default;

// A table has rows and columns only at the top level; a cell has no children.
int IMGTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(entries.size());
}

int IMGTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant IMGTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(entries.size()))
        return QVariant();

    if (role == Qt::TextAlignmentRole) {
        if (index.column() == NameColumn)
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        return int(Qt::AlignCenter);
    }
    if (role != Qt::DisplayRole)
        return QVariant();

    // Numbers go to the view as numbers: the delegate groups their digits in
    // the user's locale and the proxy compares them numerically.
    switch (index.column()) {
    case NameColumn:
        return NameAt(index.row());
    case SizeColumn:
        return SizeKBAt(index.row());
    case NumberColumn:
        return index.row();
    case OffsetColumn:
        return OffsetAt(index.row());
    default:
        return QVariant();
    }
}

const QString &IMGTableModel::NameAt(int row) const
{
    QString &name = names[size_t(row)];
    if (name.isNull())
        name = EntryOrder::Value(entries[size_t(row)].entry, row, EntryOrder::NameColumn).toString();
    return name;
}

qint64 IMGTableModel::SizeKBAt(int row) const
{
    return EntryOrder::NumberValue(entries[size_t(row)].entry, row, EntryOrder::SizeColumn);
}

qint64 IMGTableModel::OffsetAt(int row) const
{
    return EntryOrder::NumberValue(entries[size_t(row)].entry, row, EntryOrder::OffsetColumn);
}

QVariant IMGTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QVariant();
    switch (section) {
    case NameColumn:
        return QStringLiteral("文件名");
    case SizeColumn:
        return QStringLiteral("大小(KB)");
    case NumberColumn:
        return QStringLiteral("序号");
    case OffsetColumn:
        return QStringLiteral("偏移量");
    default:
        return QVariant();
    }
}

void IMGTableModel::SetEntries(const std::vector<IMGDirectoryEntryWrap> &newEntries)
{
    beginResetModel();
    if (newEntries.size() > entries.capacity()) {
        // One allocation for the new size, offered large pages before it is filled.
        std::vector<IMGDirectoryEntryWrap>().swap(entries);
        entries.reserve(newEntries.size());
        AdviseLargePages(entries.data(), newEntries.size() * sizeof(IMGDirectoryEntryWrap));
    }
    entries = newEntries;
    names.assign(entries.size(), QString());
    endResetModel();
}
