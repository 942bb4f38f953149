#pragma once

// Runs the real ostrevale-cli binary in a folder and records what it did.

#include <QDirIterator>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

struct CliResult
{
    int exitCode = -1; // -1 when the process crashed or did not finish
    QString out;
    QString err;
};

inline CliResult RunCli(const QString &folder, const QStringList &args)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QStringLiteral(OSTREVALE_CLI_PATH), args);
    CliResult result;
    if (!process.waitForFinished(300000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    if (process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

// Every file (with its bytes) and folder below `folder`, hidden ones included.
inline QMap<QString, QByteArray> FolderSnapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = path.mid(folder.size() + 1);
        if (it.fileInfo().isDir()) {
            files.insert(relative + QLatin1Char('/'), QByteArray());
        } else {
            QFile f(path);
            files.insert(relative, f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>"));
        }
    }
    return files;
}
