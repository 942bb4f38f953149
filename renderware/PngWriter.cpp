#include "renderware/PngWriter.h"

#include <QIODevice>

#include <png.h>

#include <csetjmp>

namespace {

struct Sink
{
    QIODevice *out;
    bool failed = false;
};

void WriteBytes(png_structp png, png_bytep bytes, png_size_t size)
{
    auto *sink = static_cast<Sink *>(png_get_io_ptr(png));
    if (sink->out->write(reinterpret_cast<const char *>(bytes), qint64(size)) != qint64(size)) {
        sink->failed = true;
        png_error(png, "write failed");
    }
}

void Flush(png_structp)
{
}

void OnError(png_structp png, png_const_charp message)
{
    auto *text = static_cast<QString *>(png_get_error_ptr(png));
    *text = QString::fromUtf8(message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp)
{
}

} // namespace

bool PngWriter::Write(QIODevice &out, int width, int height, const std::vector<quint8> &rgba, QString &error)
{
    if (width <= 0 || height <= 0 || rgba.size() != size_t(width) * size_t(height) * 4) {
        error = QStringLiteral("no pixels to write");
        return false;
    }
    QString pngError;
    Sink sink{&out};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &pngError, OnError, OnWarning);
    if (!png) {
        error = QStringLiteral("libpng cannot start");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    // Nothing with a destructor lives between setjmp and the calls that may jump back.
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        error = sink.failed ? QStringLiteral("the write failed") : QStringLiteral("libpng: %1").arg(pngError);
        return false;
    }
    png_set_write_fn(png, &sink, WriteBytes, Flush);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t stride = size_t(width) * 4;
    for (int y = 0; y < height; ++y)
        png_write_row(png, const_cast<png_bytep>(rgba.data() + size_t(y) * stride));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}
