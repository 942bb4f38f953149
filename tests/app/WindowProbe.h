#pragma once

// Reaches the parts of a main window the way a test needs them: by the object
// names of the form, and by type for the objects the window creates itself.

#include "app/OSTREVALE.h"
#include "archive/IMGClass.h"

#include <QAction>
#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QSortFilterProxyModel>
#include <QTableView>

namespace Probe {

constexpr const char *kDefaultIcon = ":/Ostrevale/Resources/ostrevale.png";
constexpr const char *kVersion1Icon = ":/Ostrevale/Resources/vc.png";
constexpr const char *kVersion2Icon = ":/Ostrevale/Resources/sa.png";

// The controls that follow whether an archive is open.
const char *const kArchiveActions[] = {"action_close",  "action_import", "action_import_folder",
                                       "action_export", "action_delete", "action_rebuild"};
const char *const kAlwaysActions[] = {"action_open", "action_new_ver1", "action_new_ver2", "action_exit",
                                      "action_showqtinfo"};

inline QAction *Action(const OSTREVALE &w, const char *name)
{
    return w.findChild<QAction *>(QLatin1String(name));
}
inline QTableView *Table(const OSTREVALE &w)
{
    return w.findChild<QTableView *>(QStringLiteral("tableView"));
}
inline QLineEdit *Search(const OSTREVALE &w)
{
    return w.findChild<QLineEdit *>(QStringLiteral("lineEdit"));
}
inline QSortFilterProxyModel *Proxy(const OSTREVALE &w)
{
    return qobject_cast<QSortFilterProxyModel *>(Table(w)->model());
}
inline IMGClass *Archive(const OSTREVALE &w)
{
    return w.findChild<IMGClass *>();
}
inline QProgressDialog *Progress(const OSTREVALE &w)
{
    return w.findChild<QProgressDialog *>();
}

// Whether an icon shows exactly the pixels of a resource image.
inline bool IconIs(const QIcon &icon, const char *resource)
{
    const QImage expected = QImage(QLatin1String(resource)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return !expected.isNull() &&
           icon.pixmap(expected.size()).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied) == expected;
}

// Column `column` of the rows the table shows, top to bottom.
inline QStringList Shown(const OSTREVALE &w, int column = 0)
{
    QStringList out;
    const QAbstractItemModel *m = Table(w)->model();
    for (int row = 0; row < m->rowCount(); ++row)
        out << m->index(row, column).data().toString();
    return out;
}

// Selects the shown rows whose names are given, as a user would with Ctrl+click.
inline void SelectByName(const OSTREVALE &w, const QStringList &names)
{
    QTableView *t = Table(w);
    t->clearSelection();
    for (int row = 0; row < t->model()->rowCount(); ++row) {
        if (names.contains(t->model()->index(row, 0).data().toString()))
            t->selectionModel()->select(t->model()->index(row, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

} // namespace Probe
