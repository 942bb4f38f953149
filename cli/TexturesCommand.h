#pragma once

#include "cli/ArchiveCommand.h"

#include <QByteArray>

class TextureDictionary;

// ostrevale-cli textures: what a dictionary holds (listed, or written as PNG
// files), the textures a model uses, and those a dictionary lacks for it.
class TexturesCommand final : public ArchiveCommand
{
public:
    TexturesCommand();

private:
    int CheckArguments() override;
    int RunOn(ArchiveSession &session, ProgressPrinter &progress) override;

    int ListDictionary(const TextureDictionary &dictionary) const;
    int ExportDictionary(ArchiveSession &session, const QString &dictionaryName,
                         const TextureDictionary &dictionary) const;
    int ListModel(ArchiveSession &session, const QString &modelName, const QByteArray &bytes) const;
    // The first entry of that name and its bytes; false after saying why.
    static bool ReadNamed(ArchiveSession &session, const QString &name, QString &storedName, QByteArray &bytes);

    const QCommandLineOption jsonOption;
    const QCommandLineOption outputOption;
    const QCommandLineOption txdOption;
};
