#pragma once

#include "archive/format/ChunkWalker.h"

#include <QString>

// The reader's words for what a walk over chunks ran into.
namespace RwReadError {

// "the chunk at byte 40 runs past its parent (…)" or "… is cut short", for a walker that stopped on an error.
QString OfWalker(const ChunkWalker &walker, const char *data, qint64 parentEnd);

} // namespace RwReadError
