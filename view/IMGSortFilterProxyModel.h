#pragma once

#include <QSortFilterProxyModel>

class IMGTableModel;

// The entry table's sort and filter proxy. It sorts exactly as a plain
// QSortFilterProxyModel over IMGTableModel would, but compares the entries'
// typed values straight from the model instead of through QVariant: with 100k
// rows, a sort, or a cleared filter putting the rows back in order, makes
// millions of comparisons.
class IMGSortFilterProxyModel : public QSortFilterProxyModel
{
public:
    explicit IMGSortFilterProxyModel(QObject *parent = nullptr);

    void setSourceModel(QAbstractItemModel *model) override;

protected:
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    // The source as an IMGTableModel when it is one and the proxy sorts as the
    // direct comparison assumes (display role, case-sensitive, not by locale);
    // otherwise nullptr, and the plain proxy's comparison runs.
    const IMGTableModel *DirectSource() const;

    const IMGTableModel *table = nullptr; // the source, when it is an IMGTableModel
};
