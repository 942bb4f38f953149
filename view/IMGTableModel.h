#pragma once

#include "archive/format/EntryOrder.h"
#include "archive/format/IMGFormat.h"

#include <QAbstractTableModel>
#include <QString>

#include <vector>

// The entry table: a copy of the archive's directory, one row per entry in
// directory order, so that model row i is always directory entry i. Sorting and
// filtering happen in a proxy in front of it (IMGSortFilterProxyModel).
class IMGTableModel : public QAbstractTableModel
{
public:
    // The columns and their values are the ones EntryOrder defines for every client.
    enum Column {
        NameColumn = EntryOrder::NameColumn,
        SizeColumn = EntryOrder::SizeColumn,
        NumberColumn = EntryOrder::NumberColumn,
        OffsetColumn = EntryOrder::OffsetColumn,
        ColumnCount = EntryOrder::ColumnCount
    };

    explicit IMGTableModel(QObject *parent = nullptr);
    ~IMGTableModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Replaces every row with the given directory in one model reset.
    void SetEntries(const std::vector<IMGDirectoryEntryWrap> &newEntries);

    // The typed values of the columns, for a valid row.
    const QString &NameAt(int row) const;
    qint64 SizeKBAt(int row) const;
    qint64 OffsetAt(int row) const;

private:
    std::vector<IMGDirectoryEntryWrap> entries;
    // Each name decoded once, when first asked for: sorting and filtering ask
    // for it again and again, feeding the table not at all.
    mutable std::vector<QString> names;
};
