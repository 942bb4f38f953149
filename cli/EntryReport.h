#pragma once

#include "archive/ArchiveChecker.h"
#include "archive/format/IMGFormat.h"

#include <QByteArray>
#include <QString>

class OutputWriter;

#include <vector>

// The command line's texts about entries and archives.
namespace EntryReport {

// One line per row of the entry table, tab-separated in the window's column
// order: name, size in KB, number, byte offset. With `types`, two more: the
// content type and the RenderWare game or version ("-" for none).
void WriteTable(OutputWriter &out, const std::vector<IMGDirectoryEntryWrap> &directory,
                const std::vector<int> &rows, const std::vector<ContentType> *types = nullptr);

// A JSON array with one object per row: name, number, offset, reserved, size
// (the raw record fields, offset and size in sectors; number is the directory
// position), laid out as QJsonDocument's indented form, written as it goes.
// With `types`, also type and rwVersion (null when not RenderWare).
void WriteJson(OutputWriter &out, const std::vector<IMGDirectoryEntryWrap> &directory,
               const std::vector<int> &rows, const std::vector<ContentType> *types = nullptr);

// "key: value" lines describing an open archive.
QString Info(int version, size_t entries, const ArchiveSpace &space, int freeDirectorySlots);

// "type NAME: N" and "RenderWare version V: N" lines, each group in name order.
QString TypeCounts(const std::vector<ContentType> &types);

// One line for a problem found by the checker; `types` are the checker's content types (after CheckStrict).
QString Problem(const ArchiveProblem &problem, const std::vector<IMGDirectoryEntryWrap> &directory,
                qint64 dataFileBytes, const std::vector<ContentType> &types = {});

// "entry N (name)", with bytes that are not UTF-8 written as \xNN.
QString EntryLabel(const std::vector<IMGDirectoryEntryWrap> &directory, int row);

} // namespace EntryReport
