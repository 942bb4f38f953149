#include "cli/CheckCommand.h"

#include "archive/ArchiveChecker.h"
#include "archive/StoppedReplacement.h"
#include "cli/Console.h"
#include "cli/EntryReport.h"
#include "cli/ProgressPrinter.h"
#include "renderware/RenderWareCheck.h"

#include <algorithm>

CheckCommand::CheckCommand()
    : ArchiveCommand(
          QStringLiteral("check"), QStringLiteral("Report what is wrong with an archive, changing nothing."),
          QStringLiteral("Read every entry and report what is wrong, changing nothing: data past the end "
                         "of the data file, overlapping entries, a version 2 directory running into entry "
                         "data, duplicate names, names without a terminating zero or not UTF-8, "
                         "unreadable data; and files on disk that a stopped rebuild, convert or directory "
                         "write left other than the archive it leaves once completed. Exit status 1 when "
                         "problems are found."),
          {ArchivePositional()}, 1, 1, ArchiveSession::Access::Read, Progress::Bar)
    , strictOption(QStringLiteral("strict"),
                   QStringLiteral("Also report what a game may trip over: content that does not match the "
                                  "extension (.dff not a Clump, .txd not a Texture Dictionary, .col without "
                                  "a collision magic, .ifp without an animation magic), RenderWare chunks "
                                  "running past their entry, data out of directory order, gaps between "
                                  "entries, and what reading dictionaries and models finds: a texture native "
                                  "running past its chunk, a texture count that disagrees with the textures "
                                  "found, level data shorter than its size and format need, textures a .dff's "
                                  "materials use that the .txd of the same name lacks."))
{
    AddOption(strictOption);
    AddOption(QuietOption());
    notesUnfinishedReplacement = false; // said more precisely below
}

int CheckCommand::RunOn(ArchiveSession &session, ProgressPrinter &progress)
{
    ArchiveChecker checker(session.img);
    checker.onEntry = [&progress](int, const QString &name) {
        progress.SetLabel(name);
        progress.Step();
    };
    progress.Start(int(session.img.directory.size()));
    const std::vector<ArchiveProblem> problems =
        IsSet(strictOption) ? checker.CheckStrict() : checker.Check();
    progress.Finish();
    // The entries were read as completing a stopped replacement will leave them;
    // whoever reads the files directly sees them as they lie.
    const StoppedReplacement stopped = StoppedReplacement::Of(archivePath);
    const int diskProblems = stopped.FilesAreTheArchive() ? 0 : 1;
    if (!stopped.FilesAreTheArchive()) {
        QStringList pairs;
        for (const StoppedReplacement::Unfinished &file : stopped.unfinished)
            pairs << QStringLiteral("%1 is still to be replaced by %2").arg(file.file, file.pending);
        Console::Error(
            QStringLiteral("%1: the files on disk are not the archive: a rebuild, convert or directory "
                           "write was stopped half way (%2); run any changing command, such as "
                           "ostrevale-cli rebuild, or open it in the editor, to complete it")
                .arg(archivePath, pairs.join(QLatin1String(", "))));
    } else if (!stopped.leftovers.isEmpty()) {
        Console::Error(QStringLiteral("%1: the archive on disk is whole; left over from a stopped rebuild or "
                                      "directory write, and no part of it: %2")
                           .arg(archivePath, stopped.leftovers.join(QLatin1String(", "))));
    }

    const qint64 dataFileBytes = session.img.imgFile.size();
    std::vector<std::pair<int, QString>> lines;
    for (const ArchiveProblem &problem : problems)
        lines.emplace_back(problem.entry, EntryReport::Problem(problem, session.img.directory, dataFileBytes,
                                                               checker.ContentTypes()));
    if (IsSet(strictOption)) {
        // What the RenderWare reader finds inside dictionaries and models, after each entry's other problems.
        for (const RenderWareProblem &problem : RenderWareCheck(session.img).Check(checker.ContentTypes()))
            lines.emplace_back(problem.entry, EntryReport::EntryLabel(session.img.directory, problem.entry) +
                                                  QStringLiteral(": ") + problem.message);
        std::stable_sort(lines.begin(), lines.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
    }
    QString text;
    for (const auto &line : lines)
        text += line.second + QLatin1Char('\n');
    const size_t entries = session.img.directory.size();
    text += QStringLiteral("%1 %2 checked, %3 %4 found\n")
                .arg(entries)
                .arg(QLatin1String(entries == 1 ? "entry" : "entries"))
                .arg(lines.size() + diskProblems)
                .arg(QLatin1String(lines.size() + diskProblems == 1 ? "problem" : "problems"));
    Console::Out(text);
    return lines.empty() && diskProblems == 0 ? ExitOk : ExitFailed;
}
