#pragma once

#include <QByteArray>
#include <QtGlobal>

class QFile;

// Copies entries from one data file into a new one, joining entries that lie one
// behind the other in both files into ranges of up to 8 MiB (a stock archive holds
// nothing else): a call per entry would cost more than copying the entry. The new
// file's pages are handed to the disk as the copy goes on, so a final sync has
// little left to wait for.
class JoinedCopy
{
public:
    // `dropSource`: the source's cached pages are let go as they are copied (its
    // data is read no more and goes when the copy replaces it).
    JoinedCopy(QFile &from, QFile &to, bool dropSource);

    // Queues `bytes` bytes from `fromPosition` to `toPosition`; copies what was
    // queued first when this does not follow on. False when a copy failed.
    bool Add(qint64 fromPosition, qint64 toPosition, qint64 bytes);
    // Copies what is still queued. False when the copy failed.
    bool Finish();

private:
    QFile &from;
    QFile &to;
    const bool dropSource;
    qint64 pendingFrom = 0;
    qint64 pendingTo = 0;
    qint64 pendingBytes = 0;
    qint64 writebackFrom = 0;
    QByteArray buffer; // used only where the system cannot copy in the kernel
};
