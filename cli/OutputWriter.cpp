#include "cli/OutputWriter.h"

#include <algorithm>
#include <cstring>

OutputWriter::OutputWriter(std::FILE *stream)
    : stream(stream)
{
}

OutputWriter::~OutputWriter()
{
    Flush();
}

void OutputWriter::Write(const char *data, size_t size)
{
    while (size > 0) {
        if (used == kBlock)
            Flush();
        const size_t n = std::min(size, kBlock - used);
        std::memcpy(block + used, data, n);
        used += n;
        data += n;
        size -= n;
    }
}

void OutputWriter::Number(qint64 value)
{
    char digits[24];
    int n = 0;
    quint64 magnitude = value < 0 ? quint64(0) - quint64(value) : quint64(value);
    do {
        digits[n++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        Write('-');
    while (n > 0)
        Write(digits[--n]);
}

void OutputWriter::Flush()
{
    if (used > 0)
        std::fwrite(block, 1, used, stream);
    used = 0;
    std::fflush(stream);
}
