#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// The texture names a model's materials use: Clump → Geometry List → Geometry →
// Material List → Material → Texture → its first String.
class ModelTextures
{
public:
    // Reads the Clump in `bytes`; false, with `error` saying why, when the bytes
    // are no Clump, a chunk on the way runs past its parent, or a name lacks its
    // zero byte. `names` gets each name once (ASCII case ignored), in the order
    // of first use.
    static bool Read(const QByteArray &bytes, std::vector<QByteArray> &names, QString &error);
};
