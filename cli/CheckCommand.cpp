#include "cli/CheckCommand.h"

#include "archive/ArchiveChecker.h"
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
                         "unreadable data. Exit status 1 when problems are found."),
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
                .arg(lines.size())
                .arg(QLatin1String(lines.size() == 1 ? "problem" : "problems"));
    Console::Out(text);
    return lines.empty() ? ExitOk : ExitFailed;
}
