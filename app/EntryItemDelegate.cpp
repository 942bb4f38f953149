#include "app/EntryItemDelegate.h"

EntryItemDelegate::EntryItemDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

QString EntryItemDelegate::displayText(const QVariant &value, const QLocale &locale) const
{
    QLocale grouped = locale;
    grouped.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return QStyledItemDelegate::displayText(value, grouped);
}
