#pragma once

#include "renderware/TextureNative.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// A Texture Dictionary entry read whole: the count of its struct and every
// texture native, over the entry's bytes (which it keeps, shared, for the levels).
class TextureDictionary
{
public:
    // Reads `bytes`; false, with Error() saying why, when they are no dictionary or
    // a chunk or texture native runs past its parent. Problems that leave the
    // textures readable (a count that disagrees, a level shorter than it needs) are
    // in Problems().
    bool Read(const QByteArray &bytes);

    const QByteArray &Bytes() const { return bytes; }
    const std::vector<TextureNative> &Textures() const { return textures; }
    int DeclaredCount() const { return declaredCount; }
    int DeviceId() const { return deviceId; }
    const QString &Error() const { return error; }
    const QStringList &Problems() const { return problems; }

    // Whether a texture of this name is in it, ASCII case ignored.
    bool Contains(const QByteArray &name) const;

private:
    bool Fail(const QString &message);

    QByteArray bytes;
    std::vector<TextureNative> textures;
    int declaredCount = 0;
    int deviceId = 0;
    QString error;
    QStringList problems;
};
