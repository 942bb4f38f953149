#include "renderware/ModelTextures.h"

#include "archive/format/ChunkWalker.h"
#include "renderware/AsciiName.h"
#include "renderware/RwChunkTypes.h"
#include "renderware/RwReadError.h"

#include <cstring>

namespace {

// The path from the Clump down to a texture's name, one chunk type per depth.
constexpr quint32 kPath[] = {RwChunkTypes::kGeometryList, RwChunkTypes::kGeometry, RwChunkTypes::kMaterialList,
                             RwChunkTypes::kMaterial,     RwChunkTypes::kTexture};
constexpr int kPathDepth = int(sizeof(kPath) / sizeof(kPath[0]));

class Walk
{
public:
    Walk(const char *data, std::vector<QByteArray> &names, QString &error)
        : data(data)
        , names(names)
        , error(error)
    {
    }

    // The children of `parent`, which is at `depth` of the path (-1: the Clump).
    bool Children(const RwChunk &parent, int depth)
    {
        ChunkWalker children(data, parent);
        while (children.Next()) {
            const RwChunk &child = children.Current();
            if (depth + 1 < kPathDepth) {
                if (child.header.type == kPath[depth + 1] && !Children(child, depth + 1))
                    return false;
            } else if (child.header.type == RwChunkTypes::kString) {
                return TakeName(child); // the first String of a Texture is its name; the second its mask
            }
        }
        if (children.status() != ChunkWalker::Status::End) {
            error = RwReadError::OfWalker(children, data, parent.End());
            return false;
        }
        return true;
    }

private:
    bool TakeName(const RwChunk &string)
    {
        const char *text = data + string.body;
        const void *zero = std::memchr(text, 0, size_t(string.header.size));
        if (!zero) {
            error = QStringLiteral("the texture name at byte %1 has no zero byte").arg(string.body);
            return false;
        }
        const QByteArray name(text, int(static_cast<const char *>(zero) - text));
        if (name.isEmpty())
            return true;
        for (const QByteArray &known : names)
            if (SameAsciiName(known, name))
                return true;
        names.push_back(name);
        return true;
    }

    const char *data;
    std::vector<QByteArray> &names;
    QString &error;
};

} // namespace

bool ModelTextures::Read(const QByteArray &bytes, std::vector<QByteArray> &names, QString &error)
{
    names.clear();
    const char *data = bytes.constData();
    ChunkWalker top(data, 0, bytes.size());
    if (!top.Next()) {
        if (top.status() == ChunkWalker::Status::PastParent) {
            const RwChunkHeader header = ReadRwChunkHeader(data);
            error = QStringLiteral("its chunk of %1 bytes runs past the end of the entry (%2 bytes)")
                        .arg(qint64(header.size) + RW_CHUNK_HEADER_BYTES)
                        .arg(bytes.size());
        } else {
            error = QStringLiteral("it is not a Clump");
        }
        return false;
    }
    if (top.Current().header.type != RwChunkTypes::kClump) {
        error = QStringLiteral("it is not a Clump");
        return false;
    }
    return Walk(data, names, error).Children(top.Current(), -1);
}
