#include "archive/io/FolderFiles.h"

#include <QFileInfo>

QStringList CollectFolderFiles(const QDir &folder)
{
    // The order is stated here rather than taken from the QDir's own setting,
    // so that a caller's QDir with another sort order still gets the same list.
    const QFileInfoList infos = folder.entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    QStringList paths;
    paths.reserve(infos.size());
    for (const QFileInfo &info : infos)
        paths << info.absoluteFilePath();
    return paths;
}
