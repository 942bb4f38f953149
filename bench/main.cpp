// ostrevale-bench: the benchmark of every archive operation against the disk.
//   ostrevale-bench run --scale small|full [--work FOLDER] [--results FILE] [--notes FILE]
//                       [--chart FILE.svg]
//   ostrevale-bench gen --version 1|2 --entries N [--seed S] [--sparse] OUT.img
//   ostrevale-bench gen-files --count N [--seed S] FOLDER
//   ostrevale-bench op NAME RESULT-FILE ARGS...   (one measured operation; run by `run`)
#include "bench/BenchOperations.h"
#include "bench/BenchRunner.h"
#include "bench/SyntheticArchive.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int Usage()
{
    std::fprintf(stderr,
                 "usage: ostrevale-bench run --scale small|full [--work FOLDER] [--results FILE] "
                 "[--notes FILE] [--chart FILE.svg]\n"
                 "       ostrevale-bench gen --version 1|2 --entries N [--seed S] [--sparse] OUT.img\n"
                 "       ostrevale-bench gen-files --count N [--seed S] FOLDER\n");
    return 2;
}

// The value after `--name`, or `fallback`.
const char *Option(int argc, char **argv, const char *name, const char *fallback)
{
    for (int i = 2; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return argv[i + 1];
    return fallback;
}

bool Flag(int argc, char **argv, const char *name)
{
    for (int i = 2; i < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return true;
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return Usage();
    const std::string command = argv[1];
    if (command == "op" && argc >= 4)
        return BenchOperations::Run(argc - 2, argv + 2);
    if (command == "run") {
        BenchRunner::Options options;
        const std::string scale = Option(argc, argv, "--scale", "small");
        if (scale != "small" && scale != "full")
            return Usage();
        options.full = scale == "full";
        options.workFolder = QFile::decodeName(Option(argc, argv, "--work", ""));
        options.resultsPath = QFile::decodeName(Option(argc, argv, "--results", ""));
        options.notesPath = QFile::decodeName(Option(argc, argv, "--notes", ""));
        options.chartPath = QFile::decodeName(Option(argc, argv, "--chart", ""));
        options.self = QFile::decodeName(argv[0]);
        // Without --work: a folder of its own in the current one, removed afterwards.
        QTemporaryDir scratch(QDir::current().filePath(QStringLiteral("bench-XXXXXX")));
        if (options.workFolder.isEmpty()) {
            if (!scratch.isValid())
                return 1;
            options.workFolder = scratch.path();
        }
        return BenchRunner::Run(options);
    }
    if (command == "gen" && argc >= 3) {
        SyntheticArchive::Shape shape;
        shape.version = std::atoi(Option(argc, argv, "--version", "2"));
        shape.entries = std::atoi(Option(argc, argv, "--entries", "16316"));
        shape.seed = std::strtoull(Option(argc, argv, "--seed", "1"), nullptr, 10);
        shape.sparse = Flag(argc, argv, "--sparse");
        SyntheticArchive::Summary summary;
        if ((shape.version != 1 && shape.version != 2) ||
            !SyntheticArchive::Write(QFile::decodeName(argv[argc - 1]), shape, &summary))
            return 1;
        std::printf("%lld entries, %lld bytes, largest entry %lld bytes\n", (long long)summary.entries,
                    (long long)summary.dataBytes, (long long)summary.largestEntry);
        return 0;
    }
    if (command == "gen-files" && argc >= 3) {
        qint64 total = 0;
        const auto files = SyntheticArchive::WriteImportFiles(
            QFile::decodeName(argv[argc - 1]), std::atoi(Option(argc, argv, "--count", "1000")),
            std::strtoull(Option(argc, argv, "--seed", "1000"), nullptr, 10), &total);
        if (files.empty())
            return 1;
        std::printf("%zu files, %lld bytes\n", files.size(), (long long)total);
        return 0;
    }
    return Usage();
}
