#include "cli/Console.h"

#include <cstdio>

namespace Console {

namespace {

void Write(FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void Out(const QString &text)
{
    Write(stdout, text.toUtf8());
}

void OutBytes(const QByteArray &bytes)
{
    Write(stdout, bytes);
}

void Err(const QString &text)
{
    Write(stderr, text.toUtf8());
}

void Error(const QString &message)
{
    Err(QLatin1String(kProgramName) + QStringLiteral(": ") + message + QLatin1Char('\n'));
}

} // namespace Console
