#pragma once

#include "archive/ArchiveChecker.h"
#include "archive/IMGFormat.h"

#include <QByteArray>
#include <QString>

class OutputWriter;

#include <vector>

// The command line's texts about entries and archives.
namespace EntryReport {

// One line per row of the entry table, tab-separated in the window's column
// order: name, size in KB, number, byte offset.
void WriteTable(OutputWriter &out, const std::vector<IMGDirectoryEntryWrap> &directory,
                const std::vector<int> &rows);

// A JSON array with one object per row: name, number, offset, reserved, size
// (the raw record fields, offset and size in sectors; number is the directory
// position), laid out as QJsonDocument's indented form, written as it goes.
void WriteJson(OutputWriter &out, const std::vector<IMGDirectoryEntryWrap> &directory,
               const std::vector<int> &rows);

// "key: value" lines describing an open archive.
QString Info(int version, size_t entries, const ArchiveSpace &space, int freeDirectorySlots);

// One line for a problem found by the checker.
QString Problem(const ArchiveProblem &problem, const std::vector<IMGDirectoryEntryWrap> &directory,
                qint64 dataFileBytes);

// "entry N (name)", with bytes that are not UTF-8 written as \xNN.
QString EntryLabel(const std::vector<IMGDirectoryEntryWrap> &directory, int row);

} // namespace EntryReport
