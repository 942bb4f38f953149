#pragma once

#include "archive/format/IMGFormat.h"

#include <QByteArray>
#include <QFile>
#include <QString>

class IMGClass;

// A read-only handle of its own on an open archive's data file (the very file the
// archive reads, a journal included): an archive that is only a source is read
// through it and never written, whatever mode it was opened in.
class ArchiveReader
{
public:
    explicit ArchiveReader(const IMGClass &archive);

    bool IsOpen() const { return file.isOpen(); }
    QFile &File() { return file; }
    // The archive's path, as errors name it.
    QString Path() const { return path; }

    // `length` bytes of the entry's sectors from byte `from` of the entry, into
    // `buffer`; bytes of its sectors past the end of the file read as zeros.
    bool ReadSectors(const IMGDirectoryEntry &entry, qint64 from, qint64 length, QByteArray &buffer);

private:
    QString path;
    QFile file;
};
