// Placeholder bodies of the editing operations; replaced by their real implementations.
#include "archive/IMGClass.h"

void IMGClass::ImportFiles(const QStringList &) {}
void IMGClass::ExportEntries(const QString &, const QModelIndexList &) {}
void IMGClass::DeleteEntries(const QModelIndexList &) {}
void IMGClass::Rebuild() {}
bool IMGClass::MoveLowestEntryToEnd()
{
    return false;
}
