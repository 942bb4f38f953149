#include "cli/DiffCommand.h"

#include "cli/ArchiveSession.h"
#include "cli/Console.h"
#include "cli/ProgressPrinter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// diff(1) and cmp(1): 0 the same, 1 different, 2 trouble.
constexpr int kDifferent = 1;
constexpr int kTrouble = 2;

QJsonArray Names(const std::vector<IMGDirectoryEntryWrap> &directory, const std::vector<int> &positions)
{
    QJsonArray names;
    for (int p : positions)
        names.append(EntryName(directory[size_t(p)].entry));
    return names;
}

} // namespace

DiffCommand::DiffCommand()
    : Command(QStringLiteral("diff"), QStringLiteral("Show which entries differ between two archives."),
              QStringLiteral("Compare two archives of either version. Entries are paired by name (ASCII case "
                             "ignored; entries of one name in directory order) and compared by the bytes of "
                             "their sectors as stored. Prints '- NAME' for an entry only in the first, "
                             "'~ NAME' for a paired entry whose bytes differ (both in the first archive's "
                             "order), then '+ NAME' for an entry only in the second. Exit status as cmp: 0 "
                             "the same, 1 different, 2 trouble."),
              {{QStringLiteral("A.img"), QStringLiteral("The first archive."), Completion::Archive},
               {QStringLiteral("B.img"), QStringLiteral("The second archive."), Completion::Archive}},
              2, 2)
    , jsonOption(QStringLiteral("json"),
                 QStringLiteral("Print {\"removed\": [...], \"added\": [...], \"changed\": [...]} with the "
                                "entry names instead."))
{
    AddOption(jsonOption);
    AddOption(QuietOption());
}

int DiffCommand::Run()
{
    const std::unique_ptr<ProgressPrinter> progress = MakeProgress();
    ArchiveSession first(*progress);
    ArchiveSession second(Silent());
    if (!first.Open(args.at(0), ArchiveSession::Access::Read) ||
        !second.Open(args.at(1), ArchiveSession::Access::Read))
        return kTrouble;
    const std::vector<IMGDirectoryEntryWrap> &a = first.img.directory;
    const std::vector<IMGDirectoryEntryWrap> &b = second.img.directory;

    ArchiveDifference difference;
    progress->Start(int(a.size()));
    const bool compared = first.img.CompareWith(second.img, difference);
    progress->Finish();
    if (!compared)
        return kTrouble;

    if (IsSet(jsonOption)) {
        QJsonObject object;
        object.insert(QStringLiteral("removed"), Names(a, difference.removed));
        object.insert(QStringLiteral("added"), Names(b, difference.added));
        object.insert(QStringLiteral("changed"), Names(a, difference.changed));
        Console::OutBytes(QJsonDocument(object).toJson(QJsonDocument::Indented));
    } else {
        // Removed and changed entries merged in the first archive's order.
        QString text;
        size_t r = 0, c = 0;
        while (r < difference.removed.size() || c < difference.changed.size()) {
            const bool removed =
                c >= difference.changed.size() ||
                (r < difference.removed.size() && difference.removed[r] < difference.changed[c]);
            const int position = removed ? difference.removed[r++] : difference.changed[c++];
            text += (removed ? QStringLiteral("- ") : QStringLiteral("~ ")) +
                    EntryName(a[size_t(position)].entry) + QLatin1Char('\n');
        }
        for (int position : difference.added)
            text += QStringLiteral("+ ") + EntryName(b[size_t(position)].entry) + QLatin1Char('\n');
        Console::Out(text);
    }
    return difference.Same() ? ExitOk : kDifferent;
}
