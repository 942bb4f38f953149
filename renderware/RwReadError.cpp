#include "renderware/RwReadError.h"

namespace RwReadError {

QString OfWalker(const ChunkWalker &walker, const char *data, qint64 parentEnd)
{
    const qint64 at = walker.Position();
    if (walker.status() == ChunkWalker::Status::HeaderCut)
        return QStringLiteral("the chunk header at byte %1 is cut short (%2 bytes left of its parent)")
            .arg(at)
            .arg(parentEnd - at);
    const RwChunkHeader header = ReadRwChunkHeader(data + at);
    return QStringLiteral("the chunk 0x%1 at byte %2 claims %3 bytes and runs past its parent, which ends at byte %4")
        .arg(header.type, 0, 16)
        .arg(at)
        .arg(header.size)
        .arg(parentEnd);
}

} // namespace RwReadError
