#pragma once

#include "archive/format/EntryNameRules.h"

#include <QByteArray>

// Texture names compared as the games look them up: ASCII letters without regard to case, other bytes as they
// are.
inline bool SameAsciiName(const QByteArray &a, const QByteArray &b)
{
    return a.size() == b.size() && FoldedAsciiCase(a) == FoldedAsciiCase(b);
}
