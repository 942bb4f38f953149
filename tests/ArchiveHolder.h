#pragma once

// The other writer of the lock tests: this same test program, started again as a
// child that opens an archive for changes (and so holds its lock) until it is killed.

#include "archive/IMGClass.h"

#include <QCoreApplication>
#include <QProcess>
#include <QString>

#include <cstdio>

#include <unistd.h>

constexpr char kHoldArchiveVariable[] = "OSTREVALE_TEST_HOLD_ARCHIVE";

// Call first in main: true when this process is a holder; it then never returns
// unless the opening was refused (`*exitCode` 1).
inline bool HoldArchiveIfAsked(int *exitCode)
{
    const QString path = qEnvironmentVariable(kHoldArchiveVariable);
    if (path.isEmpty())
        return false;
    IMGClass img;
    const bool opened = img.OpenArchive(path);
    std::printf(opened ? "held\n" : "refused\n");
    std::fflush(stdout);
    while (opened)
        ::pause();
    *exitCode = 1;
    return true;
}

class ArchiveHolder
{
public:
    ~ArchiveHolder() { Kill(); }

    // Starts the holder and waits until it holds the archive.
    bool Start(const QString &path)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kHoldArchiveVariable), path);
        process.setProcessEnvironment(env);
        process.start(QCoreApplication::applicationFilePath(), QStringList());
        if (!process.waitForStarted(10000))
            return false;
        while (!process.canReadLine() && process.waitForReadyRead(20000)) {
        }
        return process.readLine() == "held\n";
    }

    // Ends it as a crash would (SIGKILL): nothing of its own runs any more.
    void Kill()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(10000);
        }
    }

    QProcess process;
};
