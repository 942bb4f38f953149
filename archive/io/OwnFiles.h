#pragma once

#include <sys/types.h>

#include <vector>

class QFile;

// The archive's own files by device and inode number, taken once per export,
// so that an output file never truncates one of them: not by name, not through
// a symbolic link, not through a hard link.
class OwnFiles
{
public:
    OwnFiles(const QFile &img, const QFile *dir);

    // Opens `file` (its name set) for writing, empty; false when it cannot be
    // created, or is one of the archive's own files, or exists and may not be
    // replaced.
    bool OpenForExport(QFile &file, bool mayReplace) const;

private:
    struct FileId
    {
        dev_t device;
        ino_t inode;
    };

    bool IsOwn(dev_t device, ino_t inode) const;

    std::vector<FileId> ids;
};
