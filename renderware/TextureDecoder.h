#pragma once

#include "renderware/TextureNative.h"

#include <QString>

#include <vector>

// The first level of a PC texture native as RGBA pixels, 8 bits per channel, row
// by row from the top. DXT blocks are decoded by libsquish; 16- and 32-bit pixels
// are read in Direct3D's byte order; palette colours are R, G, B, A.
class TextureDecoder
{
public:
    // Decodes level 0 of `texture`, whose bytes are `data`. False, with `error`
    // saying why, for another platform, a format without a decoder, a level
    // shorter than its size and format need, or a palette index past the palette.
    static bool DecodeFirstLevel(const char *data, const TextureNative &texture, std::vector<quint8> &rgba,
                                 QString &error);
};
