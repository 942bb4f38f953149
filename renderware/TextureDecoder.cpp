#include "renderware/TextureDecoder.h"

#include <squish.h>

namespace {

quint16 Word(const quint8 *p)
{
    return quint16(p[0] | p[1] << 8);
}

// An n-bit channel widened to 8 bits, its top bits repeated below: 5 bits abcde
// become abcdeabc, 6 bits abcdefab, 4 bits abcdabcd.
quint8 Expand(unsigned value, int bits)
{
    value &= (1u << bits) - 1;
    switch (bits) {
    case 1:
        return value ? 0xFF : 0x00;
    case 4:
        return quint8(value << 4 | value);
    case 5:
        return quint8(value << 3 | value >> 2);
    case 6:
        return quint8(value << 2 | value >> 4);
    default:
        return quint8(value);
    }
}

} // namespace

bool TextureDecoder::DecodeFirstLevel(const char *data, const TextureNative &texture, std::vector<quint8> &rgba,
                                      QString &error)
{
    const QString label = QStringLiteral("texture '%1'").arg(QString::fromUtf8(texture.name));
    if (!texture.IsPc()) {
        error = QStringLiteral("%1 is for the %2, which is not decoded").arg(label, texture.PlatformName());
        return false;
    }
    const TextureFormat format = texture.Format();
    if (format == TextureFormat::Unknown) {
        error = QStringLiteral("%1 has format %2, which is not decoded").arg(label, texture.FormatName());
        return false;
    }
    if (texture.levels.empty()) {
        error = QStringLiteral("%1 has no levels").arg(label);
        return false;
    }
    const TextureNative::Level &level = texture.levels.front();
    const qint64 needed = texture.LevelBytesNeeded(0);
    if (level.size < needed) {
        error = QStringLiteral("%1: level 0 holds %2 bytes, %3x%4 %5 needs %6")
                    .arg(label)
                    .arg(level.size)
                    .arg(texture.width)
                    .arg(texture.height)
                    .arg(texture.FormatName())
                    .arg(needed);
        return false;
    }
    // The level's bytes are present and hold at least one byte per two pixels,
    // so the pixels take at most eight times the bytes the entry has.
    const size_t pixels = size_t(texture.width) * size_t(texture.height);
    rgba.resize(pixels * 4); // every pixel is written below; a buffer reused for a texture of the same size is not cleared first
    const quint8 *in = reinterpret_cast<const quint8 *>(data + level.offset);
    quint8 *out = rgba.data();

    switch (format) {
    case TextureFormat::Dxt1:
    case TextureFormat::Dxt3:
    case TextureFormat::Dxt5: {
        const int flags = format == TextureFormat::Dxt1   ? squish::kDxt1
                          : format == TextureFormat::Dxt3 ? squish::kDxt3
                                                          : squish::kDxt5;
        squish::DecompressImage(out, texture.width, texture.height, in, flags);
        return true;
    }
    case TextureFormat::Bgra8888:
        for (size_t i = 0; i < pixels; ++i, in += 4, out += 4) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            out[3] = in[3];
        }
        return true;
    case TextureFormat::Bgr888: {
        const int step = texture.depth == 24 ? 3 : 4;
        for (size_t i = 0; i < pixels; ++i, in += step, out += 4) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            out[3] = 0xFF;
        }
        return true;
    }
    case TextureFormat::Argb1555:
    case TextureFormat::Rgb555:
        for (size_t i = 0; i < pixels; ++i, in += 2, out += 4) {
            const unsigned w = Word(in);
            out[0] = Expand(w >> 10, 5);
            out[1] = Expand(w >> 5, 5);
            out[2] = Expand(w, 5);
            out[3] = format == TextureFormat::Argb1555 ? Expand(w >> 15, 1) : 0xFF;
        }
        return true;
    case TextureFormat::Rgb565:
        for (size_t i = 0; i < pixels; ++i, in += 2, out += 4) {
            const unsigned w = Word(in);
            out[0] = Expand(w >> 11, 5);
            out[1] = Expand(w >> 5, 6);
            out[2] = Expand(w, 5);
            out[3] = 0xFF;
        }
        return true;
    case TextureFormat::Argb4444:
        for (size_t i = 0; i < pixels; ++i, in += 2, out += 4) {
            const unsigned w = Word(in);
            out[0] = Expand(w >> 8, 4);
            out[1] = Expand(w >> 4, 4);
            out[2] = Expand(w, 4);
            out[3] = Expand(w >> 12, 4);
        }
        return true;
    case TextureFormat::Lum8:
        for (size_t i = 0; i < pixels; ++i, ++in, out += 4) {
            out[0] = out[1] = out[2] = *in;
            out[3] = 0xFF;
        }
        return true;
    case TextureFormat::Pal8:
    case TextureFormat::Pal4: {
        const quint8 *palette = reinterpret_cast<const quint8 *>(data + texture.paletteOffset);
        const unsigned colours = unsigned(texture.paletteColours);
        // A 4-bit level that holds a byte per pixel stores one index per byte;
        // otherwise two per byte, the first pixel in the low four bits.
        const bool packed = format == TextureFormat::Pal4 && level.size < qint64(pixels);
        const size_t rowBytes = packed ? size_t(texture.width + 1) / 2 : size_t(texture.width);
        for (int y = 0; y < texture.height; ++y) {
            const quint8 *row = in + size_t(y) * rowBytes;
            for (int x = 0; x < texture.width; ++x, out += 4) {
                const unsigned index = packed ? (row[x / 2] >> ((x & 1) * 4)) & 0x0F : row[x];
                if (index >= colours) {
                    error = QStringLiteral("%1: pixel %2,%3 uses palette index %4, the palette has %5 colours")
                                .arg(label)
                                .arg(x)
                                .arg(y)
                                .arg(index)
                                .arg(colours);
                    rgba.clear();
                    return false;
                }
                const quint8 *colour = palette + 4 * index;
                out[0] = colour[0];
                out[1] = colour[1];
                out[2] = colour[2];
                out[3] = colour[3];
            }
        }
        return true;
    }
    case TextureFormat::Unknown:
        break;
    }
    return false;
}
