#include "archive/IMGClass.h"

#include "archive/ArchiveReader.h"

bool IMGClass::DetectContentTypes(std::vector<ContentType> &types)
{
    BeginOperation();
    ArchiveReader reader(*this);
    if (!reader.IsOpen()) {
        emit ErrorOccoured({QStringLiteral("打开 "), reader.Path(), QStringLiteral(" 失败")});
        return false;
    }
    if (!DetectEntryTypes(reader.File(), directory, types, [this] { Step(nullptr, QString()); })) {
        emit ErrorOccoured({QStringLiteral("读取 "), reader.Path(), QStringLiteral(" 失败")});
        return false;
    }
    return true;
}
