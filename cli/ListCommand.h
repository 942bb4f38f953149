#pragma once

#include "archive/format/EntryOrder.h"
#include "cli/ArchiveCommand.h"

// ostrevale-cli list: the entries as the window's table shows them, or as JSON.
class ListCommand final : public ArchiveCommand
{
public:
    ListCommand();

private:
    int CheckArguments() override;

    const QCommandLineOption sortOption;
    const QCommandLineOption jsonOption;
    const QCommandLineOption longOption;
    EntryOrder::Column sortColumn = EntryOrder::NumberColumn;
    QRegExp pattern;

    int RunOn(ArchiveSession &session, ProgressPrinter &progress) override;
};
