#pragma once

#include <QStyledItemDelegate>

// Draws the entry table's cells like the default delegate, but writes numbers
// with the locale's digit grouping: Qt's item views hand their delegate a
// locale with QLocale::OmitGroupSeparator set.
class EntryItemDelegate : public QStyledItemDelegate
{
public:
    explicit EntryItemDelegate(QObject *parent = nullptr);

    QString displayText(const QVariant &value, const QLocale &locale) const override;
};
