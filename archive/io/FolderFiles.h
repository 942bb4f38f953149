#pragma once

#include <QDir>
#include <QStringList>

// The files a folder stands for when it is imported: the plain files directly
// inside it (no hidden or system files, no folders, nothing from subfolders),
// as absolute paths in name order ignoring case. The window's folder import,
// its drop handler and the command line's `add` all use this one rule.
QStringList CollectFolderFiles(const QDir &folder);
