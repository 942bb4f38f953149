#include "renderware/TextureExport.h"

#include "archive/IMGClass.h"
#include "archive/format/EntryNameRules.h"
#include "archive/io/OwnFiles.h"
#include "renderware/PngWriter.h"
#include "renderware/TextureDecoder.h"

#include <QDir>
#include <QFile>
#include <QSet>

namespace {

QString NumberedName(const QString &fileName, int n)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    return fileName.left(dot) + QStringLiteral("~%1").arg(n) + fileName.mid(dot);
}

QString PngFileName(const QByteArray &textureName)
{
    return IMGClass::ExportFileName(QString::fromUtf8(textureName) + QStringLiteral(".png"));
}

} // namespace

TextureExport::Outcome TextureExport::Write(const TextureDictionary &dictionary, const QString &folder,
                                            const OwnFiles &ownFiles)
{
    Outcome outcome;
    QDir out = QDir::current();
    if (!out.cd(folder)) {
        outcome.failure = QStringLiteral("the output folder '%1' cannot be opened").arg(folder);
        return outcome;
    }
    QSet<QString> taken;
    for (const TextureNative &texture : dictionary.Textures())
        taken.insert(FoldedAsciiCase(PngFileName(texture.name)));
    for (const QString &existing :
         out.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        taken.insert(FoldedAsciiCase(existing));

    QSet<QString> written;
    std::vector<quint8> rgba;
    for (const TextureNative &texture : dictionary.Textures()) {
        QString error;
        if (!TextureDecoder::DecodeFirstLevel(dictionary.Bytes().constData(), texture, rgba, error)) {
            outcome.skipped << error;
            continue;
        }
        const QString name = QString::fromUtf8(texture.name);
        QString fileName = PngFileName(texture.name);
        const bool numbered = written.contains(FoldedAsciiCase(fileName));
        if (numbered) {
            int n = 2;
            while (taken.contains(FoldedAsciiCase(NumberedName(fileName, n))))
                ++n;
            fileName = NumberedName(fileName, n);
            taken.insert(FoldedAsciiCase(fileName));
        }
        QFile file(out.absoluteFilePath(fileName));
        if (!ownFiles.OpenForExport(file, !numbered)) {
            outcome.failure = QStringLiteral("%1 cannot be created").arg(file.fileName());
            return outcome;
        }
        if (!PngWriter::Write(file, texture.width, texture.height, rgba, error) || !file.flush()) {
            file.close();
            file.remove(); // a cut-off file must not pass for the texture
            outcome.failure = QStringLiteral("%1 cannot be written: %2").arg(file.fileName(), error);
            return outcome;
        }
        file.close();
        written.insert(FoldedAsciiCase(fileName));
        if (fileName != name + QStringLiteral(".png"))
            outcome.renamed.emplace_back(name, fileName);
    }
    return outcome;
}
