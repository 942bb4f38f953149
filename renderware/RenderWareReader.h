#pragma once

#include <QByteArray>
#include <QString>

// Everything the reader does with one entry's bytes, in one call: read them as a
// dictionary (each texture decoded and written as PNG into memory) and as a model
// (its texture names). For the fuzz target, and as the tally of what was found.
class RenderWareReader
{
public:
    struct Summary
    {
        bool dictionary = false; // read as a Texture Dictionary
        bool model = false;      // read as a Clump
        int textures = 0;
        int decoded = 0;   // textures decoded and encoded as PNG
        int modelNames = 0;
        QString error; // the first error of either reading
    };

    static Summary ReadEverything(const QByteArray &bytes);
};
