#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>

// One buffered writer for a command's standard output: bytes are gathered in a
// block of 64 KiB and written with one fwrite per block, so a listing of
// 100,000 entries makes a few dozen writes and never builds the whole text in
// memory first. Text is written as UTF-8, as Console writes it.
class OutputWriter
{
public:
    explicit OutputWriter(std::FILE *stream = stdout);
    ~OutputWriter(); // flushes
    OutputWriter(const OutputWriter &) = delete;
    OutputWriter &operator=(const OutputWriter &) = delete;

    void Write(const char *data, size_t size);
    void Write(const QByteArray &bytes) { Write(bytes.constData(), size_t(bytes.size())); }
    void Write(char c)
    {
        if (used == kBlock)
            Flush();
        block[used++] = c;
    }
    // A string literal, without its terminating zero.
    template <size_t N> void Literal(const char (&text)[N]) { Write(text, N - 1); }
    void Utf8(const QString &text) { Write(text.toUtf8()); }
    void Number(qint64 value);
    void Flush();

private:
    static constexpr size_t kBlock = 64 * 1024;
    std::FILE *stream;
    size_t used = 0;
    char block[kBlock];
};
