#pragma once

#include <QtGlobal>

// A RenderWare binary stream is a tree of chunks, each a 12-byte header (type,
// size of the body, library ID stamp) followed by its body; a container's body
// is its children, one after another.
constexpr int RW_CHUNK_HEADER_BYTES = 12;

struct RwChunkHeader
{
    quint32 type = 0;
    quint32 size = 0; // the body's bytes, the header not counted
    quint32 libraryId = 0;
};

// The header at `bytes`, of which at least RW_CHUNK_HEADER_BYTES must be readable.
RwChunkHeader ReadRwChunkHeader(const char *bytes);

// One chunk found by a ChunkWalker: its header and where its body lies.
struct RwChunk
{
    RwChunkHeader header;
    qint64 at = 0;   // offset of the header in the walked bytes
    qint64 body = 0; // offset of the body
    qint64 End() const { return body + qint64(header.size); }
};

// Walks the chunks that follow each other in [begin, end) of `data` (the body
// of a parent, or a whole entry): never reads outside that range, and stops at
// a header cut short or a chunk whose body runs past the end.
class ChunkWalker
{
public:
    enum class Status {
        Ok,         // a chunk was found (Next returned true)
        End,        // the range is used up exactly
        HeaderCut,  // fewer than 12 bytes are left for a header
        PastParent, // the chunk's body runs past the end of the range
    };

    ChunkWalker(const char *data, qint64 begin, qint64 end);
    // The children of `parent`, in the same bytes.
    ChunkWalker(const char *data, const RwChunk &parent);

    // Moves to the next chunk; false at the end of the range or on an error (see status).
    bool Next();
    const RwChunk &Current() const { return current; }
    Status status() const { return state; }
    // Where the next header would begin.
    qint64 Position() const { return position; }

private:
    const char *data;
    qint64 position;
    qint64 end;
    RwChunk current;
    Status state = Status::Ok;
};
