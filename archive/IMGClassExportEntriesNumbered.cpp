// Exporting with duplicate file names kept apart: the first entry of a file name
// is written as an export writes it; each further one goes to STEM~N.EXT, the
// smallest N from 2 that is no entry's file name and no file in the folder
// (ASCII case ignored, as on file systems that ignore case), never replacing anything.
#include "archive/IMGClass.h"

#include "archive/format/EntryNameRules.h"
#include "archive/io/OwnFiles.h"

#include <QDir>
#include <QSet>

namespace {

QString NumberedName(const QString &fileName, int n)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return fileName + QStringLiteral("~%1").arg(n);
    return fileName.left(dot) + QStringLiteral("~%1").arg(n) + fileName.mid(dot);
}

} // namespace

bool IMGClass::ExportEntriesNumbered(const QString &folder, const std::vector<int> &entries,
                                     std::vector<RenamedExport> &renamed)
{
    BeginOperation();
    renamed.clear();
    QDir out = QDir::current();
    if (!out.cd(folder)) {
        emit ErrorOccoured({QStringLiteral("访问输出文件夹失败")});
        return false;
    }
    // Names a numbered file must not take: every entry's file name, every file already there.
    QSet<QString> taken;
    for (const IMGDirectoryEntryWrap &wrap : directory)
        taken.insert(FoldedAsciiCase(ExportFileName(EntryName(wrap.entry))));
    for (const QString &existing :
         out.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        taken.insert(FoldedAsciiCase(existing));

    const OwnFiles ownFiles(imgFile, version == 1 ? &dirFile : nullptr);
    QSet<QString> written;
    QByteArray buffer; // used only where the system cannot copy in the kernel
    for (const int position : entries) {
        if (position < 0 || size_t(position) >= directory.size())
            continue;
        const IMGDirectoryEntry entry = directory[size_t(position)].entry;
        Step(&IMGClass::ExportingFileName, EntryName(entry));

        QString fileName = ExportFileName(EntryName(entry));
        bool numbered = false;
        if (!fileName.isEmpty() && written.contains(FoldedAsciiCase(fileName))) {
            int n = 2;
            while (taken.contains(FoldedAsciiCase(NumberedName(fileName, n))))
                ++n;
            fileName = NumberedName(fileName, n);
            taken.insert(FoldedAsciiCase(fileName));
            numbered = true;
        }
        if (!ExportEntryAs(out, entry, fileName, ownFiles, buffer, !numbered))
            return false;
        written.insert(FoldedAsciiCase(fileName));
        if (numbered)
            renamed.push_back({position, fileName});
    }
    return true;
}
