#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <string>
#include <vector>

// Realistic archives and import files for the benchmarks, written byte by byte
// and repeatable: the same seed gives the same bytes.
//
// Sizes follow the stock archives: most entries 2–200 KB, about one in seventy
// 200 KB–2.6 MB, one entry of exactly 2.6 MB, no gaps, data right behind the
// directory (version 2; 3 spare records at the stock entry count) or from
// sector 0 (version 1). Version 1 archives also hold the stock oddities: a few
// entries of size 0 sharing their offset with the next one, a few duplicate
// names, mixed-case names.
namespace SyntheticArchive {

struct Shape
{
    int version = 2;
    int entries = 0;
    quint64 seed = 1;
    // Sparse: the data region is a hole; only the directory is written. For
    // archives whose data no benchmark reads (open, import into N entries).
    bool sparse = false;
};

struct Summary
{
    qint64 entries = 0;
    qint64 dataBytes = 0;      // size of the .img file
    qint64 directoryBytes = 0; // bytes of the records (version 2: plus the 8-byte header)
    qint64 largestEntry = 0;   // bytes
};

// The largest entry every archive holds, in bytes.
constexpr qint64 kLargestEntryBytes = 2600000;

// Writes `imgPath` (and for version 1 the .dir beside it); false on an I/O error.
bool Write(const QString &imgPath, const Shape &shape, Summary *summary);

// Writes `count` files with names no generated archive uses into `folder`
// (which must exist); returns their paths sorted by name, or an empty list on error.
std::vector<std::string> WriteImportFiles(const QString &folder, int count, quint64 seed, qint64 *totalBytes);

// A small, fast, portable generator (splitmix64), so sizes do not depend on the
// standard library's distributions.
class Random
{
public:
    explicit Random(quint64 seed)
        : state(seed)
    {
    }
    quint64 Next();
    double Unit(); // [0, 1)

private:
    quint64 state;
};

// One entry size in bytes from the stock mix.
qint64 EntryBytes(Random &random);

} // namespace SyntheticArchive
