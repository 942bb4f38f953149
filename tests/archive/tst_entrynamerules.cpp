#include "ArchiveFixtures.h"
#include "SignalLog.h"
#include "TestFolder.h"

#include "archive/IMGClass.h"
#include "archive/format/EntryNameRules.h"

#include <QDir>
#include <QtTest>

using namespace Fixtures;

namespace {

// The ways a name can reach an archive; a row names those the name can take.
enum Way { AsFile = 1, FromArchive = 2, AsNewName = 4, EveryWay = AsFile | FromArchive | AsNewName };

const std::vector<Record> kTarget = {{1, 1, "gang01.dff"}, {2, 1, "generic.txd"}};

} // namespace

Q_DECLARE_METATYPE(EntryNameFault)

class TestEntryNameRules : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(folder.Renew()); }

    void rules_data();
    void rules();
    void utf8_data();
    void utf8();
    void caseFold();

    void everyWayAgrees_data();
    void everyWayAgrees();
    void findEntryRefusesZeroByte();

private:
    QString path(const QString &name) const { return folder.filePath(name); }

    TestFolder folder;
};

void TestEntryNameRules::rules_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<EntryNameFault>("fault");
    QTest::newRow("plain") << QByteArray("gang01.dff") << EntryNameFault::None;
    QTest::newRow("23 bytes") << QByteArray(23, 'a') << EntryNameFault::None;
    QTest::newRow("24 bytes") << QByteArray(24, 'a') << EntryNameFault::TooLong;
    QTest::newRow("24 bytes, also a path")
        << QByteArray("abcdefghijk/mnopqrstuvwx") << EntryNameFault::TooLong;
    QTest::newRow("empty") << QByteArray() << EntryNameFault::Empty;
    QTest::newRow("not UTF-8") << QByteArray("bad\xff.dff") << EntryNameFault::NotUtf8;
    QTest::newRow("zero byte") << QByteArray("a\0b", 3) << EntryNameFault::ZeroByte;
    QTest::newRow("slash") << QByteArray("a/b") << EntryNameFault::Separator;
    QTest::newRow("backslash") << QByteArray("a\\b") << EntryNameFault::Separator;
    QTest::newRow("dot") << QByteArray(".") << EntryNameFault::DotName;
    QTest::newRow("dot-dot") << QByteArray("..") << EntryNameFault::DotName;
    QTest::newRow("three dots") << QByteArray("...") << EntryNameFault::None;
    QTest::newRow("Chinese") << QByteArray("树木.dff") << EntryNameFault::None;
    QTest::newRow("control character") << QByteArray("a\tb") << EntryNameFault::None;
}

void TestEntryNameRules::rules()
{
    QFETCH(QByteArray, name);
    QFETCH(EntryNameFault, fault);
    QCOMPARE(CheckEntryName(name), fault);
}

void TestEntryNameRules::utf8_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    QTest::newRow("ASCII") << QByteArray("gang01.dff") << true;
    QTest::newRow("two, three and four bytes") << QByteArray("\xc3\xa9\xe6\xa0\x91\xf0\x9f\x98\x80") << true;
    QTest::newRow("lone continuation byte") << QByteArray("\x80") << false;
    QTest::newRow("cut off at the end") << QByteArray("a\xe6\xa0") << false;
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << false;
    QTest::newRow("overlong three bytes") << QByteArray("\xe0\x80\xaf") << false;
    QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << false;
    QTest::newRow("past U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << false;
    QTest::newRow("five-byte lead") << QByteArray("\xf8\x88\x80\x80\x80") << false;
}

void TestEntryNameRules::utf8()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    QCOMPARE(IsValidUtf8(bytes.constData(), bytes.size()), valid);
}

void TestEntryNameRules::caseFold()
{
    // ASCII letters only: the bytes of other characters and the neighbours of
    // 'a' and 'z' stay as they are.
    QCOMPARE(FoldedAsciiCase(QByteArray("Gang01.dff`{@[\xc3\xa9")), QByteArray("GANG01.DFF`{@[\xc3\xa9"));
    QCOMPARE(FoldedAsciiCase(QStringLiteral("aZ\u00e9\u00c9\u6811")), QStringLiteral("AZ\u00e9\u00c9\u6811"));
    QCOMPARE(FoldAsciiCase(uchar('q')), uchar('Q'));
    QCOMPARE(FoldAsciiCase(uchar(0xE1)), uchar(0xE1));
    // The name hash and the name comparison fold alike.
    IMGDirectoryEntry lower, upper;
    SetEntryName(lower, "generic.txd");
    SetEntryName(upper, FoldedAsciiCase(QByteArray("generic.txd")));
    QVERIFY(SameEntryName(lower, upper));
    QCOMPARE(NameHash(lower.name), NameHash(upper.name));
}

// One table through the three ways a name reaches an archive: a file import
// (where a file can have the name), an import from another archive (where a
// record can hold it) and a rename (where a string can). Each way takes or
// refuses a name alike, with the same message.
void TestEntryNameRules::everyWayAgrees_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("ways");
    QTest::addColumn<QString>("outcome"); // empty: taken
    QTest::newRow("plain") << QByteArray("new.dff") << int(EveryWay) << QString();
    QTest::newRow("23 bytes") << QByteArray("abcdefghijklmnopqrs.dff") << int(EveryWay) << QString();
    QTest::newRow("24 bytes") << QByteArray("abcdefghijklmnopqrst.dff") << int(EveryWay) << " 太长";
    QTest::newRow("23 bytes of Chinese") << QByteArray("树木树木树木树.a") << int(EveryWay) << QString();
    QTest::newRow("24 bytes of Chinese") << QByteArray("树木树木树木树木") << int(EveryWay) << " 太长";
    QTest::newRow("backslash") << QByteArray("C:\\x.txd") << int(EveryWay) << " 不合法";
    QTest::newRow("dots inside") << QByteArray("a..b") << int(EveryWay) << QString();
    QTest::newRow("tab") << QByteArray("a\tb") << int(EveryWay) << QString();
    QTest::newRow("slash") << QByteArray("../../escape.dff") << int(FromArchive | AsNewName) << " 不合法";
    QTest::newRow("dot-dot") << QByteArray("..") << int(FromArchive | AsNewName) << " 不合法";
    QTest::newRow("dot") << QByteArray(".") << int(FromArchive | AsNewName) << " 不合法";
    QTest::newRow("empty") << QByteArray() << int(FromArchive | AsNewName) << " 不合法";
    QTest::newRow("zero byte") << QByteArray("a\0b", 3) << int(AsNewName) << " 不合法";
    QTest::newRow("not UTF-8") << QByteArray("bad\xff.dff") << int(FromArchive) << " 不合法";
}

void TestEntryNameRules::everyWayAgrees()
{
    QFETCH(QByteArray, name);
    QFETCH(int, ways);
    QFETCH(QString, outcome);
    const QString text = QString::fromUtf8(name.constData(), name.size()); // past a zero byte too
    const QStringList errors =
        outcome.isEmpty() ? QStringList() : QStringList{QStringLiteral("文件名 ") + text + outcome};
    const QString a = path("a.img");

    if (ways & AsFile) {
        QVERIFY(QDir(folder.path()).mkdir("src"));
        const QString file = path("src/") + text;
        QVERIFY(WriteFile(file, Pattern(7, 100)));
        QVERIFY(WriteVer1(a, kTarget));
        const QByteArray before = ReadFile(DirPathFor(a));
        IMGClass img;
        QVERIFY(img.OpenArchive(a));
        SignalLog log(img);
        img.ImportFiles({file});
        QCOMPARE(log.errors(), errors);
        QCOMPARE(img.FindEntry(name) >= 0, outcome.isEmpty());
        img.CloseArchive();
        if (!outcome.isEmpty())
            QCOMPARE(ReadFile(DirPathFor(a)), before);
    }
    if (ways & FromArchive) {
        const QString b = path("b.img");
        QVERIFY(WriteVer1(a, kTarget));
        QVERIFY(WriteVer2(b, {{1, 1, name}}));
        const QByteArray before = ReadFile(DirPathFor(a));
        IMGClass target, source;
        QVERIFY(target.OpenArchive(a));
        QVERIFY(source.OpenArchive(b));
        SignalLog log(target);
        target.ImportEntriesFrom(source, {0});
        QCOMPARE(log.errors(), errors);
        QCOMPARE(target.directory.size(), kTarget.size() + (outcome.isEmpty() ? 1 : 0));
        target.CloseArchive();
        if (!outcome.isEmpty())
            QCOMPARE(ReadFile(DirPathFor(a)), before);
    }
    if (ways & AsNewName) {
        QVERIFY(WriteVer1(a, kTarget));
        const QByteArray before = ReadFile(DirPathFor(a));
        IMGClass img;
        QVERIFY(img.OpenArchive(a));
        SignalLog log(img);
        QCOMPARE(img.RenameEntry(0, text), outcome.isEmpty());
        QCOMPARE(log.errors(), errors);
        QCOMPARE(img.FindEntry(name), outcome.isEmpty() ? 0 : -1);
        img.CloseArchive();
        if (!outcome.isEmpty())
            QCOMPARE(ReadFile(DirPathFor(a)), before);
    }
}

void TestEntryNameRules::findEntryRefusesZeroByte()
{
    const QString a = path("a.img");
    QVERIFY(WriteVer1(a, kTarget));
    IMGClass img;
    QVERIFY(img.OpenArchive(a));
    QCOMPARE(img.FindEntry("gang01.dff"), 0);
    // The stored name ends at its zero: a longer name is another name.
    QCOMPARE(img.FindEntry(QByteArray("gang01.dff\0x", 12)), -1);
    QCOMPARE(img.FindEntries(QByteArray("gang01.dff\0x", 12)), std::vector<int>());
}

QTEST_GUILESS_MAIN(TestEntryNameRules)
#include "tst_entrynamerules.moc"
