#include "archive/format/ChunkWalker.h"

#include "archive/format/IMGFormat.h"

RwChunkHeader ReadRwChunkHeader(const char *bytes)
{
    RwChunkHeader header;
    header.type = ReadUInt32LE(bytes);
    header.size = ReadUInt32LE(bytes + 4);
    header.libraryId = ReadUInt32LE(bytes + 8);
    return header;
}

ChunkWalker::ChunkWalker(const char *data, qint64 begin, qint64 end)
    : data(data)
    , position(begin)
    , end(end)
{
}

ChunkWalker::ChunkWalker(const char *data, const RwChunk &parent)
    : ChunkWalker(data, parent.body, parent.End())
{
}

bool ChunkWalker::Next()
{
    if (state != Status::Ok)
        return false;
    if (position >= end) {
        state = Status::End;
        return false;
    }
    if (end - position < RW_CHUNK_HEADER_BYTES) {
        state = Status::HeaderCut;
        return false;
    }
    current.header = ReadRwChunkHeader(data + position);
    current.at = position;
    current.body = position + RW_CHUNK_HEADER_BYTES;
    if (current.End() > end) {
        state = Status::PastParent;
        return false;
    }
    position = current.End();
    return true;
}
