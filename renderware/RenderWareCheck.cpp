#include "renderware/RenderWareCheck.h"

#include "archive/IMGClass.h"
#include "renderware/AsciiName.h"
#include "renderware/EntryBytes.h"
#include "renderware/ModelTextures.h"
#include "renderware/TextureDictionary.h"

#include <map>
#include <optional>

namespace {

using TextureNames = std::vector<QByteArray>;

bool ContainsName(const TextureNames &names, const QByteArray &name)
{
    for (const QByteArray &known : names)
        if (SameAsciiName(known, name))
            return true;
    return false;
}

bool IsRw(const ContentType &type, quint32 chunkType)
{
    return type.kind == ContentType::Kind::RenderWare && type.chunkType == chunkType && !type.chunkRunsPastEntry;
}

// "car.txd" for "car.dff": the name with its extension replaced, or empty without one.
QString DictionaryNameFor(const QString &modelName)
{
    const int dot = modelName.lastIndexOf(QLatin1Char('.'));
    return dot <= 0 ? QString() : modelName.left(dot) + QStringLiteral(".txd");
}

} // namespace

RenderWareCheck::RenderWareCheck(IMGClass &img)
    : img(img)
{
}

std::vector<RenderWareProblem> RenderWareCheck::Check(const std::vector<ContentType> &types)
{
    std::vector<RenderWareProblem> problems;
    if (types.size() != img.directory.size())
        return problems;
    // The texture names of each dictionary a model is checked against, read once;
    // a dictionary that cannot be read is reported with itself.
    std::map<int, std::optional<TextureNames>> dictionaries;
    const auto namesOf = [&](int position) -> const std::optional<TextureNames> & {
        auto found = dictionaries.find(position);
        if (found != dictionaries.end())
            return found->second;
        std::optional<TextureNames> &names = dictionaries[position];
        TextureDictionary dictionary;
        QByteArray bytes;
        QString error;
        if (EntryBytes::Read(img, position, bytes, error) && dictionary.Read(bytes)) {
            names.emplace();
            for (const TextureNative &texture : dictionary.Textures())
                names->push_back(texture.name);
        }
        return names;
    };

    for (size_t i = 0; i < img.directory.size(); ++i) {
        const int position = int(i);
        QByteArray bytes;
        QString error;
        if (IsRw(types[i], RW_CHUNK_TEXTURE_DICTIONARY)) {
            TextureDictionary dictionary;
            if (!EntryBytes::Read(img, position, bytes, error))
                continue; // unreadable data is the plain check's
            if (!dictionary.Read(bytes)) {
                problems.push_back({position, dictionary.Error()});
                continue;
            }
            for (const QString &problem : dictionary.Problems())
                problems.push_back({position, problem});
        } else if (IsRw(types[i], RW_CHUNK_CLUMP)) {
            std::vector<QByteArray> names;
            if (!EntryBytes::Read(img, position, bytes, error))
                continue;
            if (!ModelTextures::Read(bytes, names, error)) {
                problems.push_back({position, error});
                continue;
            }
            const QString dictionaryName = DictionaryNameFor(EntryName(img.directory[i].entry));
            const int dictionaryPosition = dictionaryName.isEmpty() ? -1 : img.FindEntry(dictionaryName.toUtf8());
            if (dictionaryPosition < 0 || !IsRw(types[size_t(dictionaryPosition)], RW_CHUNK_TEXTURE_DICTIONARY))
                continue;
            const std::optional<TextureNames> &known = namesOf(dictionaryPosition);
            if (!known)
                continue;
            for (const QByteArray &name : names)
                if (!ContainsName(*known, name))
                    problems.push_back({position, QStringLiteral("its materials use texture '%1', which %2 lacks")
                                                      .arg(QString::fromUtf8(name), dictionaryName)});
        }
    }
    return problems;
}
