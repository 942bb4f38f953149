#pragma once

#include <QByteArray>

// Texture names compared as the games look them up: ASCII letters without regard to case, other bytes as they are.
inline bool SameAsciiName(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = char(x + 0x20);
        if (y >= 'A' && y <= 'Z')
            y = char(y + 0x20);
        if (x != y)
            return false;
    }
    return true;
}
