#include "renderware/TextureDictionary.h"

#include "archive/format/ContentType.h"
#include "archive/format/IMGFormat.h"
#include "renderware/AsciiName.h"
#include "renderware/RwChunkTypes.h"
#include "renderware/RwReadError.h"

bool TextureDictionary::Fail(const QString &message)
{
    error = message;
    return false;
}

bool TextureDictionary::Read(const QByteArray &entryBytes)
{
    bytes = entryBytes;
    textures.clear();
    problems.clear();
    error.clear();
    declaredCount = 0;
    deviceId = 0;
    const char *data = bytes.constData();

    ChunkWalker top(data, 0, bytes.size());
    if (!top.Next()) {
        if (top.status() == ChunkWalker::Status::PastParent) {
            const RwChunkHeader header = ReadRwChunkHeader(data);
            return Fail(QStringLiteral("its chunk of %1 bytes runs past the end of the entry (%2 bytes)")
                            .arg(qint64(header.size) + RW_CHUNK_HEADER_BYTES)
                            .arg(bytes.size()));
        }
        return Fail(QStringLiteral("it is not a Texture Dictionary"));
    }
    const RwChunk dictionary = top.Current();
    if (dictionary.header.type != RwChunkTypes::kTextureDictionary)
        return Fail(QStringLiteral("it is not a Texture Dictionary"));

    ChunkWalker children(data, dictionary);
    if (!children.Next()) {
        if (children.status() != ChunkWalker::Status::End)
            return Fail(RwReadError::OfWalker(children, data, dictionary.End()));
        return Fail(QStringLiteral("the dictionary holds no struct"));
    }
    const RwChunk info = children.Current();
    if (info.header.type != RwChunkTypes::kStruct || info.header.size < 4)
        return Fail(QStringLiteral("the dictionary does not begin with its struct of 4 bytes"));
    // From 3.6 the four bytes are a 16-bit count and a device id; before, one 32-bit count.
    const quint32 word = ReadUInt32LE(data + info.body);
    if (RwVersionFromLibraryId(dictionary.header.libraryId) >= 0x36000) {
        declaredCount = int(word & 0xFFFF);
        deviceId = int(word >> 16);
    } else {
        declaredCount = int(std::min<quint32>(word, 0x7FFFFFFF));
    }

    while (children.Next()) {
        const RwChunk &child = children.Current();
        if (child.header.type != RwChunkTypes::kTextureNative)
            continue; // the extension, and anything a later version adds
        TextureNative native;
        QString nativeError;
        if (!TextureNative::Read(data, child, native, nativeError))
            return Fail(nativeError);
        textures.push_back(std::move(native));
    }
    if (children.status() != ChunkWalker::Status::End)
        return Fail(RwReadError::OfWalker(children, data, dictionary.End()));

    if (declaredCount != int(textures.size()))
        problems << QStringLiteral("its struct counts %1 textures, it holds %2")
                        .arg(declaredCount)
                        .arg(textures.size());
    for (const TextureNative &texture : textures) {
        for (size_t level = 0; level < texture.levels.size(); ++level) {
            const qint64 needed = texture.LevelBytesNeeded(int(level));
            if (needed >= 0 && texture.levels[level].size < needed)
                problems << QStringLiteral("texture '%1': level %2 holds %3 bytes, %4x%5 %6 needs %7")
                                .arg(QString::fromUtf8(texture.name))
                                .arg(level)
                                .arg(texture.levels[level].size)
                                .arg(texture.LevelWidth(int(level)))
                                .arg(texture.LevelHeight(int(level)))
                                .arg(texture.FormatName())
                                .arg(needed);
        }
    }
    return true;
}

bool TextureDictionary::Contains(const QByteArray &name) const
{
    for (const TextureNative &texture : textures)
        if (SameAsciiName(texture.name, name))
            return true;
    return false;
}
