#include "archive/io/JoinedCopy.h"

#include "archive/io/ArchiveIO.h"

namespace {

// The most bytes copied in one piece, and handed to the disk at a time.
constexpr qint64 kRangeBytes = 8 * 1024 * 1024;

} // namespace

JoinedCopy::JoinedCopy(QFile &from, QFile &to, bool dropSource)
    : from(from)
    , to(to)
    , dropSource(dropSource)
{
}

bool JoinedCopy::Add(qint64 fromPosition, qint64 toPosition, qint64 bytes)
{
    const bool follows = pendingBytes > 0 && fromPosition == pendingFrom + pendingBytes &&
                         toPosition == pendingTo + pendingBytes && pendingBytes + bytes <= kRangeBytes;
    if (!follows) {
        if (!Finish())
            return false;
        pendingFrom = fromPosition;
        pendingTo = toPosition;
    }
    pendingBytes += bytes;
    return true;
}

bool JoinedCopy::Finish()
{
    if (pendingBytes == 0)
        return true;
    if (!ArchiveIO::CopyRange(from, pendingFrom, to, pendingTo, pendingBytes, buffer))
        return false;
    // Let go a piece at a time, while the disk is busy with the new file, not all at once later.
    if (dropSource)
        ArchiveIO::DropCachedRange(from, pendingFrom, pendingBytes);
    if (pendingTo + pendingBytes - writebackFrom >= kRangeBytes) {
        ArchiveIO::StartWriteback(to, writebackFrom, pendingTo + pendingBytes - writebackFrom);
        writebackFrom = pendingTo + pendingBytes;
    }
    pendingBytes = 0;
    return true;
}
