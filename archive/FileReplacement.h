#pragma once

#include <QString>

// Puts a complete new version of one of the archive's files in its place, so
// that the file is always wholly old or wholly new, whatever instant the
// process stops at. A file with one name is replaced by a rename. A file with
// further names (hard links) keeps its identity instead: the complete file is
// renamed to the journal `<target>.copying` and then copied into the target in
// place; a copy that was stopped is finished from the journal by the next
// opening for changes, and a reading opening reads the journal.
namespace FileReplacement {

QString JournalPath(const QString &target);

// `complete` is closed, synced and lies beside `target` (links already resolved).
// `mayGrowFirst`: zero bytes at the end of the target mean nothing (a data
// file), so a longer new version first grows the target, and a full disk stops
// the replacement before it begins.
bool Commit(const QString &complete, const QString &target, bool mayGrowFirst);

// Copies the journal of a stopped Commit into `target` and removes it. True when
// there was none.
bool FinishJournal(const QString &target);

} // namespace FileReplacement
