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
    , longOption(QStringLiteral("long"),
                 QStringLiteral("Add two columns told from each entry's first bytes, never its name: the "
                                "type (Clump, Texture Dictionary, 'chunk 0xNN' for another RenderWare "
                                "chunk, COLL, COL2, COL3, COL4, ANP3, ANPK, bnry, empty or data) and for "
                                "RenderWare the game (III, VC, SA) or the version number, '-' otherwise. "
                                "In JSON: the fields type and rwVersion (null when not RenderWare)."))
{
    AddOption(RegexOption());
    AddOption(sortOption);
    AddOption(jsonOption);
    AddOption(longOption);
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
    std::vector<ContentType> types;
    if (IsSet(longOption) && !session.img.DetectContentTypes(types))
        return ExitFailed;
    const std::vector<ContentType> *shownTypes = IsSet(longOption) ? &types : nullptr;
    OutputWriter out;
    if (IsSet(jsonOption))
        EntryReport::WriteJson(out, session.img.directory, rows, shownTypes);
    else
        EntryReport::WriteTable(out, session.img.directory, rows, shownTypes);
    return ExitOk;
}
