#include "cli/TexturesCommand.h"

#include "archive/format/ContentType.h"
#include "archive/io/OwnFiles.h"
#include "cli/Console.h"
#include "cli/EntrySelection.h"
#include "renderware/EntryBytes.h"
#include "renderware/ModelTextures.h"
#include "renderware/TextureDictionary.h"
#include "renderware/TextureExport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

TexturesCommand::TexturesCommand()
    : ArchiveCommand(
          QStringLiteral("textures"),
          QStringLiteral("List a dictionary's textures, write them as PNG, or list a model's textures."),
          QStringLiteral("For a Texture Dictionary entry: one line per texture, tab-separated: name, "
                         "WIDTHxHEIGHT, format (DXT1, DXT3, DXT5, 8888, 888, 1555, 565, 4444, 555, LUM8, PAL8, "
                         "PAL4), mip levels, alpha or -, mask name (- for none); textures of the PS2 or the Xbox "
                         "are named, with their platform as the format. For a Clump (a model): the texture "
                         "names its materials use, each once, in the order they first appear. The entry is "
                         "told by its content, never its name."),
          {ArchivePositional(),
           {QStringLiteral("NAME"), QStringLiteral("Name of the dictionary or model entry (ASCII case ignored)."),
            Completion::EntryName}},
          2, 2, ArchiveSession::Access::Read, Progress::None)
    , jsonOption(QStringLiteral("json"),
                 QStringLiteral("Print JSON: for a dictionary an array of {name, mask, width, height, format, "
                                "levels, alpha, platform}; for a model an array of texture names."))
    , outputOption({QStringLiteral("o"), QStringLiteral("output")},
                   QStringLiteral("Write each texture's first level as FOLDER/<name>.png (RGBA, 8 bits per "
                                  "channel) into an existing folder, file names made safe as extract makes "
                                  "them; a further texture of a name already written goes to <name>~N.png and "
                                  "prints 'NAME -> FILE'. A texture that cannot be decoded is reported and "
                                  "skipped (exit status 1)."),
                   QStringLiteral("FOLDER"))
    , txdOption(QStringLiteral("txd"),
                QStringLiteral("For a model: list instead the textures it uses that the dictionary entry "
                               "OTHER.txd of the same archive lacks (ASCII case ignored); exit status 1 when "
                               "any is missing."),
                QStringLiteral("OTHER.txd"))
{
    AddOption(jsonOption);
    AddOption(outputOption);
    AddOption(txdOption);
}

int TexturesCommand::CheckArguments()
{
    if (IsSet(outputOption) && IsSet(txdOption))
        return UsageError(QStringLiteral("give -o or --txd, not both"));
    if (IsSet(outputOption) && IsSet(jsonOption))
        return UsageError(QStringLiteral("give -o or --json, not both"));
    return ExitOk;
}

bool TexturesCommand::ReadNamed(ArchiveSession &session, const QString &name, QString &storedName, QByteArray &bytes)
{
    const std::vector<int> rows = EntrySelection(session.img).Named(name);
    if (rows.empty()) {
        Console::Error(QStringLiteral("no entry named '%1'").arg(name));
        return false;
    }
    storedName = EntryName(session.img.directory[size_t(rows.front())].entry);
    QString error;
    if (!EntryBytes::Read(session.img, rows.front(), bytes, error)) {
        Console::Error(error);
        return false;
    }
    return true;
}

int TexturesCommand::RunOn(ArchiveSession &session, ProgressPrinter &)
{
    QString name;
    QByteArray bytes;
    if (!ReadNamed(session, args.at(1), name, bytes))
        return ExitFailed;
    const ContentType type = DetectContentType(bytes.left(CONTENT_HEAD_BYTES), bytes.size());
    const bool isRw = type.kind == ContentType::Kind::RenderWare;
    if (isRw && type.chunkType == RW_CHUNK_TEXTURE_DICTIONARY) {
        if (IsSet(txdOption)) {
            Console::Error(QStringLiteral("--txd goes with a model; %1 is a Texture Dictionary").arg(name));
            return ExitFailed;
        }
        TextureDictionary dictionary;
        if (!dictionary.Read(bytes)) {
            Console::Error(QStringLiteral("%1: %2").arg(name, dictionary.Error()));
            return ExitFailed;
        }
        return IsSet(outputOption) ? ExportDictionary(session, name, dictionary) : ListDictionary(dictionary);
    }
    if (isRw && type.chunkType == RW_CHUNK_CLUMP) {
        if (IsSet(outputOption)) {
            Console::Error(QStringLiteral("-o goes with a Texture Dictionary; %1 is a Clump").arg(name));
            return ExitFailed;
        }
        return ListModel(session, name, bytes);
    }
    Console::Error(QStringLiteral("%1 is neither a Texture Dictionary nor a Clump: it holds %2").arg(name, type.Name()));
    return ExitFailed;
}

int TexturesCommand::ListDictionary(const TextureDictionary &dictionary) const
{
    if (IsSet(jsonOption)) {
        QJsonArray array;
        for (const TextureNative &texture : dictionary.Textures()) {
            QJsonObject object;
            object.insert(QStringLiteral("name"), QString::fromUtf8(texture.name));
            object.insert(QStringLiteral("mask"), QString::fromUtf8(texture.mask));
            object.insert(QStringLiteral("platform"), texture.PlatformName());
            if (texture.IsPc()) {
                object.insert(QStringLiteral("width"), texture.width);
                object.insert(QStringLiteral("height"), texture.height);
                object.insert(QStringLiteral("format"), texture.FormatName());
                object.insert(QStringLiteral("levels"), texture.levelCount);
            } else {
                for (const char *key : {"width", "height", "format", "levels"})
                    object.insert(QLatin1String(key), QJsonValue());
            }
            object.insert(QStringLiteral("alpha"), texture.HasAlpha());
            array.append(object);
        }
        Console::OutBytes(QJsonDocument(array).toJson());
        return ExitOk;
    }
    QString text;
    for (const TextureNative &texture : dictionary.Textures()) {
        const QString mask = texture.mask.isEmpty() ? QStringLiteral("-") : QString::fromUtf8(texture.mask);
        if (texture.IsPc())
            text += QStringLiteral("%1\t%2x%3\t%4\t%5\t%6\t%7\n")
                        .arg(QString::fromUtf8(texture.name))
                        .arg(texture.width)
                        .arg(texture.height)
                        .arg(texture.FormatName())
                        .arg(texture.levelCount)
                        .arg(texture.HasAlpha() ? QStringLiteral("alpha") : QStringLiteral("-"), mask);
        else
            text += QStringLiteral("%1\t-\t%2\t-\t-\t%3\n")
                        .arg(QString::fromUtf8(texture.name), texture.PlatformName(), mask);
    }
    Console::Out(text);
    return ExitOk;
}

int TexturesCommand::ExportDictionary(ArchiveSession &session, const QString &dictionaryName,
                                      const TextureDictionary &dictionary) const
{
    const OwnFiles ownFiles(session.img.imgFile, session.img.version == 1 ? &session.img.dirFile : nullptr);
    const TextureExport::Outcome outcome = TextureExport::Write(dictionary, Value(outputOption), ownFiles);
    QString text;
    for (const auto &renamed : outcome.renamed)
        text += QStringLiteral("%1 -> %2\n").arg(renamed.first, renamed.second);
    Console::Out(text);
    for (const QString &skipped : outcome.skipped)
        Console::Error(QStringLiteral("%1: %2; skipped").arg(dictionaryName, skipped));
    if (!outcome.failure.isEmpty())
        Console::Error(outcome.failure);
    return outcome.skipped.isEmpty() && outcome.failure.isEmpty() ? ExitOk : ExitFailed;
}

int TexturesCommand::ListModel(ArchiveSession &session, const QString &modelName, const QByteArray &bytes) const
{
    std::vector<QByteArray> names;
    QString error;
    if (!ModelTextures::Read(bytes, names, error)) {
        Console::Error(QStringLiteral("%1: %2").arg(modelName, error));
        return ExitFailed;
    }
    bool missing = false;
    if (IsSet(txdOption)) {
        QString dictionaryName;
        QByteArray dictionaryBytes;
        if (!ReadNamed(session, Value(txdOption), dictionaryName, dictionaryBytes))
            return ExitFailed;
        const ContentType type = DetectContentType(dictionaryBytes.left(CONTENT_HEAD_BYTES), dictionaryBytes.size());
        TextureDictionary dictionary;
        if (type.kind != ContentType::Kind::RenderWare || type.chunkType != RW_CHUNK_TEXTURE_DICTIONARY) {
            Console::Error(QStringLiteral("%1 is not a Texture Dictionary: it holds %2").arg(dictionaryName, type.Name()));
            return ExitFailed;
        }
        if (!dictionary.Read(dictionaryBytes)) {
            Console::Error(QStringLiteral("%1: %2").arg(dictionaryName, dictionary.Error()));
            return ExitFailed;
        }
        std::vector<QByteArray> lacking;
        for (const QByteArray &name : names)
            if (!dictionary.Contains(name))
                lacking.push_back(name);
        names.swap(lacking);
        missing = !names.empty();
    }
    if (IsSet(jsonOption)) {
        QJsonArray array;
        for (const QByteArray &name : names)
            array.append(QString::fromUtf8(name));
        Console::OutBytes(QJsonDocument(array).toJson());
    } else {
        QByteArray text;
        for (const QByteArray &name : names)
            text += name + '\n';
        Console::OutBytes(text);
    }
    return missing ? ExitFailed : ExitOk;
}
