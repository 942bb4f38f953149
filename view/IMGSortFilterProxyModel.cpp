#include "view/IMGSortFilterProxyModel.h"

#include "view/IMGTableModel.h"

IMGSortFilterProxyModel::IMGSortFilterProxyModel(QObject *parent)
    : QSortFilterProxyModel(parent)
{
}

void IMGSortFilterProxyModel::setSourceModel(QAbstractItemModel *model)
{
    table = dynamic_cast<const IMGTableModel *>(model);
    QSortFilterProxyModel::setSourceModel(model);
}

IMGSortFilterProxyModel::FilterChange::FilterChange(IMGSortFilterProxyModel &proxy, const QRegExp &filter)
    : proxy(proxy)
{
    if (!filter.isEmpty() || proxy.filterRegExp().isEmpty())
        return;
    // Rebuilds the rows as the new filter will have them, in one layout change.
    proxy.acceptAll = true;
    proxy.invalidate();
}

IMGSortFilterProxyModel::FilterChange::~FilterChange()
{
    proxy.acceptAll = false;
}

bool IMGSortFilterProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    // What the plain proxy answers for an empty filter.
    return acceptAll || QSortFilterProxyModel::filterAcceptsRow(sourceRow, sourceParent);
}

const IMGTableModel *IMGSortFilterProxyModel::DirectSource() const
{
    if (sortRole() != Qt::DisplayRole || sortCaseSensitivity() != Qt::CaseSensitive || isSortLocaleAware())
        return nullptr;
    return sourceModel() == table ? table : nullptr;
}

bool IMGSortFilterProxyModel::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const IMGTableModel *model = DirectSource();
    if (!model || left.column() != right.column() || left.model() != model || right.model() != model)
        return QSortFilterProxyModel::lessThan(left, right);
    const int l = left.row();
    const int r = right.row();
    switch (left.column()) {
    case IMGTableModel::NameColumn:
        return QString::compare(model->NameAt(l), model->NameAt(r), Qt::CaseSensitive) < 0;
    case IMGTableModel::SizeColumn:
        return model->SizeKBAt(l) < model->SizeKBAt(r);
    case IMGTableModel::NumberColumn:
        return l < r;
    case IMGTableModel::OffsetColumn:
        return model->OffsetAt(l) < model->OffsetAt(r);
    default:
        return QSortFilterProxyModel::lessThan(left, right);
    }
}
