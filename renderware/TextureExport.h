#pragma once

#include "renderware/TextureDictionary.h"

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

class OwnFiles;

// Writes the first level of each texture of a dictionary as FOLDER/<name>.png.
// File names are made safe as an entry export makes them; the first texture of a
// file name replaces a file of that name, each further one goes to NAME~N.png,
// N from 2, a name no texture and no file in the folder has (ASCII case ignored).
class TextureExport
{
public:
    struct Outcome
    {
        // Texture name and file name, where the file is not "<name>.png".
        std::vector<std::pair<QString, QString>> renamed;
        // Why a texture was not written (it could not be decoded).
        QStringList skipped;
        // Why the export stopped (the folder or a file could not be written); empty when it did not.
        QString failure;
    };

    // `ownFiles`: files never to be written (the archive's own).
    static Outcome Write(const TextureDictionary &dictionary, const QString &folder, const OwnFiles &ownFiles);
};
