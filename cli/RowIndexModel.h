#pragma once

#include <QAbstractListModel>
#include <QModelIndexList>

#include <vector>

// The engine names entries by model indexes whose rows are directory positions,
// as the window's table hands them over; this bare model makes such indexes.
class RowIndexModel final : public QAbstractListModel
{
public:
    explicit RowIndexModel(int rows)
        : rows(rows)
    {
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : rows;
    }

    QVariant data(const QModelIndex &, int) const override { return QVariant(); }

    QModelIndexList Indexes(const std::vector<int> &positions) const
    {
        QModelIndexList list;
        list.reserve(int(positions.size()));
        for (int position : positions)
            list << index(position, 0);
        return list;
    }

private:
    int rows;
};
