#pragma once

#include <QString>
#include <QTemporaryDir>

#include <optional>

// The temporary folder of a test class: Renew() in init() gives every test
// function (and every row of its data) a folder of its own, and removes the
// folder of the test before with everything in it.
class TestFolder
{
public:
    bool Renew()
    {
        folder.reset();
        folder.emplace();
        return folder->isValid();
    }
    QString path() const { return folder->path(); }
    QString filePath(const QString &name) const { return folder->filePath(name); }

private:
    std::optional<QTemporaryDir> folder;
};
