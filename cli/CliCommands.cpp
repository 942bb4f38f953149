#include "cli/CliCommands.h"

#include "archive/ArchiveChecker.h"
#include "archive/FolderFiles.h"
#include "cli/ArchiveSession.h"
#include "cli/Console.h"
#include "cli/EntryReport.h"
#include "cli/EntrySelection.h"
#include "cli/ProgressPrinter.h"
#include "cli/RowIndexModel.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <set>

namespace {

enum OptionFlag { Quiet = 1, Version = 2, Force = 4, Regex = 8, Sort = 16, Json = 32, Output = 64 };

// The progress bar of a command that shows none.
ProgressPrinter &Silent()
{
    static ProgressPrinter none(stderr, false);
    return none;
}

} // namespace

struct CliCommands::Command
{
    struct Positional
    {
        const char *syntax;
        const char *description;
    };

    const char *name;
    const char *brief; // one line for the overview
    const char *summary;
    std::vector<Positional> positionals;
    int minArgs;
    int maxArgs; // -1: any number
    int options;
    int (CliCommands::*run)();
};

const CliCommands::Command *CliCommands::FindCommand(const QString &name)
{
    for (const Command &c : Commands()) {
        if (name == QLatin1String(c.name))
            return &c;
    }
    return nullptr;
}

const std::vector<CliCommands::Command> &CliCommands::Commands()
{
    using C = CliCommands;
    const Command::Positional kArchive = {"ARCHIVE.img", "The archive's .img file."};
    static const std::vector<C::Command> commands = {
        {"create",
         "Create a new, empty archive of version 1 or 2.",
         "Create a new, empty archive. An existing archive (its .img, or for version 1 also its .dir) is "
         "left alone unless --force is given.",
         {{"ARCHIVE.img", "Path of the new .img file; version 1 also makes the .dir beside it."}},
         1,
         1,
         Version | Force,
         &C::Create},
        {"info",
         "Show the version, the entry count and the use of the data file's bytes.",
         "Show the version, the entry count and how the bytes of the data file are used.",
         {kArchive},
         1,
         1,
         0,
         &C::Info},
        {"list",
         "List the entries (the window's four columns, or JSON).",
         "List the entries, one per line: name, size in KB, number and byte offset, separated by tabs "
         "(the columns of the window's table), or as JSON with the raw record fields.",
         {kArchive},
         1,
         1,
         Regex | Sort | Json,
         &C::List},
        {"add",
         "Import files and the files of folders.",
         "Import files. A file whose name an entry already has (ASCII case ignored) replaces that entry; "
         "the others are added at the end.",
         {kArchive,
          {"PATH...",
           "Files to import; a folder stands for the plain files directly inside it (no hidden files, "
           "no subfolders), in name order ignoring case."}},
         2,
         -1,
         Quiet,
         &C::Add},
        {"extract",
         "Write entries out as files into a folder.",
         "Write entries out as files into a folder: the named entries, those matching --regex, or all. Of "
         "several entries with the same name only the first is written; the others are reported.",
         {kArchive, {"[NAME...]", "Names of the entries to extract (ASCII case ignored)."}},
         1,
         -1,
         Output | Regex | Quiet,
         &C::Extract},
        {"delete",
         "Remove entries by name.",
         "Remove the named entries: every entry of each name. Nothing is removed when a name is unknown.",
         {kArchive, {"NAME...", "Names of the entries to delete (ASCII case ignored)."}},
         2,
         -1,
         0,
         &C::Delete},
        {"rename",
         "Rename an entry.",
         "Give an entry a new name of at most 23 UTF-8 bytes that no other entry has. When several entries "
         "share the old name, the first one is renamed.",
         {kArchive, {"OLD", "The entry's present name (ASCII case ignored)."}, {"NEW", "Its new name."}},
         3,
         3,
         0,
         &C::Rename},
        {"rebuild",
         "Compact the archive, reclaiming unreferenced space.",
         "Compact the archive: copy the data of every entry, without gaps, into new files that then replace "
         "the archive's files.",
         {kArchive},
         1,
         1,
         Quiet,
         &C::Rebuild},
        {"check",
         "Report what is wrong with an archive, changing nothing.",
         "Read every entry and report what is wrong, changing nothing: data past the end of the data file, "
         "overlapping entries, a version 2 directory running into entry data, duplicate names, names without "
         "a terminating zero or not UTF-8, unreadable data. Exit status 1 when problems are found.",
         {kArchive},
         1,
         1,
         Quiet,
         &C::Check},
    };
    return commands;
}

CliCommands::CliCommands()
    : helpOption({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."))
    , quietOption({QStringLiteral("q"), QStringLiteral("quiet")}, QStringLiteral("Show no progress bar."))
    , versionOption(QStringLiteral("version"),
                    QStringLiteral("Archive version: 1 (.img and .dir) or 2 (one .img)."),
                    QStringLiteral("1|2"))
    , forceOption(QStringLiteral("force"), QStringLiteral("Replace an existing archive at that path."))
    , regexOption(QStringLiteral("regex"),
                  QStringLiteral("Only entries whose name contains a match of this regular expression "
                                 "(case-sensitive, as the window's search box)."),
                  QStringLiteral("RE"))
    , sortOption(QStringLiteral("sort"), QStringLiteral("Order of the entries (default: number)."),
                 QStringLiteral("name|size|offset|number"), QStringLiteral("number"))
    , jsonOption(QStringLiteral("json"),
                 QStringLiteral("Print a JSON array of {name, offset, size, reserved, "
                                "number}; offset and size in sectors of 2048 bytes."))
    , outputOption({QStringLiteral("o"), QStringLiteral("output")},
                   QStringLiteral("The folder to write the files into; it must exist."),
                   QStringLiteral("FOLDER"))
{
}

QString CliCommands::Overview()
{
    QString text =
        QStringLiteral("Usage: %1 COMMAND ARCHIVE.img [ARGS]\n"
                       "Edits IMG game archives of version 1 (a .img data file and a .dir beside it)\n"
                       "and version 2 (one .img beginning with \"VER2\").\n\nCommands:\n")
            .arg(QLatin1String(Console::kProgramName));
    for (const Command &c : Commands()) {
        text +=
            QStringLiteral("  %1 %2\n").arg(QString::fromLatin1(c.name), -8).arg(QString::fromUtf8(c.brief));
    }
    text += QStringLiteral("\n'%1 COMMAND --help' describes a command and its options.\n"
                           "Exit status: 0 success, 1 an archive or file error, 2 wrong usage.\n")
                .arg(QLatin1String(Console::kProgramName));
    return text;
}

int CliCommands::UsageError(const QString &message) const
{
    Console::Error(message);
    if (command)
        Console::Err(QStringLiteral("Try '%1 %2 --help'.\n")
                         .arg(QLatin1String(Console::kProgramName), QLatin1String(command->name)));
    else
        Console::Err(QStringLiteral("Try '%1 --help'.\n").arg(QLatin1String(Console::kProgramName)));
    return ExitUsage;
}

bool CliCommands::ArgumentCountFits(const Command &c, int count) const
{
    return count >= c.minArgs && (c.maxArgs < 0 || count <= c.maxArgs);
}

int CliCommands::Run(const QStringList &arguments)
{
    const QString word = arguments.value(1);
    if (word.isEmpty()) {
        Console::Err(Overview());
        return ExitUsage;
    }
    if (word == QLatin1String("-h") || word == QLatin1String("--help") || word == QLatin1String("help")) {
        Console::Out(Overview());
        return ExitOk;
    }
    if (word == QLatin1String("--version")) {
        Console::Out(QStringLiteral("%1 %2\n").arg(QLatin1String(Console::kProgramName),
                                                   QCoreApplication::applicationVersion()));
        return ExitOk;
    }
    command = FindCommand(word);
    if (!command)
        return UsageError(QStringLiteral("unknown command '%1'").arg(word));

    parser.setApplicationDescription(QString::fromUtf8(command->summary));
    parser.addPositionalArgument(QString::fromLatin1(command->name), QString::fromUtf8(command->brief),
                                 QString::fromLatin1(command->name));
    for (const Command::Positional &p : command->positionals)
        parser.addPositionalArgument(QString::fromLatin1(p.syntax), QString::fromUtf8(p.description),
                                     QString::fromLatin1(p.syntax));
    parser.addOption(helpOption);
    const std::pair<int, const QCommandLineOption *> optional[] = {
        {Output, &outputOption}, {Version, &versionOption}, {Force, &forceOption}, {Regex, &regexOption},
        {Sort, &sortOption},     {Json, &jsonOption},       {Quiet, &quietOption}};
    for (const auto &o : optional) {
        if (command->options & o.first)
            parser.addOption(*o.second);
    }

    if (!parser.parse(arguments))
        return UsageError(parser.errorText());
    if (parser.isSet(helpOption)) {
        // The parser names the program by the path it was started with; the usage names it plainly.
        QString help = parser.helpText();
        const int options = help.indexOf(QStringLiteral(" [options]"));
        if (help.startsWith(QStringLiteral("Usage: ")) && options > 0)
            help.replace(7, options - 7, QLatin1String(Console::kProgramName));
        Console::Out(help);
        return ExitOk;
    }
    args = parser.positionalArguments().mid(1);
    if (!ArgumentCountFits(*command, args.size())) {
        QString syntax;
        for (const Command::Positional &p : command->positionals)
            syntax += QLatin1Char(' ') + QLatin1String(p.syntax);
        return UsageError(
            QStringLiteral("wrong number of arguments; usage: %1 %2 [options]%3")
                .arg(QLatin1String(Console::kProgramName), QLatin1String(command->name), syntax));
    }
    archivePath = args.first();
    return (this->*(command->run))();
}

std::unique_ptr<ProgressPrinter> CliCommands::MakeProgress() const
{
    const bool quiet = (command->options & Quiet) && parser.isSet(quietOption);
    return std::make_unique<ProgressPrinter>(stderr, ProgressPrinter::WantedOn(stderr, quiet),
                                             ProgressPrinter::TerminalColumns(stderr));
}

bool CliCommands::ParseRegex(QRegExp &pattern, int &status) const
{
    if (!parser.isSet(regexOption))
        return true;
    pattern = QRegExp(parser.value(regexOption), Qt::CaseSensitive, QRegExp::RegExp);
    if (pattern.isValid())
        return true;
    status = UsageError(QStringLiteral("invalid regular expression '%1': %2")
                            .arg(parser.value(regexOption), pattern.errorString()));
    return false;
}

int CliCommands::Create()
{
    if (!parser.isSet(versionOption))
        return UsageError(QStringLiteral("create needs --version 1 or --version 2"));
    const QString versionText = parser.value(versionOption);
    if (versionText != QLatin1String("1") && versionText != QLatin1String("2"))
        return UsageError(QStringLiteral("--version must be 1 or 2, not '%1'").arg(versionText));
    const int version = versionText.toInt();

    // A script that names an existing archive by mistake must not wipe it.
    if (!parser.isSet(forceOption)) {
        QStringList existing;
        if (QFileInfo::exists(archivePath))
            existing << archivePath;
        if (version == 1 && QFileInfo::exists(DirPathFor(archivePath)))
            existing << DirPathFor(archivePath);
        for (const QString &path : existing)
            Console::Error(QStringLiteral("%1 already exists; --force replaces it").arg(path));
        if (!existing.isEmpty())
            return ExitFailed;
    }

    ArchiveSession session(Silent());
    if (!session.img.CreateArchive(archivePath, version))
        return ExitFailed;
    // Opened once, as the window opens what it creates: a new version 2 archive
    // thereby gets its whole header sector on disk.
    if (!session.img.OpenArchive(archivePath))
        return ExitFailed;
    session.img.CloseArchive();
    return session.Errors() ? ExitFailed : ExitOk;
}

int CliCommands::Info()
{
    ArchiveSession session(Silent());
    if (!session.Open(archivePath, ArchiveSession::Access::Read))
        return ExitFailed;
    const ArchiveSpace space = ArchiveChecker(session.img).MeasureSpace();
    Console::Out(EntryReport::Info(session.img.version, session.img.directory.size(), space,
                                   session.img.freeDirectorySlots));
    return ExitOk;
}

int CliCommands::List()
{
    const QString sortText = parser.value(sortOption);
    EntrySelection::SortKey key;
    if (sortText == QLatin1String("number"))
        key = EntrySelection::SortKey::Number;
    else if (sortText == QLatin1String("name"))
        key = EntrySelection::SortKey::Name;
    else if (sortText == QLatin1String("size"))
        key = EntrySelection::SortKey::Size;
    else if (sortText == QLatin1String("offset"))
        key = EntrySelection::SortKey::Offset;
    else
        return UsageError(
            QStringLiteral("--sort must be name, size, offset or number, not '%1'").arg(sortText));
    QRegExp pattern;
    int status = ExitOk;
    if (!ParseRegex(pattern, status))
        return status;

    ArchiveSession session(Silent());
    if (!session.Open(archivePath, ArchiveSession::Access::Read))
        return ExitFailed;
    const EntrySelection selection(session.img.directory);
    std::vector<int> rows = parser.isSet(regexOption) ? selection.Matching(pattern) : selection.All();
    selection.Sort(rows, key);
    if (parser.isSet(jsonOption)) {
        Console::OutBytes(EntryReport::Json(session.img.directory, rows));
        return ExitOk;
    }
    QString text;
    for (int row : rows)
        text += EntryReport::TableLine(session.img.directory, row);
    Console::Out(text);
    return ExitOk;
}

int CliCommands::Add()
{
    QStringList files;
    QStringList missing;
    for (const QString &path : args.mid(1)) {
        const QFileInfo info(path);
        if (info.isDir())
            files << CollectFolderFiles(QDir(path));
        else if (info.exists())
            files << path;
        else
            missing << path;
    }
    for (const QString &path : missing)
        Console::Error(QStringLiteral("%1: no such file or folder").arg(path));
    if (!missing.isEmpty())
        return ExitFailed;
    if (files.isEmpty()) {
        Console::Error(QStringLiteral("没有文件可以导入"));
        return ExitFailed;
    }

    const auto progress = MakeProgress();
    ArchiveSession session(*progress);
    if (!session.Open(archivePath, ArchiveSession::Access::Change))
        return ExitFailed;
    progress->Start(files.size());
    session.img.ImportFiles(files);
    progress->Finish();
    return session.Errors() ? ExitFailed : ExitOk;
}

bool CliCommands::SelectNamed(const EntrySelection &selection, const QStringList &names,
                              std::vector<int> &rows)
{
    std::set<int> chosen;
    bool allKnown = true;
    for (const QString &name : names) {
        const std::vector<int> found = selection.Named(name);
        if (found.empty()) {
            Console::Error(QStringLiteral("no entry named '%1'").arg(name));
            allKnown = false;
        }
        chosen.insert(found.begin(), found.end());
    }
    rows.assign(chosen.begin(), chosen.end());
    return allKnown;
}

int CliCommands::Extract()
{
    if (!parser.isSet(outputOption))
        return UsageError(QStringLiteral("extract needs -o FOLDER"));
    const QStringList names = args.mid(1);
    if (!names.isEmpty() && parser.isSet(regexOption))
        return UsageError(QStringLiteral("give entry names or --regex, not both"));
    QRegExp pattern;
    int status = ExitOk;
    if (!ParseRegex(pattern, status))
        return status;

    const auto progress = MakeProgress();
    ArchiveSession session(*progress);
    if (!session.Open(archivePath, ArchiveSession::Access::Read))
        return ExitFailed;
    const std::vector<IMGDirectoryEntryWrap> &directory = session.img.directory;
    const EntrySelection selection(directory);
    std::vector<int> rows;
    if (!names.isEmpty()) {
        if (!SelectNamed(selection, names, rows))
            return ExitFailed;
    } else {
        rows = parser.isSet(regexOption) ? selection.Matching(pattern) : selection.All();
    }

    // Entries of one name would all be written to one file: only the first is.
    const auto namesakes = selection.LaterNamesakes(rows);
    std::vector<char> skipped(directory.size(), 0);
    for (const auto &pair : namesakes)
        skipped[size_t(pair.first)] = 1;
    rows.erase(std::remove_if(rows.begin(), rows.end(), [&](int row) { return skipped[size_t(row)] != 0; }),
               rows.end());

    const RowIndexModel model(int(directory.size()));
    progress->Start(int(rows.size()));
    session.img.ExportEntries(parser.value(outputOption), model.Indexes(rows));
    progress->Finish();
    for (const auto &pair : namesakes)
        Console::Error(QStringLiteral("%1 not extracted: same name as %2")
                           .arg(EntryReport::EntryLabel(directory, pair.first),
                                EntryReport::EntryLabel(directory, pair.second)));
    return session.Errors() || !namesakes.empty() ? ExitFailed : ExitOk;
}

int CliCommands::Delete()
{
    ArchiveSession session(Silent());
    if (!session.Open(archivePath, ArchiveSession::Access::Change))
        return ExitFailed;
    std::vector<int> rows;
    if (!SelectNamed(EntrySelection(session.img.directory), args.mid(1), rows))
        return ExitFailed;
    const RowIndexModel model(int(session.img.directory.size()));
    session.img.DeleteEntries(model.Indexes(rows));
    return session.Errors() ? ExitFailed : ExitOk;
}

int CliCommands::Rename()
{
    ArchiveSession session(Silent());
    if (!session.Open(archivePath, ArchiveSession::Access::Change))
        return ExitFailed;
    const std::vector<int> rows = EntrySelection(session.img.directory).Named(args.at(1));
    if (rows.empty()) {
        Console::Error(QStringLiteral("no entry named '%1'").arg(args.at(1)));
        return ExitFailed;
    }
    return session.img.RenameEntry(rows.front(), args.at(2)) ? ExitOk : ExitFailed;
}

int CliCommands::Rebuild()
{
    const auto progress = MakeProgress();
    ArchiveSession session(*progress);
    if (!session.Open(archivePath, ArchiveSession::Access::Change))
        return ExitFailed;
    progress->Start(int(session.img.directory.size()));
    session.img.Rebuild();
    progress->Finish();
    // Opened again from disk as the window does, whatever the outcome: this
    // finishes what the files need on opening and proves the result opens.
    const QString path = session.img.ImgFileName();
    session.img.CloseArchive();
    if (session.img.OpenArchive(path))
        session.img.CloseArchive();
    return session.Errors() ? ExitFailed : ExitOk;
}

int CliCommands::Check()
{
    const auto progress = MakeProgress();
    ArchiveSession session(*progress);
    if (!session.Open(archivePath, ArchiveSession::Access::Read))
        return ExitFailed;
    ArchiveChecker checker(session.img);
    checker.onEntry = [&progress](int, const QString &name) {
        progress->SetLabel(name);
        progress->Step();
    };
    progress->Start(int(session.img.directory.size()));
    const std::vector<ArchiveProblem> problems = checker.Check();
    progress->Finish();

    const qint64 dataFileBytes = session.img.imgFile.size();
    QString text;
    for (const ArchiveProblem &problem : problems)
        text += EntryReport::Problem(problem, session.img.directory, dataFileBytes) + QLatin1Char('\n');
    const size_t entries = session.img.directory.size();
    text += QStringLiteral("%1 %2 checked, %3 %4 found\n")
                .arg(entries)
                .arg(QLatin1String(entries == 1 ? "entry" : "entries"))
                .arg(problems.size())
                .arg(QLatin1String(problems.size() == 1 ? "problem" : "problems"));
    Console::Out(text);
    return problems.empty() ? ExitOk : ExitFailed;
}
