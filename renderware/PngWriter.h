#pragma once

#include <QString>

#include <vector>

class QIODevice;

// RGBA pixels, 8 bits per channel, as a PNG file, through libpng (Qt Core has no
// image writer, and Qt Gui would bring a display library into the command line).
class PngWriter
{
public:
    // Writes `rgba` (width × height × 4 bytes, rows from the top) to `out`;
    // false, with `error` saying why, when libpng or the device fails.
    static bool Write(QIODevice &out, int width, int height, const std::vector<quint8> &rgba, QString &error);
};
