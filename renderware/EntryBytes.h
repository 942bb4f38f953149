#pragma once

#include <QByteArray>
#include <QString>

class IMGClass;

// The bytes of one entry of an open archive, as an export writes them: its
// sectors, fewer when the data file ends inside them.
namespace EntryBytes {

// False, with `error` saying why, when the read fails.
bool Read(IMGClass &img, int position, QByteArray &bytes, QString &error);

} // namespace EntryBytes
