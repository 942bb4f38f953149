#include "cli/ListCommand.h"

#include "cli/Console.h"
#include "cli/EntryReport.h"
#include "cli/EntrySelection.h"
#include "cli/OutputWriter.h"

ListCommand::ListCommand()
    : ArchiveCommand(
          QStringLiteral("list"), QStringLiteral("List the entries (the window's four columns, or JSON)."),
          QStringLiteral("List the entries, one per line: name, size in KB, number and byte offset, "
                         "separated by tabs (the columns of the window's table), or as JSON with the raw "
                         "record fields."),
          {ArchivePositional()}, 1, 1, ArchiveSession::Access::Read, Progress::None)
    , sortOption(QStringLiteral("sort"), QStringLiteral("Order of the entries (default: number)."),
                 QStringLiteral("name|size|offset|number"), QStringLiteral("number"))
    , jsonOption(QStringLiteral("json"),
                 QStringLiteral("Print a JSON array of {name, offset, size, reserved, "
                                "number}; offset and size in sectors of 2048 bytes."))
{
    AddOption(RegexOption());
    AddOption(sortOption);
    AddOption(jsonOption);
}

int ListCommand::CheckArguments()
{
    const QString sortText = Value(sortOption);
    if (sortText == QLatin1String("number"))
        sortColumn = EntryOrder::NumberColumn;
    else if (sortText == QLatin1String("name"))
        sortColumn = EntryOrder::NameColumn;
    else if (sortText == QLatin1String("size"))
        sortColumn = EntryOrder::SizeColumn;
    else if (sortText == QLatin1String("offset"))
        sortColumn = EntryOrder::OffsetColumn;
    else
        return UsageError(
            QStringLiteral("--sort must be name, size, offset or number, not '%1'").arg(sortText));
    int status = ExitOk;
    ParseRegex(pattern, status);
    return status;
}

int ListCommand::RunOn(ArchiveSession &session, ProgressPrinter &)
{
    const EntrySelection selection(session.img);
    std::vector<int> rows = IsSet(RegexOption()) ? selection.Matching(pattern) : selection.All();
    selection.Sort(rows, sortColumn);
    OutputWriter out;
    if (IsSet(jsonOption))
        EntryReport::WriteJson(out, session.img.directory, rows);
    else
        EntryReport::WriteTable(out, session.img.directory, rows);
    return ExitOk;
}
