#pragma once

#include <QString>

// What a file is apart from its bytes: the target its links lead to, the other
// names it has, and its owner, mode and extended attributes, which a file put
// in its place by a rename must carry over.
namespace FileIdentity {

// The final target of `path`: every symbolic link on the way (a chain of links,
// a linked folder) resolved, also when the last name does not exist yet. The
// absolute path itself where nothing can be resolved.
QString ResolvedPath(const QString &path);

// Whether both paths name one existing file (through links or hard links).
bool SameFile(const QString &a, const QString &b);

// How many names (hard links) the file has; 0 when it cannot be told.
int LinkCount(const QString &path);

// Gives the open file `descriptor` the owner, group, extended attributes (POSIX
// ACLs included) and mode of the file at `original`. A lost owner or group is
// no failure (only a privileged process may give a file away); a lost mode or
// ACL is, since the file could then be read by someone the old one kept out.
// Other extended attributes the system refuses to set are left behind.
bool CopyTo(const QString &original, int descriptor);

} // namespace FileIdentity
