#pragma once

#include <QByteArray>
#include <QString>

class QFile;

// A redo journal for the writes that change a version 2 directory where it
// stands, at the start of the data file (the whole directory, or one record of
// it moved out of the way). The new bytes and their position go, with a
// checksum, into `<img>.journal` beside the data file's target and are synced
// before the write in place; once the data file is synced too, the journal is
// removed. A power cut that tears the write in place leaves a whole journal,
// which the next opening for changes writes again; a journal torn itself fails
// its checksum and only goes, since the write in place had not begun.
namespace DirectoryJournal {

QString PathOf(const QString &imgTarget);

struct Pending
{
    bool present = false;  // a journal file lies beside the data file
    bool complete = false; // and holds a whole write, its checksum intact
    qint64 position = 0;
    QByteArray bytes;
    // The last byte the write reaches, or 0 when there is none to make.
    qint64 End() const { return complete ? position + bytes.size() : 0; }
};

// What the journal beside `imgTarget` holds. Looking changes nothing.
Pending Read(const QString &imgTarget);

// Writes `bytes` at `position` of the open data file `file` (whose links resolve
// to `imgTarget`) through the journal, and syncs it. Where the folder takes no
// new file, the bytes are written in place alone.
bool WriteAt(QFile &file, const QString &imgTarget, qint64 position, const QByteArray &bytes);

// For the opening for changes, before the directory is read: writes a whole
// journal's bytes into `file`, syncs, and removes the journal; a torn one is
// only removed. False when a step failed (the journal stays for the next time).
bool Finish(QFile &file, const QString &imgTarget);

// `bytes`, read from the data file at `position`, as they will be once the
// pending write is made: for a reading opening, which writes nothing.
QByteArray Overlay(const Pending &pending, qint64 position, QByteArray bytes);

} // namespace DirectoryJournal
