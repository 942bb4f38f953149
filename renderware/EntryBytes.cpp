#include "renderware/EntryBytes.h"

#include "archive/io/ArchiveIO.h"
#include "archive/IMGClass.h"

#include <algorithm>
#include <limits>

namespace EntryBytes {

bool Read(IMGClass &img, int position, QByteArray &bytes, QString &error)
{
    bytes.clear();
    if (position < 0 || size_t(position) >= img.directory.size()) {
        error = QStringLiteral("no entry %1").arg(position);
        return false;
    }
    const IMGDirectoryEntry &entry = img.directory[size_t(position)].entry;
    const qint64 begin = SectorToBytes(entry.offset);
    const qint64 end = std::min(begin + qint64(entry.size) * SECTOR_SIZE, std::max(begin, img.imgFile.size()));
    if (end - begin > std::numeric_limits<int>::max() / 2) {
        error = QStringLiteral("the entry's %1 bytes are too many to read at once").arg(end - begin);
        return false;
    }
    bool ok = true;
    bytes = ArchiveIO::ReadAt(img.imgFile, begin, end - begin, &ok);
    if (!ok || bytes.size() != end - begin) {
        error = QStringLiteral("reading %1 failed").arg(img.imgFile.fileName());
        bytes.clear();
        return false;
    }
    return true;
}

} // namespace EntryBytes
