#pragma once

#include <QString>
#include <QtGlobal>

// A version 2 archive whose .txd entries are real Texture Dictionaries of DXT
// textures (PC, platform 9, full mip chains), for the texture export benchmark;
// the other entries are seeded noise. Repeatable: the same seed gives the same bytes.
namespace SyntheticTextures {

struct Summary
{
    int entries = 0;
    int dictionaries = 0;
    int textures = 0;
    qint64 firstLevelPixels = 0; // what an export of every dictionary decodes
    qint64 dataBytes = 0;
};

// `entries` entries, every third one a dictionary of 1–4 textures of 64–512 pixels a side.
bool Write(const QString &imgPath, int entries, quint64 seed, Summary *summary);

} // namespace SyntheticTextures
