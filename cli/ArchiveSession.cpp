#include "cli/ArchiveSession.h"

#include "cli/Console.h"
#include "cli/ProgressPrinter.h"

#include <QFile>
#include <QFileInfo>

ArchiveSession::ArchiveSession(ProgressPrinter &progress)
    : progress(progress)
{
    QObject::connect(&img, &IMGClass::IncreaseProgressBar, &img, [this] { this->progress.Step(); });
    QObject::connect(&img, &IMGClass::ImportingFileFullPath, &img,
                     [this](const QString &path) { this->progress.SetLabel(path); });
    QObject::connect(&img, &IMGClass::ExportingFileName, &img,
                     [this](const QString &name) { this->progress.SetLabel(name); });
    QObject::connect(&img, &IMGClass::RebuildingFileName, &img,
                     [this](const QString &name) { this->progress.SetLabel(name); });
    // The pieces live only during the emission: they are joined and printed here.
    QObject::connect(&img, &IMGClass::ErrorOccoured, &img, [this](std::initializer_list<QString> pieces) {
        QString message;
        for (const QString &piece : pieces)
            message += piece;
        this->progress.Interrupt();
        Console::Error(message);
        ++errors;
    });
}

bool ArchiveSession::Open(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        Console::Error(QStringLiteral("%1: no such archive").arg(path));
        return false;
    }
    if (info.isFile()) {
        QFile file(path);
        const bool isVer2 = file.open(QIODevice::ReadOnly) && file.read(4) == "VER2";
        const QString dirPath = DirPathFor(path);
        // A .dir.rebuilding beside it is a stopped rebuild that the engine finishes on opening.
        if (!isVer2 && file.isOpen() && !QFileInfo::exists(dirPath) &&
            !QFileInfo::exists(dirPath + QStringLiteral(".rebuilding"))) {
            Console::Error(QStringLiteral("%1: not an IMG archive (no version 2 header, and no %2 beside it)")
                               .arg(path, dirPath));
            return false;
        }
    }
    return img.OpenArchive(path);
}

bool ArchiveSession::Open(const QString &path, Access)
{
    return Open(path);
}
