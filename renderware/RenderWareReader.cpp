#include "renderware/RenderWareReader.h"

#include "renderware/ModelTextures.h"
#include "renderware/PngWriter.h"
#include "renderware/TextureDecoder.h"
#include "renderware/TextureDictionary.h"

#include <QBuffer>

RenderWareReader::Summary RenderWareReader::ReadEverything(const QByteArray &bytes)
{
    Summary summary;
    TextureDictionary dictionary;
    summary.dictionary = dictionary.Read(bytes);
    if (summary.dictionary) {
        summary.textures = int(dictionary.Textures().size());
        std::vector<quint8> rgba;
        for (const TextureNative &texture : dictionary.Textures()) {
            QString error;
            if (!TextureDecoder::DecodeFirstLevel(bytes.constData(), texture, rgba, error))
                continue;
            QBuffer png;
            png.open(QIODevice::WriteOnly);
            if (PngWriter::Write(png, texture.width, texture.height, rgba, error))
                ++summary.decoded;
        }
    } else {
        summary.error = dictionary.Error();
    }
    std::vector<QByteArray> names;
    QString modelError;
    summary.model = ModelTextures::Read(bytes, names, modelError);
    summary.modelNames = int(names.size());
    if (!summary.model && summary.error.isEmpty())
        summary.error = modelError;
    return summary;
}
