// ostrevale-texturebench: exporting every dictionary of an archive whose .txd
// entries hold DXT textures, in Mpixel/s, beside a plain loop over
// squish::DecompressImage on the same blocks, with the share PNG writing takes.
//   ostrevale-texturebench [--entries N] [--rounds R] [--work FOLDER]
#include "archive/IMGClass.h"
#include "archive/io/OwnFiles.h"
#include "bench/SyntheticTextures.h"
#include "renderware/EntryBytes.h"
#include "renderware/PngWriter.h"
#include "renderware/TextureDecoder.h"
#include "renderware/TextureDictionary.h"
#include "renderware/TextureExport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <squish.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const char *Option(int argc, char **argv, const char *name, const char *fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return argv[i + 1];
    return fallback;
}

double Seconds(QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int entries = std::atoi(Option(argc, argv, "--entries", "3000"));
    const int rounds = std::max(1, std::atoi(Option(argc, argv, "--rounds", "3")));
    QTemporaryDir temporary;
    const QString work = QString::fromLocal8Bit(Option(argc, argv, "--work", qPrintable(temporary.path())));
    const QString imgPath = QDir(work).filePath("textures.img");
    SyntheticTextures::Summary summary;
    if (!SyntheticTextures::Write(imgPath, entries, 7, &summary)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(imgPath));
        return 1;
    }
    const double mpixels = double(summary.firstLevelPixels) / 1e6;
    std::printf("archive: %d entries, %d dictionaries, %d textures, %.1f Mpixel in first levels, %.1f MiB\n",
                summary.entries, summary.dictionaries, summary.textures, mpixels,
                double(summary.dataBytes) / 1048576.0);

    IMGClass img;
    if (!img.OpenArchive(imgPath, IMGClass::OpenReadOnly))
        return 1;
    const OwnFiles ownFiles(img.imgFile, nullptr);
    const QString out = QDir(work).filePath("png");
    QDir().mkpath(out);

    double bestExport = 1e30, bestRead = 1e30, bestDecode = 1e30, bestPng = 1e30, bestSquish = 1e30;
    for (int round = 0; round < rounds; ++round) {
        // 1. The export as the command line runs it: read, decode, write PNG files.
        QElapsedTimer timer;
        timer.start();
        for (size_t i = 0; i < img.directory.size(); ++i) {
            if (!EntryName(img.directory[i].entry).endsWith(QLatin1String(".txd")))
                continue;
            QByteArray bytes;
            QString error;
            TextureDictionary dictionary;
            if (!EntryBytes::Read(img, int(i), bytes, error) || !dictionary.Read(bytes))
                return 1;
            const TextureExport::Outcome outcome = TextureExport::Write(dictionary, out, ownFiles);
            if (!outcome.failure.isEmpty() || !outcome.skipped.isEmpty())
                return 1;
        }
        bestExport = std::min(bestExport, Seconds(timer));

        // 2. The same steps timed one by one, PNG into memory.
        std::vector<TextureDictionary> dictionaries;
        timer.restart();
        for (size_t i = 0; i < img.directory.size(); ++i) {
            if (!EntryName(img.directory[i].entry).endsWith(QLatin1String(".txd")))
                continue;
            QByteArray bytes;
            QString error;
            dictionaries.emplace_back();
            if (!EntryBytes::Read(img, int(i), bytes, error) || !dictionaries.back().Read(bytes))
                return 1;
        }
        bestRead = std::min(bestRead, Seconds(timer));
        // Decoding and PNG writing, each texture into one reused buffer, as the export does it.
        std::vector<quint8> pixels;
        double decode = 0;
        double png = 0;
        for (const TextureDictionary &dictionary : dictionaries)
            for (const TextureNative &texture : dictionary.Textures()) {
                QString error;
                timer.restart();
                if (!TextureDecoder::DecodeFirstLevel(dictionary.Bytes().constData(), texture, pixels, error))
                    return 1;
                decode += Seconds(timer);
                QFile file(QDir(out).filePath(QStringLiteral("timed.png")));
                timer.restart();
                if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                    !PngWriter::Write(file, texture.width, texture.height, pixels, error))
                    return 1;
                png += Seconds(timer);
            }
        bestDecode = std::min(bestDecode, decode);
        bestPng = std::min(bestPng, png);

        // 3. The baseline: squish alone over the same blocks, into one buffer of the largest size.
        std::vector<quint8> plain(pixels.size() < (512u * 512u * 4u) ? 512u * 512u * 4u : pixels.size());
        timer.restart();
        for (const TextureDictionary &dictionary : dictionaries)
            for (const TextureNative &texture : dictionary.Textures()) {
                const int flags = texture.FormatName() == QLatin1String("DXT5") ? squish::kDxt5 : squish::kDxt1;
                squish::DecompressImage(plain.data(), texture.width, texture.height,
                                        dictionary.Bytes().constData() + texture.levels.front().offset, flags);
            }
        bestSquish = std::min(bestSquish, Seconds(timer));
    }
    std::printf("export (read, decode, PNG files): %.3f s, %.1f Mpixel/s\n", bestExport, mpixels / bestExport);
    std::printf("read entries and dictionaries:    %.3f s\n", bestRead);
    std::printf("decode:                           %.3f s, %.1f Mpixel/s\n", bestDecode, mpixels / bestDecode);
    std::printf("squish::DecompressImage alone:    %.3f s, %.1f Mpixel/s\n", bestSquish, mpixels / bestSquish);
    std::printf("decode / squish alone:            %.2f x (target <= 1.2 x)\n", bestDecode / bestSquish);
    std::printf("PNG writing:                      %.3f s, %.0f %% of the export\n", bestPng,
                100.0 * bestPng / bestExport);
    return 0;
}
