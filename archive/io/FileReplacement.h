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

// The same for a data file and its directory together (a version 1 archive),
// with the two renames directly one after the other: nothing that takes time
// stands between them. The replaced files are held open until both renames are
// done, so freeing their blocks comes after, as do syncing the folders and
// copying the journals of hard-linked files. False after a failed step, with
// `*failedTarget` naming its target; the data counts as committed exactly when
// `dataComplete` is gone (the next opening for changes completes the rest).
bool CommitPair(const QString &dataComplete, const QString &dataTarget, const QString &dirComplete,
                const QString &dirTarget, QString *failedTarget);

// Copies the journal of a stopped Commit into `target` and removes it. True when
// there was none.
bool FinishJournal(const QString &target);

} // namespace FileReplacement
