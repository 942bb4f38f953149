#pragma once

#include <QString>

// Generates the archives, runs every operation and its baseline side by side,
// prints one table and writes the results file with the machine's description.
namespace BenchRunner {

struct Options
{
    bool full = false;
    QString workFolder;  // on the disk being measured; emptied by the caller
    QString resultsPath; // RESULTS.md to write, or empty
    QString notesPath;   // hand-written notes appended to the results, or empty
    QString chartPath;   // the chart (SVG) drawn from the judged rows, or empty; its data
                         // goes beside it (same name, .tsv) for bench/results.gp
    QString self;        // this program, run again for every measured operation
};

int Run(const Options &options);

} // namespace BenchRunner
