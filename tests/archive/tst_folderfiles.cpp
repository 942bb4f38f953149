#include "ArchiveFixtures.h"

#include "archive/io/FolderFiles.h"

#include <QTemporaryDir>
#include <QtTest>

class TestFolderFiles : public QObject
{
    Q_OBJECT

private slots:
    void collects_data();
    void collects();
    void ignoresTheFolderObjectsOwnSorting();
};

void TestFolderFiles::collects_data()
{
    QTest::addColumn<QStringList>("files"); // a trailing '/' makes a folder
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("name order ignoring case") << QStringList{"c.bin", "B.bin", "a.bin", "树.dff"}
                                              << QStringList{"a.bin", "B.bin", "c.bin", "树.dff"};
    QTest::newRow("no hidden files, folders or their files")
        << QStringList{".hidden", "sub/", "sub/inner.dff", "plain.txd"} << QStringList{"plain.txd"};
    QTest::newRow("only folders") << QStringList{"one/", "two/", "two/x"} << QStringList();
    QTest::newRow("empty folder") << QStringList() << QStringList();
}

void TestFolderFiles::collects()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString &f : files) {
        if (f.endsWith('/'))
            QVERIFY(QDir(dir.path()).mkpath(f));
        else
            QVERIFY(Fixtures::WriteFile(dir.filePath(f), "x"));
    }
    QStringList absolute;
    for (const QString &f : expected)
        absolute << QDir(dir.path()).absoluteFilePath(f);
    QCOMPARE(CollectFolderFiles(QDir(dir.path())), absolute);
}

void TestFolderFiles::ignoresTheFolderObjectsOwnSorting()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const char *f : {"b", "A", "c"})
        QVERIFY(Fixtures::WriteFile(dir.filePath(f), QByteArray(f)));
    QDir reversed(dir.path());
    reversed.setSorting(QDir::Name | QDir::Reversed);
    reversed.setFilter(QDir::AllEntries | QDir::Hidden);
    QCOMPARE(CollectFolderFiles(reversed),
             (QStringList{dir.filePath("A"), dir.filePath("b"), dir.filePath("c")}));
}

QTEST_GUILESS_MAIN(TestFolderFiles)
#include "tst_folderfiles.moc"
