#pragma once

// Records every signal of an IMGClass as one ordered log line, so tests can
// compare whole signal sequences. Error pieces are joined during the emission,
// as every receiver must do.

#include "archive/IMGClass.h"

#include <QStringList>

class SignalLog
{
public:
    explicit SignalLog(IMGClass &img)
    {
        QObject::connect(&img, &IMGClass::IncreaseProgressBar,
                         [this] { lines << QStringLiteral("progress"); });
        QObject::connect(&img, &IMGClass::ImportingFileFullPath,
                         [this](const QString &p) { lines << QStringLiteral("importing ") + p; });
        QObject::connect(&img, &IMGClass::ExportingFileName,
                         [this](const QString &n) { lines << QStringLiteral("exporting ") + n; });
        QObject::connect(&img, &IMGClass::RebuildingFileName,
                         [this](const QString &n) { lines << QStringLiteral("rebuilding ") + n; });
        QObject::connect(&img, &IMGClass::IMGDirectoryChanged,
                         [this](const std::vector<IMGDirectoryEntryWrap> &d) {
                             lines << QStringLiteral("directory %1").arg(d.size());
                             lastDirectory = d;
                         });
        QObject::connect(&img, &IMGClass::ErrorOccoured, [this](std::initializer_list<QString> pieces) {
            QString joined;
            for (const QString &p : pieces)
                joined += p;
            lines << QStringLiteral("error ") + joined;
            errorPieces.clear();
            for (const QString &p : pieces)
                errorPieces << p;
        });
    }

    QStringList errors() const
    {
        QStringList out;
        for (const QString &l : lines)
            if (l.startsWith(QStringLiteral("error ")))
                out << l.mid(6);
        return out;
    }

    void clear()
    {
        lines.clear();
        errorPieces.clear();
    }

    QStringList lines;
    QStringList errorPieces;
    std::vector<IMGDirectoryEntryWrap> lastDirectory;
};
